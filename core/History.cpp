#include "core/History.h"

#include "core/Portable.h"
#include "core/Profile.h"
#include "framework/Handle.h"

#include <cwchar>
#include <utility>

namespace core::history {
namespace {

// One name for every process of the session that writes the file: Marlowick and its command-line companion.
constexpr wchar_t kLockName[] = L"Local\\Marlowick.History";
// An append gives up after this long rather than hold up the thread that reports a run.
constexpr DWORD kAppendLockWaitMs = 5000;
// A read waits less: a reader that meets a stuck writer reads what is there.
constexpr DWORD kReadLockWaitMs = 1000;
constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr size_t kFields = 6;

AppendHook& Hook() {
    static AppendHook hook;
    return hook;
}

void Reached(AppendStep step) {
    if (Hook()) {
        Hook()(step);
    }
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    fw::IgnoreResult(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                                           nullptr, nullptr));
    return bytes;
}

std::wstring FromUtf8(const char* data, size_t size) {
    if (size == 0) {
        return {};
    }
    // Bytes that are no UTF-8 become U+FFFD: a damaged line still reads, and Parse judges it.
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, data, static_cast<int>(size), nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    fw::IgnoreResult(::MultiByteToWideChar(CP_UTF8, 0, data, static_cast<int>(size), text.data(), length));
    return text;
}

// A field on one line: tabs and line breaks would split the line or its fields.
std::wstring OneField(std::wstring text) {
    for (wchar_t& c : text) {
        if (c == L'\t' || c == L'\r' || c == L'\n') {
            c = L' ';
        }
    }
    return text;
}

bool Digits(const std::wstring& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < L'0' || text[i] > L'9') {
            return false;
        }
    }
    return true;
}

// "YYYY-MM-DD HH:MM:SS+HH:MM" (or with '-' before the offset).
bool IsTimeText(const std::wstring& text) {
    return text.size() == 25 && Digits(text, 0, 4) && text[4] == L'-' && Digits(text, 5, 2) && text[7] == L'-' &&
           Digits(text, 8, 2) && text[10] == L' ' && Digits(text, 11, 2) && text[13] == L':' && Digits(text, 14, 2) &&
           text[16] == L':' && Digits(text, 17, 2) && (text[19] == L'+' || text[19] == L'-') && Digits(text, 20, 2) &&
           text[22] == L':' && Digits(text, 23, 2);
}

