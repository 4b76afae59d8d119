#pragma once
// Only one process writes the profile: the running Marlowick, from its start to its end, or marlowick.com while
// it works on the profile itself because no Marlowick runs.
#include "framework/Handle.h"

#include <windows.h>

namespace cli {

inline constexpr wchar_t kProfileLockName[] = L"Global\\Marlowick.ProfileWriter.47BCDAC1";

// Holds the lock from a successful Acquire until it goes; on the thread that acquired it.
class ProfileWriterLock {
public:
    // kProfileLockName, and a portable copy's folder tag: a portable copy has a profile of its own.
    ProfileWriterLock();
    explicit ProfileWriterLock(const wchar_t* name);
    ProfileWriterLock(const ProfileWriterLock&) = delete;
    ProfileWriterLock& operator=(const ProfileWriterLock&) = delete;
    ~ProfileWriterLock() { Release(); }

    // Waits up to the time for the lock; true when it is held. A holder that ended without letting go of it (a
    // process that crashed) does not keep it.
    bool Acquire(DWORD milliseconds);
    void Release();
    bool Held() const { return m_held; }

private:
    fw::UniqueHandle m_mutex;
    bool m_held = false;
};

}  // namespace cli
