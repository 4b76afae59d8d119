#include "core/TaskService.h"

#include "core/History.h"
#include "core/Portable.h"
#include "core/ProfileSecurity.h"
#include "core/TaskOptions.h"

#include <algorithm>

namespace core {
namespace {

// A due time in the history's details: the local date and time, "2026-12-10 02:00:00".
std::wstring DueTimeText(long long localSecond) {
    return FormatDate(localSecond) + L" " + FormatTime24(static_cast<int>(localSecond % kSecondsPerDay));
}

// The outcomes the user is told of when they happen: something did not go as the task says.
bool IsFailure(const std::wstring& event) {
    return event == history::kStartFailed || event == history::kTerminated || event == history::kCouldNotStop;
}

// "Start C:\tool.exe: start failed (The system cannot find the file specified)".
std::wstring FailureNotice(const RunRequest& run, const RunOutcome& outcome) {
    std::wstring text = run.action + L" " + run.program + L": " + outcome.event;
    if (!outcome.detail.empty()) {
        text +=
            outcome.event == history::kTerminated ? L" after " + outcome.detail + L" s" : L" (" + outcome.detail + L")";
    }
    return text;
}

}  // namespace

struct TaskService::Gate {
    std::mutex mutex;
    EventDispatcher dispatch;
    TaskStore* tasks = nullptr;
    // Queues a history line; empty once the service is closed.
    std::function<void(history::Line line)> record;