fw::UniqueFile OpenForAppend(const std::wstring& path) {
    // Append access alone: every write lands at the end, whoever else writes. Shared for deleting, so that the
    // file can be renamed while another process holds it open.
    return fw::UniqueFile(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

ULONGLONG FileSize(HANDLE file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

// The last byte of a file that is not empty; a line end when it cannot be read, so nothing is added.
char LastByte(HANDLE file, ULONGLONG size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>((size - 1) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
    char last = '\n';
    DWORD read = 0;
    if (!::ReadFile(file, &last, 1, &read, &at) || read != 1) {
        return '\n';
    }
    return last;
}

// Holds the machine-wide lock of the file while it lives, when it could be had in time.
class FileLock {
public:
    explicit FileLock(DWORD waitMs)
        : m_mutex(::CreateMutexW(nullptr, FALSE, (kLockName + InstanceNameSuffix()).c_str())) {
        if (!m_mutex) {
            return;
        }
        // An abandoned lock is ours all the same: its owner ended, perhaps in the middle of an append, and the
        // next append ends the line it cut.
        const DWORD waited = ::WaitForSingleObject(m_mutex.Get(), waitMs);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            m_owned.Reset(m_mutex.Get());
        }
    }
    bool Held() const { return static_cast<bool>(m_owned); }

private:
    fw::UniqueHandle m_mutex;
    // After the handle: released before the handle is closed.
    fw::MutexOwnership m_owned;
};

std::string ReadAll(const std::wstring& path) {
    const fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    std::string bytes(static_cast<size_t>(FileSize(file.Get())), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return {};
    }
    bytes.resize(read);
    return bytes;
}

void ParseInto(const std::string& bytes, std::vector<Line>& lines) {
    const size_t skip = bytes.compare(0, 3, kBom) == 0 ? 3 : 0;
    const std::wstring text = FromUtf8(bytes.data() + skip, bytes.size() - skip);
    size_t begin = 0;
    // Only lines with their end: the last one may have been cut by a crash.
    for (size_t end = text.find(L'\n'); end != std::wstring::npos; end = text.find(L'\n', begin)) {
        const size_t length = end > begin && text[end - 1] == L'\r' ? end - 1 - begin : end - begin;
        Line line;
        if (Parse(text.substr(begin, length), line)) {
            lines.push_back(std::move(line));
        }
        begin = end + 1;
    }
}

}  // namespace

std::wstring TimeText(const ClockReading& now) {
    SYSTEMTIME utc = now.utc;
    SYSTEMTIME local = now.local;
    utc.wMilliseconds = local.wMilliseconds = 0;
    FILETIME utcFile{}, localFile{};
    long long offsetMinutes = 0;
    if (::SystemTimeToFileTime(&utc, &utcFile) && ::SystemTimeToFileTime(&local, &localFile)) {
        const auto ticks = [](const FILETIME& f) {
            return static_cast<long long>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
        };
        // Ticks of 100 ns; rounded to the minute, as zones are.
        const long long difference = ticks(localFile) - ticks(utcFile);
        offsetMinutes = (difference + (difference >= 0 ? 300000000LL : -300000000LL)) / 600000000LL;
    }
    const long long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    wchar_t text[40]{};
    std::swprintf(text, std::size(text), L"%04u-%02u-%02u %02u:%02u:%02u%lc%02lld:%02lld", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute, local.wSecond, offsetMinutes < 0 ? L'-' : L'+',
                  magnitude / 60, magnitude % 60);
    return text;
}

std::string Format(const Line& line) {
    const std::wstring text = OneField(line.time) + L'\t' + std::to_wstring(line.id) + L'\t' + OneField(line.program) +
                              L'\t' + OneField(line.action) + L'\t' + OneField(line.event) + L'\t' +
                              OneField(line.detail) + L"\r\n";
    return ToUtf8(text);
}

bool Parse(const std::wstring& text, Line& line) {
    std::wstring fields[kFields];
    size_t count = 0;
    size_t begin = 0;
    for (;;) {
        const size_t tab = text.find(L'\t', begin);
        if (count == kFields) {
            return false;
        }
        fields[count++] = text.substr(begin, tab == std::wstring::npos ? std::wstring::npos : tab - begin);
        if (tab == std::wstring::npos) {
            break;
        }
        begin = tab + 1;
    }
    if (count != kFields || !IsTimeText(fields[0]) || fields[1].empty() || fields[1].size() > 20 ||
        !Digits(fields[1], 0, fields[1].size()) || fields[4].empty()) {
        return false;
    }
    line = Line{std::move(fields[0]), std::wcstoull(fields[1].c_str(), nullptr, 10),
                std::move(fields[2]), std::move(fields[3]),
                std::move(fields[4]), std::move(fields[5])};
    return true;
}

bool Append(const std::wstring& folder, const Line& line) {
    if (folder.empty()) {
        return false;
    }
    const std::string bytes = Format(
        line.time.empty() ? Line{TimeText(SystemClock()), line.id, line.program, line.action, line.event, line.detail}
                          : line);
    const FileLock lock(kAppendLockWaitMs);
    if (!lock.Held()) {
        return false;
    }
    Reached(AppendStep::Locked);
    const std::wstring path = folder + L"\\" + kFileName;
    fw::UniqueFile file = OpenForAppend(path);
    ULONGLONG size = file ? FileSize(file.Get()) : 0;
    if (file && size > 0 && size + bytes.size() > kRotateBytes) {
        file.Reset();
        // A single rename: the old lines are in one file or the other at every moment. When it fails (a reader
        // holds the file without sharing), the line goes to the full file rather than nowhere.
        fw::IgnoreResult(
            ::MoveFileExW(path.c_str(), (folder + L"\\" + kOldFileName).c_str(), MOVEFILE_REPLACE_EXISTING));
        file = OpenForAppend(path);
        size = file ? FileSize(file.Get()) : 0;
    }
    if (!file) {
        return false;
    }
    // A new file begins with its mark; a line cut short by a crash is ended, so the new one stands on its own.
    const std::string head = size == 0 ? kBom : (LastByte(file.Get(), size) != '\n' ? "\r\n" : "");
    const std::string whole = head + bytes;
    Reached(AppendStep::Opened);
    DWORD written = 0;
    const bool wrote = ::WriteFile(file.Get(), whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr) &&
                       written == whole.size();
    Reached(AppendStep::Written);
    return ::FlushFileBuffers(file.Get()) && wrote;
}

bool Append(const Line& line) {
    return Append(GetConfigFolder(), line);
}

std::vector<Line> Read(const std::wstring& folder) {
    std::vector<Line> lines;
    if (folder.empty()) {
        return lines;
    }
    // Under the lock, when it can be had, so that a rename between the two reads loses nothing and shows nothing
    // twice.
    const FileLock lock(kReadLockWaitMs);
    ParseInto(ReadAll(folder + L"\\" + kOldFileName), lines);
    ParseInto(ReadAll(folder + L"\\" + kFileName), lines);
    return lines;
}

AppendHook SetAppendHook(AppendHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

}  // namespace core::history
