#include "cli/CommandPipe.h"

#include "cli/Utf8.h"
#include "core/Portable.h"

#include <sddl.h>

#include <algorithm>

namespace cli {
namespace {

// A request longer than this is no command of marlowick.com.
constexpr size_t kMaxRequestBytes = 1024 * 1024;
// How long a client may take to send its request, and to take its answer.
constexpr DWORD kClientTimeoutMs = 10000;
constexpr DWORD kPipeBufferBytes = 64 * 1024;

std::wstring Escape(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'\\':
                out += L"\\\\";
                break;
            case L'\t':
                out += L"\\t";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L'\n':
                out += L"\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::wstring> Unescape(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
            case L'\\':
                out += L'\\';
                break;
            case L't':
                out += L'\t';
                break;
            case L'r':
                out += L'\r';
                break;
            case L'n':
                out += L'\n';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// Waits for an overlapped operation that began with the result began; false when it failed, or when the stop or
// the time-out came first (it is then cancelled, and over when this returns).
bool Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL began, HANDLE stop, DWORD timeoutMs, DWORD& done) {
    done = 0;
    if (!began && ::GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    const HANDLE handles[] = {overlapped.hEvent, stop};
    if (::WaitForMultipleObjects(2, handles, FALSE, timeoutMs) != WAIT_OBJECT_0) {
        fw::IgnoreResult(::CancelIoEx(pipe, &overlapped));
        fw::IgnoreResult(::GetOverlappedResult(pipe, &overlapped, &done, TRUE));
        return false;
    }
    return ::GetOverlappedResult(pipe, &overlapped, &done, FALSE) != FALSE;
}

struct Overlapped {
    fw::UniqueHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED value{};
    Overlapped() { value.hEvent = event.Get(); }
};

// Reads up to the first line break; empty after a time-out, the stop, or a request that is too long.
std::optional<std::string> ReadRequest(HANDLE pipe, HANDLE stop) {
    std::string bytes;
    char chunk[4096];
    while (bytes.find('\n') == std::string::npos) {
        Overlapped io;
        DWORD read = 0;
        const BOOL began = ::ReadFile(pipe, chunk, sizeof chunk, nullptr, &io.value);
        if (!Finish(pipe, io.value, began, stop, kClientTimeoutMs, read) || read == 0 ||
            bytes.size() + read > kMaxRequestBytes) {
            return std::nullopt;
        }
        bytes.append(chunk, read);
    }
    return bytes.substr(0, bytes.find('\n'));
}

bool WriteAll(HANDLE pipe, const std::string& bytes, HANDLE stop) {
    for (size_t offset = 0; offset < bytes.size();) {
        Overlapped io;
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, kPipeBufferBytes));
        const BOOL began = ::WriteFile(pipe, bytes.data() + offset, size, nullptr, &io.value);
        if (!Finish(pipe, io.value, began, stop, kClientTimeoutMs, written) || written == 0) {
            return false;
        }
        offset += written;
    }
    return true;
}

// Waits until the client has read the answer and closed its end, so that closing ours loses nothing of it.
void AwaitClientClose(HANDLE pipe, HANDLE stop) {
    Overlapped io;
    char byte = 0;
    DWORD read = 0;
    const BOOL began = ::ReadFile(pipe, &byte, 1, nullptr, &io.value);
    fw::IgnoreResult(Finish(pipe, io.value, began, stop, kClientTimeoutMs, read));
}

// Full control for the user and the Administrators, nobody else; not inherited from anywhere.
fw::UniqueLocalMemory PipeSecurity(const fw::Sid& owner) {
    const std::wstring user = fw::SidText(owner);
    if (user.empty()) {
        return {};
    }
    const std::wstring sddl = L"D:P(A;;GA;;;" + user + L")(A;;GA;;;BA)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    return fw::UniqueLocalMemory(descriptor);
}

}  // namespace

std::wstring PipeName() {
    return kPipeName + core::InstanceNameSuffix();
}

