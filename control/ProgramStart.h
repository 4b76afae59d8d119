#pragma once
// Starting the program of a Start task: the shell opens its file.
#include <string>

namespace control {

// Asks the shell to open the file named by the text, as its type's "open" verb says (an executable runs, a
// document opens in its program). The text is one file name, never split into arguments; nothing is
// checked beforehand, nothing waits, and a failure is neither examined nor shown.
void StartProgram(const std::wstring& program);

// StartProgram on a thread of its own, with COM set up as the shell needs it: a file on a share that does
// not answer, or a slow shell extension, holds up that one start and nothing else. Returns at once.
void StartProgramInBackground(const std::wstring& program);

}  // namespace control
