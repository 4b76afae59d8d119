// History.txt: its lines, a crash in the middle of an append, the renaming of a full file, appends from several
// threads and a second process at once.
#include "core/History.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

namespace history = core::history;
using history::Line;

constexpr char kBom[] = "\xEF\xBB\xBF";

history::AppendStep g_endAt = history::AppendStep::Locked;
// Names the folder to the second process of the concurrent appends.
constexpr wchar_t kChildFolderVariable[] = L"MARLOWICK_HISTORY_CHILD_FOLDER";

class HistoryTest : public ::testing::Test {
protected:
    // The folder is named by the test alone: a death test's child runs the test again from its start and must
    // find the same files.
    void SetUp() override {
        wchar_t temp[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"marlowick-history-test";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        m_path = m_folder + L"\\History.txt";
        m_old = m_folder + L"\\History.1.txt";
        ::DeleteFileW(m_path.c_str());
        ::DeleteFileW(m_old.c_str());
    }
    void TearDown() override {
        ::DeleteFileW(m_path.c_str());
        ::DeleteFileW(m_old.c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    static Line At(int n, const std::wstring& event = history::kStarted) {
        return {L"2026-03-01 07:30:00+01:00",
                static_cast<core::TaskId>(n),
                L"C:\\tool " + std::to_wstring(n) + L".exe",
                L"Start",
                event,
                L""};
    }

    std::wstring m_folder;
    std::wstring m_path;
    std::wstring m_old;
};

TEST(HistoryTime, TheLocalTimeCarriesItsOffsetFromUtc) {
    core::ClockReading now;
    now.utc = {2026, 3, 0, 1, 6, 30, 5, 0};
    now.local = {2026, 3, 0, 1, 7, 30, 5, 0};
    EXPECT_EQ(history::TimeText(now), L"2026-03-01 07:30:05+01:00");
    // West of Greenwich, a half-hour zone, across midnight.
    now.local = {2026, 2, 0, 28, 21, 0, 5, 0};
    EXPECT_EQ(history::TimeText(now), L"2026-02-28 21:00:05-09:30");
}

// Each line keeps its six fields whatever the texts hold; the file is UTF-8 with its mark, written line by line.
TEST_F(HistoryTest, LinesKeepTheirSixFieldsAndAnyTextAndReadBackInOrder) {
    Line odd{L"2026-03-01 07:30:00+01:00", 42, L"C:\\Ünïcode\t日本.exe", L"Stop", history::kStartFailed,
             L"line one\r\nline two"};
    ASSERT_TRUE(history::Append(m_folder, odd));
    ASSERT_TRUE(history::Append(m_folder, At(7, history::kClosed)));
    const std::string bytes = testing_support::ReadFileBytes(m_path);
    EXPECT_EQ(bytes.substr(0, 3), kBom);
    EXPECT_EQ(bytes.find(kBom, 3), std::string::npos);
    EXPECT_EQ(bytes.substr(3, bytes.find("\r\n") - 3),
              "2026-03-01 07:30:00+01:00\t42\tC:\\\xC3\x9Cn\xC3\xAF"
              "code \xE6\x97\xA5\xE6\x9C\xAC.exe\tStop\tstart "
              "failed\tline one  line two");

    const std::vector<Line> lines = history::Read(m_folder);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].program, L"C:\\Ünïcode 日本.exe");
    EXPECT_EQ(lines[0].detail, L"line one  line two");
    EXPECT_EQ(lines[1], At(7, history::kClosed));

    // Without a time of its own, a line is stamped now.
    ASSERT_TRUE(history::Append(m_folder, Line{{}, 8, L"x", L"Start", history::kStarted, {}}));
    Line parsed;
    EXPECT_TRUE(history::Parse(history::Read(m_folder).back().time + L"\t8\tx\tStart\tstarted\t", parsed));
}

TEST(HistoryParse, OnlyWholeLinesOfSixFieldsAreTaken) {
    Line line;
    EXPECT_TRUE(history::Parse(L"2026-03-01 07:30:00+01:00\t1\tp\tStart\tstarted\t", line));
    EXPECT_FALSE(history::Parse(L"2026-03-01 07:30:00+01:00\t1\tp\tStart\tstarted", line));
    EXPECT_FALSE(history::Parse(L"2026-03-01 07:30:00+01:00\t1\tp\tStart\tstarted\td\textra", line));
    EXPECT_FALSE(history::Parse(L"2026-03-01 07:30\t1\tp\tStart\tstarted\t", line));
    EXPECT_FALSE(history::Parse(L"2026-03-01 07:30:00+01:00\tx1\tp\tStart\tstarted\t", line));
    EXPECT_FALSE(history::Parse(L"2026-03-01 07:30:00+01:00\t1\tp\tStart\t\t", line));
}

// The process ends at each step of an append: the lines before stay whole, only the last may be lost or cut, and
// the next append (which finds the lock abandoned) stands on a line of its own.
class HistoryKillTest : public HistoryTest, public testing::WithParamInterface<history::AppendStep> {};

TEST_P(HistoryKillTest, AnAppendEndedAtAnyStepLeavesTheEarlierLinesWhole) {
    ASSERT_TRUE(history::Append(m_folder, At(1)));
    ASSERT_TRUE(history::Append(m_folder, At(2)));
    const std::string before = testing_support::ReadFileBytes(m_path);
    EXPECT_EXIT(
        {
            g_endAt = GetParam();
            history::SetAppendHook([](history::AppendStep reached) {
                if (reached == g_endAt) {
                    ::ExitProcess(3);
                }
            });
            history::Append(m_folder, At(3));
        },
        testing::ExitedWithCode(3), "");
    const std::string after = testing_support::ReadFileBytes(m_path);
    EXPECT_EQ(after.substr(0, before.size()), before);

    ASSERT_TRUE(history::Append(m_folder, At(4)));
    const std::vector<Line> lines = history::Read(m_folder);
    std::vector<core::TaskId> ids;
    for (const Line& line : lines) {
        ids.push_back(line.id);
    }
    const bool written = GetParam() == history::AppendStep::Written;
    const std::vector<core::TaskId> expected =
        written ? std::vector<core::TaskId>{1, 2, 3, 4} : std::vector<core::TaskId>{1, 2, 4};
    EXPECT_EQ(ids, expected);
}

INSTANTIATE_TEST_SUITE_P(EachStep,
                         HistoryKillTest,
                         testing::Values(history::AppendStep::Locked,
                                         history::AppendStep::Opened,
                                         history::AppendStep::Written));

// A crash of the machine can leave a line cut short: it is passed over, and the next line starts on its own.
TEST_F(HistoryTest, ALineCutShortIsPassedOverAndTheNextStartsOnANewLine) {
    ASSERT_TRUE(history::Append(m_folder, At(1)));
    const std::string whole = history::Format(At(2));
    std::string bytes = testing_support::ReadFileBytes(m_path) + whole.substr(0, 20);
    ASSERT_TRUE(testing_support::WriteFileBytes(m_path, bytes));
    ASSERT_EQ(history::Read(m_folder).size(), 1u);

    ASSERT_TRUE(history::Append(m_folder, At(3)));
    EXPECT_EQ(testing_support::ReadFileBytes(m_path), bytes + "\r\n" + history::Format(At(3)));
    const std::vector<Line> lines = history::Read(m_folder);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], At(3));
}