std::string EncodeRequest(const std::vector<std::wstring>& words) {
    std::wstring line;
    for (size_t i = 0; i < words.size(); ++i) {
        line += (i ? L"\t" : L"") + Escape(words[i]);
    }
    return ToUtf8(line) + "\n";
}

std::optional<std::vector<std::wstring>> DecodeRequest(const std::string& line) {
    std::vector<std::wstring> words;
    for (const std::wstring& part : Split(FromUtf8(line), L'\t')) {
        std::optional<std::wstring> word = Unescape(part);
        if (!word) {
            return std::nullopt;
        }
        words.push_back(std::move(*word));
    }
    return words;
}

std::string EncodeAnswer(const CommandAnswer& answer) {
    // The count tells the client where the answer ends, so that it can close its end first.
    std::wstring text = std::to_wstring(answer.exitCode) + L"\t" + std::to_wstring(answer.lines.size()) + L"\n";
    for (const std::wstring& line : answer.lines) {
        text += Escape(line) + L"\n";
    }
    return ToUtf8(text);
}

namespace {

std::optional<unsigned> Number(const std::wstring& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::stoul(text));
}

}  // namespace

std::optional<CommandAnswer> DecodeAnswer(const std::string& bytes) {
    const std::vector<std::wstring> parts = Split(FromUtf8(bytes), L'\n');
    const std::vector<std::wstring> head = Split(parts[0], L'\t');
    const std::optional<unsigned> code = head.size() == 2 ? Number(head[0]) : std::nullopt;
    const std::optional<unsigned> count = head.size() == 2 ? Number(head[1]) : std::nullopt;
    // Every line ends with a break: the text after the last one is empty.
    if (!code || !count || parts.size() != *count + 2 || !parts.back().empty()) {
        return std::nullopt;
    }
    CommandAnswer answer;
    answer.exitCode = static_cast<int>(*code);
    for (size_t i = 1; i + 1 < parts.size(); ++i) {
        std::optional<std::wstring> line = Unescape(parts[i]);
        if (!line) {
            return std::nullopt;
        }
        answer.lines.push_back(std::move(*line));
    }
    return answer;
}

fw::Sid PipeClientUser(HANDLE pipe) {
    ULONG processId = 0;
    if (!::GetNamedPipeClientProcessId(pipe, &processId)) {
        return {};
    }
    return fw::ProcessUserSid(processId);
}

bool ClientAllowed(HANDLE pipe, const fw::Sid& owner, const ClientUser& clientUser) {
    return fw::SameUser(clientUser(pipe), owner);
}

CommandServer::CommandServer(Handler handler, Options options)
    : m_handler(std::move(handler)),
      m_options(std::move(options)),
      m_owner(fw::CurrentUserSid()),
      m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

