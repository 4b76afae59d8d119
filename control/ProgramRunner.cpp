#include "control/ProgramRunner.h"

#include "control/KeepAwake.h"
#include "control/ProgramStart.h"
#include "control/ProgramStop.h"

namespace control {

void ProgramRunner::Start(const core::RunRequest& run, core::RunReport report) {
    StartProgramInBackground(run.program, run.arguments, run.folder, std::move(report), run.keepAwake);
}

std::optional<core::RunningProgram> ProgramRunner::FindRunning(const core::RunRequest& run) {
    return FindRunningProgram(run.program);
}

void ProgramRunner::Stop(const core::RunRequest& run, core::RunReport report) {
    if (!m_stops) {
        m_stops = std::make_unique<PendingStops>();
    }
    if (run.keepAwake) {
        // The hold goes with the last copy of the report, when the stop is over (or abandoned), on this thread.
        report = [hold = std::make_shared<AwakeHold>(), told = std::move(report)](const core::RunOutcome& outcome) {
            core::TellRunResult(told, outcome);
        };
    }
    StopProgram(run.program, *m_stops, std::move(report), run.tree ? StopScope::Tree : StopScope::Process);
}

}  // namespace control
