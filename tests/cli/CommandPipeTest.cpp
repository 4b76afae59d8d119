// The command pipe served in this process: words and answers cross it whole, and a request of another user than the
// one the server runs for is refused before its command is read.
#include "cli/CommandPipe.h"
#include "helpers/HelperProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A user that is not this one: a domain account's identifier that no test machine has.
const fw::Sid kAnotherUser{1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xE9, 3, 0, 0};

std::wstring PipeName(const wchar_t* test) {
    return std::wstring(L"\\\\.\\pipe\\MarlowickTest-") + test + L"-" + std::to_wstring(::GetCurrentProcessId());
}

TEST(CommandPipe, WordsAndLinesCrossWholeAndTheExitCodeComesBack) {
    std::vector<std::wstring> heard;
    cli::CommandServer server(
        [&](const std::vector<std::wstring>& words) {
            heard = words;
            return cli::CommandAnswer{7, {L"a\tb", L"C:\\Path\\x", L"", L"Grüße 東京"}};
        },
        {PipeName(L"whole"), cli::PipeClientUser});
    ASSERT_TRUE(server.Start());

    const std::vector<std::wstring> words = {
        L"add", L"C:\\Program Files\\x.exe", L"tab\there", L"line\r\nbreak", L"", L"back\\\\slash", L"Grüße"};
    cli::CommandAnswer answer;
    ASSERT_EQ(cli::SendCommand(PipeName(L"whole"), words, answer), cli::SendResult::Answered);
    EXPECT_EQ(heard, words);
    EXPECT_EQ(answer.exitCode, 7);
    EXPECT_EQ(answer.lines, (std::vector<std::wstring>{L"a\tb", L"C:\\Path\\x", L"", L"Grüße 東京"}));
}

TEST(CommandPipe, ARequestOfAnotherUserIsRefusedAndItsCommandNeverRuns) {
    std::atomic<int> commands{0};
    std::atomic<int> asked{0};
    cli::CommandServer server(
        [&](const std::vector<std::wstring>&) {
            ++commands;
            return cli::CommandAnswer{};
        },
        {PipeName(L"other"), [&](HANDLE pipe) {
             ++asked;
             // The pipe really names this process as its client: only the user is replaced.
             ULONG client = 0;
             EXPECT_TRUE(::GetNamedPipeClientProcessId(pipe, &client));
             EXPECT_EQ(client, ::GetCurrentProcessId());
             return kAnotherUser;
         }});
    ASSERT_TRUE(server.Start());

    cli::CommandAnswer answer;
    ASSERT_EQ(cli::SendCommand(PipeName(L"other"), {L"remove", L"1"}, answer), cli::SendResult::Answered);
    EXPECT_EQ(answer.exitCode, cli::kExitUnreachable);
    EXPECT_EQ(answer.lines, (std::vector<std::wstring>{cli::kOtherUserRefused}));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(commands, 0);
}

TEST(CommandPipe, TheClientCheckComparesUsers) {
    const fw::Sid me = fw::CurrentUserSid();
    ASSERT_FALSE(me.empty());
    EXPECT_TRUE(cli::ClientAllowed(nullptr, me, [&](HANDLE) { return me; }));
    EXPECT_FALSE(cli::ClientAllowed(nullptr, me, [](HANDLE) { return kAnotherUser; }));
    // A client whose user cannot be told is nobody's.
    EXPECT_FALSE(cli::ClientAllowed(nullptr, me, [](HANDLE) { return fw::Sid{}; }));
}

TEST(CommandPipe, StopEndsAWaitingCommandsThreadAndTheServerIsGoneAfter) {
    cli::RunResults results;
    std::atomic<bool> waiting{false};
    cli::CommandServer server(
        [&](const std::vector<std::wstring>&) {
            waiting = true;
            // A run whose result never comes, as a stop that waits for its program.
            const bool waited = results.Wait(42, results.Mark()).has_value();
            return cli::CommandAnswer{waited ? 0 : 1, {}};
        },
        {PipeName(L"stop"), cli::PipeClientUser});
    ASSERT_TRUE(server.Start());
    std::thread client([] {
        cli::CommandAnswer answer;
        fw::IgnoreResult(cli::SendCommand(PipeName(L"stop"), {L"run", L"42"}, answer));
    });
    const bool entered = testing_support::WaitUntil([&] { return waiting.load(); }, 10000);
    results.Cancel();
    server.Stop();
    client.join();
    ASSERT_TRUE(entered);
    cli::CommandAnswer answer;
    EXPECT_EQ(cli::SendCommand(PipeName(L"stop"), {L"list"}, answer), cli::SendResult::NoServer);
}

}  // namespace
