#include "cli/History.h"

#include "core/History.h"
#include "core/Profile.h"

namespace cli {

std::vector<std::wstring> ReadHistoryLines() {
    std::vector<std::wstring> lines;
    const std::wstring folder = core::GetConfigFolder();
    if (folder.empty()) {
        return lines;
    }
    // The reader passes over a line cut short or not of six fields; the fields it gives hold no tab.
    for (const core::history::Line& line : core::history::Read(folder)) {
        lines.push_back(line.time + L'\t' + std::to_wstring(line.id) + L'\t' + line.program + L'\t' + line.action +
                        L'\t' + line.event + L'\t' + line.detail);
    }
    return lines;
}

}  // namespace cli
