#pragma once
// The stops that are waiting for their process to end, without holding up the user-interface thread.
#include "control/ProcessTree.h"
#include "control/RunResult.h"
#include "framework/Handle.h"

#include <windows.h>

#include <map>
#include <memory>
#include <vector>

namespace control {

// Owns every stop whose close requests have been posted and whose process has not yet ended or been
// terminated. A pool thread watches each process and tells a message-only window of the owning thread,
// so the end of a process and the end of its time-out are both handled on that thread, between its other
// messages. Create and destroy the object on the user-interface thread; its messages are handled by any
// message loop of that thread, modal ones included.
//
// Destroying the object abandons the pending stops at once: nothing is waited for and nothing is
// terminated. The close requests were already posted; a program that ignores them keeps running.
class PendingStops {
public:
    struct Info {
        DWORD processId;
        DWORD timeOutMilliseconds;
        bool forceQuit;
    };

    PendingStops();
    PendingStops(const PendingStops&) = delete;
    PendingStops& operator=(const PendingStops&) = delete;
    ~PendingStops();

    // Takes over the process handle (opened with SYNCHRONIZE | PROCESS_TERMINATE). When the process ends,
    // the handle is released at once; when the time-out passes first, the process is terminated with exit
    // code 0 if forceQuit is set, and released either way. A time-out of 0 acts before this returns.
    //
    // The report hears the outcome once, on the thread that owns this object, after the handle has been
    // released: ClosedByItselfOutcome, TerminatedOutcome, StillRunningOutcome or CouldNotEndOutcome
    // (CouldNotOpenOutcome for no handle). It is called from this object's message handling, or before this returns
    // when the stop is over at once. A stop abandoned by the destructor reports nothing. The report must not destroy
    // this object.
    void Add(fw::UniqueHandle process,
             DWORD processId,
             DWORD timeOutMilliseconds,
             bool forceQuit,
             RunReport report = {});
    // The same for the whole tree of a process: the processes held, the one the stop names first. The stop waits
    // the one time-out for all of them; processes that they start meanwhile are looked for when they have all
    // ended and at the time-out, and held too. At the time-out, what is left is terminated, the deepest first.
    // The report hears one outcome for the tree: closed when every process ended by itself, terminated when any
    // had to be, still running or could not end as for one process.
    void AddTree(std::vector<HeldProcess> tree, DWORD timeOutMilliseconds, bool forceQuit, RunReport report = {});

    size_t Count() const { return m_stops.size(); }
    std::vector<Info> List() const;

private:
    struct Stop;
    struct WindowTraits {
        using Value = HWND;
        static Value Invalid() noexcept { return nullptr; }
        static void Close(Value value) noexcept { static_cast<void>(::DestroyWindow(value)); }
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static VOID CALLBACK OnWaitDone(PVOID context, BOOLEAN timedOut);
    void Start(std::unique_ptr<Stop> stop);
    void Finish(UINT_PTR id, bool timedOut);

    // The window goes first at destruction; a watch that fires meanwhile posts to nothing. Each stop then
    // cancels its watch before closing its process handles.
    std::map<UINT_PTR, std::unique_ptr<Stop>> m_stops;
    fw::UniqueAny<WindowTraits> m_window;
    UINT_PTR m_nextId = 1;
};

}  // namespace control
