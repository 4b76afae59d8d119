#pragma once
// A thread of the program's own that does the work handed to it, one piece at a time, and serves the windows it
// owns in between.
#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace fw {

// Runs the work posted to it on a thread of its own, each piece once, in the order posted; work posted for later
// runs once its time has come. Between pieces it handles the messages of the thread, so a message-only window made
// there (and the pool waits that post to such a window) is served on it. The thread is made when the first piece
// is posted: a thread costs start-up time and about a megabyte of memory (under Wine), for nothing while no work
// comes. onStart runs first on the thread, and onEnd last, when the object stops; neither runs when no work ever
// came. Work not yet run by then is dropped. An exception thrown by a piece of work ends only that piece.
class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> onStart = {}, std::function<void()> onEnd = {});
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();

    // From any thread. False once the thread has been asked to stop: the work is dropped.
    bool Post(std::function<void()> work);
    bool PostAfter(DWORD milliseconds, std::function<void()> work);
    // Ends the thread after the piece of work it is doing, and waits for it. From any other thread; once.
    void Stop();

private:
    struct Item {
        ULONGLONG due;
        unsigned long long order;
        std::function<void()> work;
    };

    // Under the lock: makes the thread.
    void StartLocked();
    void Run();
    // The next piece whose time has come, or none; then how long until the next one is due.
    std::function<void()> TakeDue(DWORD& wait, bool& stopping);
    static void DispatchMessages();

    mutable std::mutex m_mutex;
    std::vector<Item> m_items;
    unsigned long long m_nextOrder = 0;
    bool m_stopping = false;
    UniqueHandle m_wake;
    std::function<void()> m_onStart;
    std::function<void()> m_onEnd;
    std::thread m_thread;
};

}  // namespace fw
