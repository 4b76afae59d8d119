#pragma once
// marlowick.com's output: to its console as UTF-16, and as UTF-8 when it is redirected to a file or a pipe.
#include <windows.h>

#include <string>
#include <vector>

namespace cli {

// Writes each line with a line break to the standard handle (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE).
void WriteLines(DWORD standardHandle, const std::vector<std::wstring>& lines);

}  // namespace cli
