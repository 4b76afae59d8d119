#pragma once
// The running Marlowick's named pipe, through which marlowick.com hands it a command and hears the answer. A
// request is one line: the command's words, separated by tabs. The answer is a line with the exit code and the
// number of lines that follow, separated by a tab, then the lines to print. Both are UTF-8, with backslash, tab, CR and
// LF inside a word or line written \\, \t, \r and \n.
#include "cli/Commands.h"
#include "framework/Handle.h"
#include "framework/Security.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cli {

inline constexpr wchar_t kPipeName[] = L"\\\\.\\pipe\\Marlowick";
// The pipe of this copy: kPipeName, and a portable copy's folder tag, so that marlowick.com speaks to the Marlowick
// beside it.
std::wstring PipeName();
// The answer to a request from another user than the one Marlowick runs for.
inline constexpr wchar_t kOtherUserRefused[] = L"Refused: this Marlowick runs for another user.";

std::string EncodeRequest(const std::vector<std::wstring>& words);
// Empty for a line that is no request, or for an answer that is not whole.
std::optional<std::vector<std::wstring>> DecodeRequest(const std::string& line);
std::string EncodeAnswer(const CommandAnswer& answer);
std::optional<CommandAnswer> DecodeAnswer(const std::string& bytes);

// The user of the process at the other end of the pipe; empty when the platform cannot tell.
using ClientUser = std::function<fw::Sid(HANDLE pipe)>;
fw::Sid PipeClientUser(HANDLE pipe);
// Only the user Marlowick runs for may command it: the pipe's protection keeps other users out, and this check
// refuses one that came in anyway (an administrator's process of another account). An unknown user is refused.
bool ClientAllowed(HANDLE pipe, const fw::Sid& owner, const ClientUser& clientUser);

// Serves the pipe on threads of its own: one that waits for clients, and one for each client while its command is
// carried out, so that a run that waits for its result holds up no other command, and nothing waits for the
// window's thread. The pipe may be opened by its user and the Administrators only.
class CommandServer {
public:
    using Handler = std::function<CommandAnswer(const std::vector<std::wstring>& words)>;
    struct Options {
        std::wstring name = PipeName();
        ClientUser clientUser = PipeClientUser;
    };

    CommandServer(Handler handler, Options options);
    explicit CommandServer(Handler handler) : CommandServer(std::move(handler), Options{}) {}
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;
    ~CommandServer() { Stop(); }

    // False when the pipe could not be made, for example because another process serves that name.
    bool Start();
    // Stops waiting for clients and waits for the commands under way (the handler must let them end). Once.
    void Stop();

private:
    struct Client {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    fw::UniqueFile CreateInstance(bool first) const;
    void Listen(fw::UniqueFile pipe);
    void Serve(fw::UniqueFile pipe);
    // Joins the client threads that have ended; all of them when every is true.
    void Reap(bool every);

    Handler m_handler;
    Options m_options;
    fw::Sid m_owner;
    fw::UniqueHandle m_stop;
    std::thread m_listener;
    std::mutex m_mutex;
    std::vector<Client> m_clients;
};

// What became of a request.
enum class SendResult {
    Answered,
    // No Marlowick serves the pipe.
    NoServer,
    // Every instance of the pipe is busy: try again.
    Busy,
    // The pipe belongs to another user.
    Denied,
    Failed,
};
SendResult SendCommand(const std::wstring& name, const std::vector<std::wstring>& words, CommandAnswer& answer);

}  // namespace cli
