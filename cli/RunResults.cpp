#include "cli/Commands.h"

namespace cli {

void RunResults::Notice(const core::ServiceEvent& event) {
    if (event.kind != core::ServiceEvent::Kind::ResultArrived) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_results.push_back({m_next++, event.id, event.text});
        if (m_results.size() > kKept) {
            m_results.pop_front();
        }
    }
    m_arrived.notify_all();
}

unsigned long long RunResults::Mark() const {
    const std::lock_guard lock(m_mutex);
    return m_next;
}

std::optional<std::wstring> RunResults::Wait(core::TaskId id, unsigned long long mark) {
    std::unique_lock lock(m_mutex);
    std::optional<std::wstring> found;
    m_arrived.wait(lock, [&] {
        for (const Result& result : m_results) {
            if (result.order >= mark && result.id == id) {
                found = result.text;
                return true;
            }
        }
        return m_cancelled;
    });
    return found;
}

void RunResults::Cancel() {
    {
        const std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_arrived.notify_all();
}

}  // namespace cli
