#pragma once
// Keeping the computer awake while a task that woke it is at work.
#include <windows.h>

#include <functional>

namespace control {

// The platform's SetThreadExecutionState, replaceable so that a test sees what is asked: under Wine the call
// changes nothing anyone can observe. Returns the previous call; an empty one restores the platform's.
using ExecutionStateCall = std::function<EXECUTION_STATE(EXECUTION_STATE state)>;
ExecutionStateCall SetExecutionStateCall(ExecutionStateCall call);

// While any hold of a thread lives, that thread asks the system to stay awake (ES_CONTINUOUS |
// ES_SYSTEM_REQUIRED); when the thread's last hold goes, it lets go (ES_CONTINUOUS). The request belongs to the
// thread, so a hold is made and destroyed on one thread.
class AwakeHold {
public:
    AwakeHold();
    AwakeHold(const AwakeHold&) = delete;
    AwakeHold& operator=(const AwakeHold&) = delete;
    ~AwakeHold();
};

}  // namespace control
