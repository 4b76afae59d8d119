#pragma once
// Starting the program of a Start task: the shell opens its file.
#include "control/RunResult.h"
#include "framework/Handle.h"

#include <string>

namespace control {

// Asks the shell to open the file named by the program text, as its type's "open" verb says (an executable
// runs, a document opens in its program). The program text is one file name, never split into arguments: the
// task's arguments go to the program as they are, and the folder becomes its current one; an empty text for
// either leaves it as the shell's default (no arguments, the caller's current folder). Nothing is checked
// beforehand, nothing waits for the program, and the shell shows no box of its own. Returns the outcome:
// StartedOutcome, or StartFailedOutcome with the shell's reason.
// With process, the started process (when the shell started one) is handed out there.
RunOutcome StartProgram(const std::wstring& program,
                        const std::wstring& arguments,
                        const std::wstring& folder,
                        fw::UniqueHandle* process = nullptr);

// StartProgram on a thread of its own, with COM set up as the shell needs it: a file on a share that does not
// answer, or a slow shell extension, holds up that one start and nothing else. Returns at once. The report
// hears the result once, on that thread, when the shell has returned; when no thread can be had, the start
// runs on the calling thread instead, and the report is called there before this returns. keepAwake: that thread
// keeps the computer awake (AwakeHold) from the start until the program it started has exited.
void StartProgramInBackground(const std::wstring& program,
                              const std::wstring& arguments,
                              const std::wstring& folder,
                              RunReport report = {},
                              bool keepAwake = false);

}  // namespace control
