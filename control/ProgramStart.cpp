#include "control/ProgramStart.h"

#include "control/KeepAwake.h"
#include "framework/Handle.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <system_error>
#include <thread>

namespace control {
namespace {

// COM for the starts of one thread. Shell extensions expect a single-threaded apartment.
class ShellApartment {
public:
    ShellApartment() : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ShellApartment(const ShellApartment&) = delete;
    ShellApartment& operator=(const ShellApartment&) = delete;
    ~ShellApartment() {
        if (SUCCEEDED(m_result)) {
            ::CoUninitialize();
        }
    }

private:
    HRESULT m_result;
};

// Why the shell could not start. Its own code (the old SE_ERR_ numbers) says what it decided where that is
// more than a system error: under Wine the thread's error may be left over from a step tried on the way (a
// document that no program opens gives "not a valid Win32 application"). Below those, the codes are the
// system's errors of the same number, and the thread's error says more (a missing folder, not just a file).
DWORD ShellError(const SHELLEXECUTEINFOW& info) {
    const DWORD error = ::GetLastError();
    const auto code = static_cast<DWORD>(reinterpret_cast<INT_PTR>(info.hInstApp));
    switch (code) {
        case SE_ERR_SHARE:
            return ERROR_SHARING_VIOLATION;
        case SE_ERR_ASSOCINCOMPLETE:
        case SE_ERR_NOASSOC:
            return ERROR_NO_ASSOCIATION;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY:
            return ERROR_DDE_FAIL;
        case SE_ERR_DLLNOTFOUND:
            return ERROR_DLL_NOT_FOUND;
        default:
            if (error != ERROR_SUCCESS) {
                return error;
            }
            return code != 0 ? code : ERROR_OUTOFMEMORY;
    }
}

const wchar_t* OrNull(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

RunOutcome StartProgram(const std::wstring& program,
                        const std::wstring& arguments,
                        const std::wstring& folder,
                        fw::UniqueHandle* process) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No box from the shell: the result says what went wrong. NOASYNC: the shell is done when this returns,
    // so the thread (and its apartment) may go.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | (process ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.lpVerb = L"open";
    info.lpFile = program.c_str();
    info.lpParameters = OrNull(arguments);
    info.lpDirectory = OrNull(folder);
    info.nShow = SW_SHOWNORMAL;
    ::SetLastError(ERROR_SUCCESS);
    if (::ShellExecuteExW(&info)) {
        if (process) {
            process->Reset(info.hProcess);
        }
        return StartedOutcome();
    }
    return StartFailedOutcome(ShellError(info));
}

void StartProgramInBackground(const std::wstring& program,
                              const std::wstring& arguments,
                              const std::wstring& folder,
                              RunReport report,
                              bool keepAwake) {
    // Detached: nobody waits for a start, and a shell that never returns must not hold up the exit.
    try {
        std::thread([program, arguments, folder, report, keepAwake] {
            const ShellApartment apartment;
            try {
                if (!keepAwake) {
                    TellRunResult(report, StartProgram(program, arguments, folder));
                    return;
                }
                const AwakeHold awake;
                fw::UniqueHandle process;
                TellRunResult(report, StartProgram(program, arguments, folder, &process));
                if (process) {
                    fw::IgnoreResult(::WaitForSingleObject(process.Get(), INFINITE));
                }
            } catch (const std::exception&) {
                // Out of memory on this thread: the start, or only its report, is lost; the program goes on.
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: a late start is better than none; it is not waited for.
        TellRunResult(report, StartProgram(program, arguments, folder));
    }
}

}  // namespace control
