#pragma once
// The history of runs as marlowick.com prints it.
#include <string>
#include <vector>

namespace cli {

// The lines of History.1.txt and then History.txt in the profile's folder, oldest first: UTF-8 with a byte-order
// mark, one run a line, six fields separated by tabs (local time with offset, Id, program, action, event, detail).
// A file that is not there has no lines.
std::vector<std::wstring> ReadHistoryLines();

}  // namespace cli
