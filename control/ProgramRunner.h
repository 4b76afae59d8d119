#pragma once
// The program's way of carrying out a task: the shell opens a Start task's file, and a Stop task's program is
// asked to close and terminated after its grace period.
#include "control/PendingStops.h"
#include "core/TaskRunner.h"

#include <memory>

namespace control {

// Starts through StartProgramInBackground and stops through StopProgram. The stops' waits are kept by a
// PendingStops made on the thread of the first stop, which is the thread that must handle them.
class ProgramRunner : public core::TaskRunner {
public:
    void Start(const core::RunRequest& run, core::RunReport report) override;
    void Stop(const core::RunRequest& run, core::RunReport report) override;
    void EndStops() override { m_stops.reset(); }
    std::optional<core::RunningProgram> FindRunning(const core::RunRequest& run) override;

    // The stops still waiting for their program; 0 before the first stop.
    size_t PendingCount() const { return m_stops ? m_stops->Count() : 0; }

private:
    std::unique_ptr<PendingStops> m_stops;
};

}  // namespace control
