#pragma once
// The one waitable timer that wakes the computer for the next task that asks for it.
#include "core/Task.h"
#include "framework/Handle.h"

#include <windows.h>

#include <functional>
#include <optional>

namespace core {

// Armed with resume set, so that a sleeping computer wakes at the moment; cancelled when no task wakes it.
// Wine cannot wake a machine: there the timer is armed all the same and simply never wakes anything.
class WakeTimer {
public:
    // The platform's calls, replaceable so that a test can see what is armed: arm (an absolute due time in
    // file-time units, resume) and cancel. True on success.
    struct Calls {
        std::function<bool(HANDLE timer, const LARGE_INTEGER& due, bool resume)> arm;
        std::function<bool(HANDLE timer)> cancel;
    };
    static Calls PlatformCalls();

    explicit WakeTimer(Calls calls = PlatformCalls());
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;

    // Arms the timer for the moment, or cancels it when there is none. Any thread, one at a time.
    void Set(std::optional<UtcSeconds> moment);
    std::optional<UtcSeconds> Armed() const { return m_armed; }

private:
    Calls m_calls;
    fw::UniqueHandle m_timer;
    std::optional<UtcSeconds> m_armed;
};

}  // namespace core
