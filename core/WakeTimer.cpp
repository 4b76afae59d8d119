#include "core/WakeTimer.h"

namespace core {

WakeTimer::Calls WakeTimer::PlatformCalls() {
    return {[](HANDLE timer, const LARGE_INTEGER& due, bool resume) {
                return ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, resume ? TRUE : FALSE) != FALSE;
            },
            [](HANDLE timer) { return ::CancelWaitableTimer(timer) != FALSE; }};
}

WakeTimer::WakeTimer(Calls calls)
    : m_calls(std::move(calls)), m_timer(::CreateWaitableTimerW(nullptr, TRUE, nullptr)) {}

void WakeTimer::Set(std::optional<UtcSeconds> moment) {
    if (!m_timer) {
        return;
    }
    if (!moment) {
        fw::IgnoreResult(m_calls.cancel(m_timer.Get()));
        m_armed.reset();
        return;
    }
    LARGE_INTEGER due{};
    // A positive due time is absolute, in UTC file-time units.
    due.QuadPart = *moment * kFileTimeTicksPerSecond;
    m_armed = m_calls.arm(m_timer.Get(), due, true) ? moment : std::nullopt;
}

}  // namespace core
