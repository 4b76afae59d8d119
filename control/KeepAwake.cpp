#include "control/KeepAwake.h"

#include "framework/Handle.h"

#include <utility>

namespace control {
namespace {

ExecutionStateCall& Call() {
    static ExecutionStateCall call;
    return call;
}

EXECUTION_STATE SetState(EXECUTION_STATE state) {
    return Call() ? Call()(state) : ::SetThreadExecutionState(state);
}

// A plain count: a thread-local object with a destructor corrupts the heap when MinGW's threads end.
thread_local int t_holds = 0;

}  // namespace

ExecutionStateCall SetExecutionStateCall(ExecutionStateCall call) {
    return std::exchange(Call(), std::move(call));
}

AwakeHold::AwakeHold() {
    if (t_holds++ == 0) {
        fw::IgnoreResult(SetState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    }
}

AwakeHold::~AwakeHold() {
    if (--t_holds == 0) {
        fw::IgnoreResult(SetState(ES_CONTINUOUS));
    }
}

}  // namespace control