// Past 1 MiB the file becomes History.1.txt, replacing the one before, and a new file begins with its mark. The
// reader gives the old file's lines first.
TEST_F(HistoryTest, AFullFileIsRenamedAndANewOneBegins) {
    ASSERT_TRUE(testing_support::WriteFileBytes(m_old, std::string(kBom) + history::Format(At(0))));
    std::string full = kBom;
    int count = 0;
    while (full.size() + history::Format(At(count + 1)).size() <= history::kRotateBytes) {
        full += history::Format(At(++count));
    }
    ASSERT_TRUE(testing_support::WriteFileBytes(m_path, full));

    ASSERT_TRUE(history::Append(m_folder, At(count + 1)));
    EXPECT_EQ(testing_support::ReadFileBytes(m_old), full);
    EXPECT_EQ(testing_support::ReadFileBytes(m_path), std::string(kBom) + history::Format(At(count + 1)));
    const std::vector<Line> lines = history::Read(m_folder);
    ASSERT_EQ(lines.size(), static_cast<size_t>(count + 1));
    EXPECT_EQ(lines.front().id, 1u);
    EXPECT_EQ(lines.back().id, static_cast<core::TaskId>(count + 1));
}

// Threads of this process and a second process append at once, across a renaming: no line is lost or mixed.
TEST_F(HistoryTest, AppendsFromThreadsAndAnotherProcessAtOnceAllArriveWhole) {
    constexpr int kThreads = 3;
    constexpr int kEach = 150;
    // Near the limit, so that the appends rename the file on the way.
    std::string full = kBom;
    while (full.size() < history::kRotateBytes - 2000) {
        full += history::Format(At(0));
    }
    ASSERT_TRUE(testing_support::WriteFileBytes(m_path, full));
    ASSERT_TRUE(::SetEnvironmentVariableW(kChildFolderVariable, m_folder.c_str()));
    testing_support::HelperProcess child({L"--gtest_filter=HistoryChild.*"},
                                         testing_support::ExecutableFolder() + L"core_tests.exe");
    ::SetEnvironmentVariableW(kChildFolderVariable, nullptr);
    ASSERT_TRUE(child.Started());
    std::vector<std::thread> threads;
    for (int t = 1; t <= kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i) {
                history::Append(m_folder, At(t * 1000 + i));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ASSERT_EQ(child.WaitForExit(60000), 0u);
    std::vector<int> seen(10000, 0);
    for (const Line& line : history::Read(m_folder)) {
        if (line.id != 0) {
            ASSERT_EQ(line, At(static_cast<int>(line.id)));
            ++seen[line.id];
        }
    }
    for (int t = 1; t <= kThreads + 1; ++t) {
        const int base = t > kThreads ? 9000 : t * 1000;
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(seen[base + i], 1) << base + i;
        }
    }
    EXPECT_EQ(testing_support::ReadFileBytes(m_path).substr(0, 3), kBom);
}

// The second process of the concurrent appends: it runs only when started by that test.
TEST(HistoryChild, AppendsItsLines) {
    wchar_t folder[MAX_PATH]{};
    if (::GetEnvironmentVariableW(kChildFolderVariable, folder, MAX_PATH) == 0) {
        GTEST_SKIP() << "started only by the concurrent appends";
    }
    for (int i = 0; i < 150; ++i) {
        history::Append(folder, {L"2026-03-01 07:30:00+01:00", static_cast<core::TaskId>(9000 + i),
                                 L"C:\\tool " + std::to_wstring(9000 + i) + L".exe", L"Start", history::kStarted, L""});
    }
}

}  // namespace
