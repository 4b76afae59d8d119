#include "cli/ProfileLock.h"

#include "core/Portable.h"

namespace cli {

ProfileWriterLock::ProfileWriterLock() : ProfileWriterLock((kProfileLockName + core::InstanceNameSuffix()).c_str()) {}

ProfileWriterLock::ProfileWriterLock(const wchar_t* name) : m_mutex(::CreateMutexW(nullptr, FALSE, name)) {}

bool ProfileWriterLock::Acquire(DWORD milliseconds) {
    if (m_held) {
        return true;
    }
    // Without a mutex (another user's holds the name) the lock cannot be had.
    if (!m_mutex) {
        ::Sleep(milliseconds);
        return false;
    }
    const DWORD waited = ::WaitForSingleObject(m_mutex.Get(), milliseconds);
    m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return m_held;
}

void ProfileWriterLock::Release() {
    if (m_held) {
        fw::IgnoreResult(::ReleaseMutex(m_mutex.Get()));
        m_held = false;
    }
}

}  // namespace cli
