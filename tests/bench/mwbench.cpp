// Measures marlowick.exe from outside, side by side with a floor, and prints one table of the figures:
// start-up with 0, 1,000 and 10,000 tasks and with a count that promises more than the file holds, the
// window's answers after such a start, idle processor time and what one tick costs, the save after Remove
// Task, and how late a task's program starts after its second begins, with the window idle and busy.
//
//   mwbench.exe [--runs N] [--empty-only] marlowick.exe [baseline\marlowick.exe]
//
// --empty-only measures the start-up, idle time and working set with an empty list alone: the figures that
// hold the program against the floor, in a fraction of the time.
//
// Runs in the Wine prefix (or on the Windows machine) whose Profile.txt it may replace; the table goes to
// the standard output, the progress to the standard error.
#include "bench/Scenarios.h"
#include "bench/Stats.h"
#include "helpers/HelperProcess.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The number of recorder copies: one per planned start of a round.
constexpr int kStampCopies = 16;

// The bench's scratch folder: the recorder copies and the record; removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + L"mwbench-" + std::to_wstring(::GetCurrentProcessId());
        m_made = ::CreateDirectoryW(m_path.c_str(), nullptr) != FALSE;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        if (!m_made) {
            return;
        }
        WIN32_FIND_DATAW found{};
        fw::UniqueFind search(::FindFirstFileW((m_path + L"\\*").c_str(), &found));
        if (search) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    ::DeleteFileW((m_path + L"\\" + found.cFileName).c_str());
                }
            } while (::FindNextFileW(search.Get(), &found));
        }
        search.Reset();
        ::RemoveDirectoryW(m_path.c_str());
    }

    bool Made() const { return m_made; }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    bool m_made = false;
};

int Usage() {
    std::fprintf(stderr, "usage: mwbench.exe [--runs N] [--empty-only] marlowick.exe [baseline-marlowick.exe]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 5;
    bool emptyOnly = false;
    std::vector<std::wstring> builds;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--runs" && i + 1 < argc) {
            runs = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        } else if (arg == L"--empty-only") {
            emptyOnly = true;
        } else {
            builds.push_back(arg);
        }
    }
    if (builds.empty() || builds.size() > 2 || runs < 1) {
        return Usage();
    }
    for (const std::wstring& build : builds) {
        if (::GetFileAttributesW(build.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "no such program: %ls\n", build.c_str());
            return 2;
        }
    }

    ScratchFolder scratch;
    if (!scratch.Made()) {
        std::fprintf(stderr, "could not make a scratch folder\n");
        return 1;
    }
    bench::Tools tools;
    tools.floorExe = testing_support::ExecutableFolder() + L"mwfloor.exe";
    tools.stampFolder = scratch.Path();
    tools.stampRecord = scratch.Path() + L"\\stamps.txt";
    const std::wstring stamp = testing_support::ExecutableFolder() + L"mwstamp.exe";
    for (int i = 0; i < kStampCopies; ++i) {
        const std::wstring copy = scratch.Path() + L"\\stamp-" + std::to_wstring(i) + L".exe";
        if (!::CopyFileW(stamp.c_str(), copy.c_str(), FALSE)) {
            std::fprintf(stderr, "could not copy %ls\n", stamp.c_str());
            return 1;
        }
    }
    // Every program started from here, and every program those start, records into the one file.
    ::SetEnvironmentVariableW(L"MWBENCH_STAMPS", tools.stampRecord.c_str());

    if (!bench::PrepareProfileFolder(builds.front())) {
        std::fprintf(stderr, "the first start made no profile folder\n");
        return 1;
    }
    bench::WarmUp(tools, builds);
    std::vector<bench::ProgramFigures> figures(builds.size());
    bench::FloorFigures floor;
    for (int run = 1; run <= runs; ++run) {
        std::fprintf(stderr, "--- run %d of %d\n", run, runs);
        bench::MeasureStartUp(tools, builds, figures, floor, emptyOnly);
        if (emptyOnly) {
            continue;
        }
        for (size_t b = 0; b < builds.size(); ++b) {
            bench::MeasureStartLatency(tools, builds[b], figures[b]);
        }
        bench::MeasureDirectFloors(tools, floor);
    }

    std::vector<bench::TableRow> rows = bench::TableRows(figures[0], floor, builds.size() > 1 ? &figures[1] : nullptr);
    if (emptyOnly) {
        std::erase_if(rows, [](const bench::TableRow& row) { return bench::Unmeasured(row); });
    }
    const std::string table = bench::FormatTable(rows);
    std::printf("Medians of %d runs; Marlowick: %ls%s%ls\n\n%s", runs, builds[0].c_str(),
                builds.size() > 1 ? "; baseline: " : "", builds.size() > 1 ? builds[1].c_str() : L"", table.c_str());
    std::fflush(stdout);
    return 0;
}