fw::UniqueFile CommandServer::CreateInstance(bool first) const {
    const fw::UniqueLocalMemory security = PipeSecurity(m_owner);
    if (!security) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.Get(), FALSE};
    // The first instance must be ours: a pipe of that name that another process made first is not served.
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    return fw::UniqueFile(::CreateNamedPipeW(
        m_options.name.c_str(), openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
}

bool CommandServer::Start() {
    if (m_listener.joinable() || !m_stop || m_owner.empty()) {
        return false;
    }
    fw::UniqueFile pipe = CreateInstance(true);
    if (!pipe) {
        return false;
    }
    m_listener = std::thread([this, pipe = std::move(pipe)]() mutable { Listen(std::move(pipe)); });
    return true;
}

void CommandServer::Stop() {
    if (m_stop) {
        fw::IgnoreResult(::SetEvent(m_stop.Get()));
    }
    if (m_listener.joinable()) {
        m_listener.join();
    }
    Reap(true);
}

void CommandServer::Listen(fw::UniqueFile pipe) {
    while (::WaitForSingleObject(m_stop.Get(), 0) == WAIT_TIMEOUT) {
        if (!pipe) {
            // No instance could be made just now: try again in a moment, unless stopped meanwhile.
            if (::WaitForSingleObject(m_stop.Get(), 1000) != WAIT_TIMEOUT) {
                return;
            }
            pipe = CreateInstance(false);
            continue;
        }
        Overlapped io;
        DWORD unused = 0;
        const BOOL began = ::ConnectNamedPipe(pipe.Get(), &io.value);
        const bool connected = ::GetLastError() == ERROR_PIPE_CONNECTED ||
                               Finish(pipe.Get(), io.value, began, m_stop.Get(), INFINITE, unused);
        if (connected) {
            auto done = std::make_shared<std::atomic<bool>>(false);
            std::thread thread([this, done, client = std::move(pipe)]() mutable {
                Serve(std::move(client));
                *done = true;
            });
            const std::lock_guard lock(m_mutex);
            m_clients.push_back({std::move(thread), done});
        }
        Reap(false);
        pipe = CreateInstance(false);
    }
}

void CommandServer::Serve(fw::UniqueFile pipe) {
    CommandAnswer answer;
    if (!ClientAllowed(pipe.Get(), m_owner, m_options.clientUser)) {
        answer = {kExitUnreachable, {kOtherUserRefused}};
    } else {
        const std::optional<std::string> request = ReadRequest(pipe.Get(), m_stop.Get());
        if (!request) {
            return;
        }
        const std::optional<std::vector<std::wstring>> words = DecodeRequest(*request);
        answer = words ? m_handler(*words) : CommandAnswer::Failure(L"The request could not be read.");
    }
    if (WriteAll(pipe.Get(), EncodeAnswer(answer), m_stop.Get())) {
        AwaitClientClose(pipe.Get(), m_stop.Get());
    }
}

void CommandServer::Reap(bool every) {
    std::vector<Client> ended;
    {
        const std::lock_guard lock(m_mutex);
        auto split = std::partition(m_clients.begin(), m_clients.end(),
                                    [every](const Client& client) { return !every && !*client.done; });
        std::move(split, m_clients.end(), std::back_inserter(ended));
        m_clients.erase(split, m_clients.end());
    }
    for (Client& client : ended) {
        client.thread.join();
    }
}

namespace {

SendResult OpenFailure(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return SendResult::NoServer;
        case ERROR_PIPE_BUSY:
            return SendResult::Busy;
        case ERROR_ACCESS_DENIED:
            return SendResult::Denied;
        default:
            return SendResult::Failed;
    }
}

// The process serving the pipe runs for this user, so that the command goes to no other user's program that took
// the name; true as well when that cannot be told.
bool ServerIsOurs(HANDLE pipe) {
    ULONG processId = 0;
    if (!::GetNamedPipeServerProcessId(pipe, &processId)) {
        return true;
    }
    const fw::Sid server = fw::ProcessUserSid(processId);
    return server.empty() || fw::SameUser(server, fw::CurrentUserSid());
}

// Reads until the answer is whole; empty when the pipe ends first.
std::optional<CommandAnswer> ReadAnswer(HANDLE pipe) {
    std::string bytes;
    char chunk[4096];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) || read == 0) {
            return std::nullopt;
        }
        bytes.append(chunk, read);
        if (bytes.back() == '\n') {
            if (std::optional<CommandAnswer> answer = DecodeAnswer(bytes)) {
                return answer;
            }
        }
    }
}

}  // namespace

SendResult SendCommand(const std::wstring& name, const std::vector<std::wstring>& words, CommandAnswer& answer) {
    fw::UniqueFile pipe(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe) {
        return OpenFailure(::GetLastError());
    }
    if (!ServerIsOurs(pipe.Get())) {
        return SendResult::Denied;
    }
    const std::string request = EncodeRequest(words);
    DWORD written = 0;
    if (!::WriteFile(pipe.Get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr) ||
        written != request.size()) {
        return SendResult::Failed;
    }
    std::optional<CommandAnswer> decoded = ReadAnswer(pipe.Get());
    if (!decoded) {
        return SendResult::Failed;
    }
    answer = std::move(*decoded);
    return SendResult::Answered;
}

}  // namespace cli