    void Emit(const ServiceEvent& event) {
        const std::lock_guard lock(mutex);
        if (dispatch) {
            dispatch(event);
        }
    }
    // A run's result reaches the task that ran, or nobody when it is gone; the history keeps it either way.
    void Result(TaskId id, const RunRequest& run, const RunOutcome& outcome) {
        // Stamped by the system's clock, before the lock: an outcome happens in real time, and a clock that is slow
        // to read holds up nobody else.
        history::Line line{
            history::TimeText(SystemClock()), id, run.program, run.action, outcome.event, outcome.detail};
        const std::lock_guard lock(mutex);
        if (tasks && tasks->SetLastResult(id, outcome.result) && dispatch) {
            dispatch(ServiceEvent(ServiceEvent::Kind::ResultArrived, id, outcome.result));
        }
        if (dispatch && IsFailure(outcome.event)) {
            dispatch(ServiceEvent(ServiceEvent::Kind::RunFailed, id, FailureNotice(run, outcome)));
        }
        // Last: by the time the line is in the file, the owner has the events of the run.
        if (record) {
            record(std::move(line));
        }
    }
    void Close() {
        const std::lock_guard lock(mutex);
        dispatch = nullptr;
        tasks = nullptr;
        record = nullptr;
    }
};

TaskService::TaskService(std::unique_ptr<TaskRunner> runner, EventDispatcher dispatch, Options options)
    : m_runner(std::move(runner)),
      m_gate(std::make_shared<Gate>()),
      m_options(std::move(options)),
      m_wakeTimer(m_options.wakeCalls) {
    m_gate->dispatch = std::move(dispatch);
    m_gate->tasks = &m_tasks;
    m_gate->record = [this](history::Line line) { RecordLine(std::move(line)); };
    // The stops' waits live on the worker thread and end with it.
    m_worker = std::make_unique<fw::WorkerThread>(std::function<void()>{}, [this] { m_runner->EndStops(); });
}

void TaskService::Shutdown() {
    m_exited = true;
    m_schedulerThread.reset();
    m_worker->Stop();
    // A start that reports later reaches nobody.
    m_gate->Close();
}

fw::MessageBoxRedirect TaskService::MessagesAsEvents() const {
    return fw::MessageBoxRedirect([this](const std::wstring& text, UINT type) {
        Emit(ServiceEvent(ServiceEvent::Kind::Message, 0, text, type));
        // Only plain messages come from the service's work: nobody waits here for an answer.
        return (type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    });
}

void TaskService::Emit(ServiceEvent event) const {
    m_gate->Emit(event);
}

void TaskService::PostWork(std::function<void()> work, DWORD delay) {
    fw::IgnoreResult(m_worker->PostAfter(delay, [this, work = std::move(work)] {
        const fw::MessageBoxRedirect quiet = MessagesAsEvents();
        work();
    }));
}

void TaskService::Load() {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    // A first start finds an empty file instead of reporting a missing one.
    fw::IgnoreResult(EnsureProfileFile());
    std::wstring keptCopy;
    {
        const std::lock_guard lock(m_profileMutex);
        m_profile.Load(m_tasks);
        keptCopy = m_profile.TakeKeptCopy();
    }
    m_scheduler = std::make_unique<Scheduler>(
        m_tasks, m_options.clock, [this](const std::vector<ScheduledTask>& due) { OnDue(due); }, m_options.zone,
        [this](std::optional<UtcSeconds> moment) { m_wakeTimer.Set(moment); }, m_profile.Watched());
    m_scheduler->SetMissedReport([this](const ScheduledTask& task, long long dueLocal) {
        Record(task.id, task.program, task.action, history::kMissed, DueTimeText(dueLocal));
    });
    m_scheduler->SetWarnings([this](const WarningNotice& notice) { OnWarning(notice); },
                             [this](TaskId id, long long dueLocal) { OnWarningEnded(id, dueLocal); });
    Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    NoteKeptCopy(keptCopy);
    RetryWhileNeeded();
}

bool TaskService::ProfileTrusted() const {
    // A portable copy's folder is wherever its user unpacked it, often a stick without protections: the check of
    // the all-users folder does not apply to it.
    if (!PortableFolder().empty()) {
        return true;
    }
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    const std::wstring folder = GetConfigFolder();
    return folder.empty() || IsProfileTrusted(folder, folder + L"\\Profile.txt");
}

void TaskService::StartScheduler() {
    if (!m_scheduler || m_schedulerThread || m_exited) {
        return;
    }
    m_schedulerThread = std::make_unique<SchedulerThread>([this] {
        const fw::MessageBoxRedirect quiet = MessagesAsEvents();
        m_scheduler->SchedulerTick();
    });
}

bool TaskService::ProfileRead() const {
    const std::lock_guard lock(m_profileMutex);
    return m_profile.FileRead();
}

std::optional<UtcSeconds> TaskService::Watched() const {
    const std::lock_guard lock(m_profileMutex);
    return WatchedLocked();
}

std::optional<UtcSeconds> TaskService::WatchedLocked() const {
    return m_scheduler ? m_scheduler->Watched() : m_profile.Watched();
}

TaskId TaskService::Add(const Task& task) {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    const TaskId id = m_tasks.Add(task);
    Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    SaveNow(true);
    return id;
}

bool TaskService::Modify(TaskId id, const TaskChange& change) {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    if (!m_tasks.Change(id, change)) {
        return false;
    }
    Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    SaveNow(true);
    return true;
}

bool TaskService::Remove(TaskId id) {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    if (!m_tasks.Remove(id)) {
        return false;
    }
    Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    SaveNow(true);
    return true;
}

bool TaskService::SetEnabled(TaskId id, bool enabled) {
    TaskChange change;
    change.enabled = enabled;
    return Modify(id, change);
}

bool TaskService::RunNow(TaskId id) {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    const std::optional<TaskRow> row = m_tasks.Find(id);
    if (!row) {
        return false;
    }
    if (const std::optional<long long> now = ToSeconds(m_options.clock().utc)) {
        fw::IgnoreResult(m_tasks.SetLastRun(id, *now));
    }
    const Task& task = row->task;
    Carry(id, {task.program, task.action, task.arguments, task.folder, false, task.tree});
    Emit(ServiceEvent(ServiceEvent::Kind::TaskRan, id));
    SaveNow(false);
    return true;
}

bool TaskService::AnswerWarning(TaskId id, long long dueLocal, WarningAnswer answer, int postponeMinutes) {
    const std::optional<TaskRow> row = m_tasks.Find(id);
    if (!m_scheduler || !row) {
        return false;
    }
    HeldRuns& held = m_scheduler->Held();
    const Task& task = row->task;
    switch (answer) {
        case WarningAnswer::CloseNow:
            // The stop's own events follow when it runs.
            return held.RunEarly(id, dueLocal);
        case WarningAnswer::Postpone:
            if (const std::optional<long long> runAt = held.Postpone(id, dueLocal, postponeMinutes * 60)) {
                Record(id, task.program, task.action, history::kPostponed, DueTimeText(*runAt));
                return true;
            }
            return false;
        case WarningAnswer::Skip:
            if (held.Skip(id, dueLocal)) {
                Record(id, task.program, task.action, history::kSkipped, DueTimeText(dueLocal));
                return true;
            }
            return false;
    }
    return false;
}

namespace {

std::vector<Task> WithoutIds(std::vector<Task> tasks) {
    for (Task& task : tasks) {
        task.id = 0;
    }
    return tasks;
}

}  // namespace

void TaskService::AddTasks(const std::vector<Task>& tasks) {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    m_tasks.AppendTasks(WithoutIds(tasks));
    Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    SaveNow(true);
}

void TaskService::ReplaceTasks(const std::vector<Task>& tasks) {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    for (const TaskId id : m_tasks.Ids()) {
        fw::IgnoreResult(m_tasks.Remove(id));
    }
    m_tasks.AppendTasks(WithoutIds(tasks));
    Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    SaveNow(true);
}

bool TaskService::SavePending() const {
    const std::lock_guard lock(m_profileMutex);
    return m_profile.SavePending();
}

void TaskService::NoticeResume() {
    if (m_scheduler) {
        m_scheduler->NoticeResume();
    }
}

void TaskService::SessionEnding() {
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    SaveNow(false);
}

void TaskService::Exit() {
    if (m_exited) {
        return;
    }
    m_exited = true;
    const fw::MessageBoxRedirect quiet = MessagesAsEvents();
    // No tick after this: a run noted later would be in memory only.
    m_schedulerThread.reset();
    m_worker->Stop();
    SaveNow(true);
}

void TaskService::OnDue(const std::vector<ScheduledTask>& due) {
    for (const ScheduledTask& task : due) {
        // Before what came of the run, which follows it in the history.
        if (task.madeUpFor) {
            Record(task.id, task.program, task.action, history::kMadeUp, DueTimeText(*task.madeUpFor));
        }
        // A waking task keeps the computer awake while it is at work.
        Carry(task.id, {task.program, task.action, task.arguments, task.folder, task.wake, task.tree});
    }
    // Told once every start of the second is on its way.
    for (const ScheduledTask& task : due) {
        Emit(ServiceEvent(ServiceEvent::Kind::TaskRan, task.id));
    }
    SaveSoon();
}

void TaskService::Carry(TaskId id, const RunRequest& run) {
    if (IsStartAction(run.action)) {
        // On a thread of its own: a slow shell holds up that start alone.
        m_runner->Start(run, ReportFor(id, run));
    } else {
        // Off the window's thread and the scheduler's: a lookup that hangs on a dead share delays no firing.
        PostWork([this, id, run] { StopOnWorker(id, run); });
    }
}

void TaskService::StopOnWorker(TaskId id, const RunRequest& run) {
    auto over = std::make_shared<bool>(false);
    m_runner->Stop(run, [report = ReportFor(id, run), over](const RunOutcome& outcome) {
        *over = true;
        report(outcome);
    });
    if (!*over) {
        Emit(ServiceEvent(ServiceEvent::Kind::StopPending, id));
    }
}

void TaskService::OnWarning(const WarningNotice& notice) {
    const ScheduledTask& task = notice.task;
    RunRequest run{task.program, task.action, task.arguments, task.folder, false, task.tree};
    // Looked for where stops are: a lookup that hangs on a dead share holds up no firing.
    PostWork([this, notice, run = std::move(run)] {
        std::optional<RunningProgram> program = m_runner->FindRunning(run);
        if (!program) {
            return;  // nothing to warn of: the stop runs at its time and finds nothing, as without a warning
        }
        auto warning = std::make_shared<StopWarning>();
        warning->id = notice.task.id;
        warning->due = notice.due;
        warning->secondsLeft = notice.secondsLeft;
        warning->canPostpone = notice.canPostpone;
        warning->name = std::move(program->name);
        warning->process = std::make_shared<const fw::UniqueHandle>(std::move(program->process));
        ServiceEvent event(ServiceEvent::Kind::WarningBegins, warning->id);
        event.warning = std::move(warning);
        Emit(std::move(event));
    });
}

void TaskService::OnWarningEnded(TaskId id, long long dueLocal) {
    auto warning = std::make_shared<StopWarning>();
    warning->id = id;
    warning->due = dueLocal;
    ServiceEvent event(ServiceEvent::Kind::WarningEnds, id);
    event.warning = std::move(warning);
    // Through the worker, behind the warning it ends, which may still be on its way there.
    PostWork([this, event = std::move(event)] { Emit(event); });
}

RunReport TaskService::ReportFor(TaskId id, const RunRequest& run) const {
    return [gate = m_gate, id, run](const RunOutcome& outcome) { gate->Result(id, run, outcome); };
}

void TaskService::Record(TaskId id,
                         const std::wstring& program,
                         const std::wstring& action,
                         const std::wstring& event,
                         const std::wstring& detail) {
    // Stamped now: the line says when it happened, not when the worker came to it.
    RecordLine({history::TimeText(m_options.clock()), id, program, action, event, detail});
}

void TaskService::RecordLine(history::Line line) {
    const auto append = [this, line = std::move(line)] {
        const fw::MessageBoxRedirect quiet = MessagesAsEvents();
        if (!history::Append(GetConfigFolder(), line)) {
            ++m_historyDropped;
        }
    };
    // Once the worker has ended (at exit) nothing fires any more, and the caller may wait for the file itself.
    if (!m_worker->Post(append)) {
        append();
    }
}

void TaskService::SaveNow(bool report) {
    SaveOutcome outcome = SaveOutcome::Held;
    bool readBefore = false;
    std::wstring keptCopy;
    {
        const std::lock_guard lock(m_profileMutex);
        readBefore = m_profile.FileRead();
        // The mark is taken before the list: every run it covers is in the list by then.
        outcome = m_profile.Save(m_tasks, WatchedLocked());
        keptCopy = m_profile.TakeKeptCopy();
    }
    m_lastSave = ::GetTickCount64();
    NoteCatchUp(readBefore);
    NoteKeptCopy(keptCopy);
    if (outcome == SaveOutcome::Failed && report) {
        Emit(ServiceEvent(ServiceEvent::Kind::SaveFailed, 0, kCannotWriteFile));
    }
    RetryWhileNeeded();
}

void TaskService::SaveSoon() {
    if (m_saveQueued.exchange(true)) {
        return;
    }
    // Not at once: the programs just started get the machine first; and at most once in the save period.
    const ULONGLONG since = ::GetTickCount64() - m_lastSave;
    const DWORD delay =
        std::max(kRunSaveDelayMs, since >= kRunSavePeriodMs ? 0 : static_cast<DWORD>(kRunSavePeriodMs - since));
    PostWork(
        [this] {
            m_saveQueued = false;
            // No box: the list is written at the next retry when the file cannot be written now.
            SaveNow(false);
        },
        delay);
}

bool TaskService::RetryNeeded() const {
    const std::lock_guard lock(m_profileMutex);
    return !m_profile.FileRead() || m_profile.SavePending();
}

void TaskService::RetryWhileNeeded() {
    // One retry waits at a time; none while the file is read and holds the list, so that a service at rest gives
    // its worker thread nothing to do, and the thread is never made.
    if (!RetryNeeded() || m_retryArmed.exchange(true)) {
        return;
    }
    PostWork(
        [this] {
            m_retryArmed = false;
            bool readBefore = false;
            std::wstring keptCopy;
            {
                const std::lock_guard lock(m_profileMutex);
                readBefore = m_profile.FileRead();
                m_profile.Retry(m_tasks, WatchedLocked());
                keptCopy = m_profile.TakeKeptCopy();
            }
            NoteCatchUp(readBefore);
            NoteKeptCopy(keptCopy);
            RetryWhileNeeded();
        },
        m_options.profileRetryMs);
}

void TaskService::NoteCatchUp(bool readBefore) {
    if (!readBefore && ProfileRead()) {
        Emit(ServiceEvent(ServiceEvent::Kind::ListChanged));
    }
}

void TaskService::NoteKeptCopy(const std::wstring& copy) const {
    if (!copy.empty()) {
        Emit(ServiceEvent(ServiceEvent::Kind::FileKeptAside, 0, copy));
    }
}

}  // namespace core
