#include "core/IniFile.h"

#include "framework/Handle.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <cwctype>
#include <new>
#include <string>
#include <utility>

namespace core {
namespace {

constexpr size_t npos = std::wstring::npos;
// The place of the nameless section, which holds the lines before the first section header.
constexpr size_t kBeforeFirstSection = npos - 1;
SaveHook g_saveHook = nullptr;

// White space as the profile functions see it: the C library's, plus CR and the DOS end-of-file mark.
bool IsSpace(wchar_t c) {
    return std::iswspace(c) || c == L'\r' || c == 0x1a;
}

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsSpace(text.back()) || text.back() == L'\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.empty()) {
        return true;
    }
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The form under which names are indexed; names that compare equal without regard to case fold alike.
std::wstring FoldCase(std::wstring_view name) {
    std::wstring folded(name);
    if (!folded.empty()) {
        ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    }
    return folded;
}

bool IsQuote(wchar_t c) {
    return c == L'"' || c == L'\'';
}

// The text stored after "key=" so that a read gives the value back unchanged: a value that white space
// would lose, or whose own quotes a read would remove, goes inside double quotes.
std::wstring EncodeValue(std::wstring_view value) {
    const bool edgeSpace = !value.empty() && (IsSpace(value.front()) || IsSpace(value.back()));
    const bool quoted = value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
    if (edgeSpace || quoted) {
        return L"\"" + std::wstring(value) + L"\"";
    }
    return std::wstring(value);
}

// Removes one pair of matching quotes around the value, as the profile functions do on read.
std::wstring DecodeValue(std::wstring_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::wstring(value);
}

std::wstring Convert(UINT codePage, const char* data, size_t size) {
    std::wstring text;
    if (size == 0) {
        return text;
    }
    const int length = ::MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), nullptr, 0);
    text.resize(static_cast<size_t>(length));
    ::MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), text.data(), length);
    return text;
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Half of a character without its other half stands for nothing: it becomes U+FFFD, so that what is read
// is text and a save writes it sound. True when there was one.
bool ReplaceLoneSurrogates(std::wstring& text) {
    bool replaced = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            text[i] = 0xFFFD;
            replaced = true;
        }
    }
    return replaced;
}

std::wstring DecodeUtf16(const unsigned char* b, size_t n, bool bigEndian, bool& undecodable) {
    std::wstring text;
    text.reserve(n / 2 + 1);
    size_t i = 0;
    for (; i + 1 < n; i += 2) {
        const auto lo = static_cast<wchar_t>(bigEndian ? b[i + 1] : b[i]);
        const auto hi = static_cast<wchar_t>(bigEndian ? b[i] : b[i + 1]);
        text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
    }
    undecodable = ReplaceLoneSurrogates(text);
    // A file cut in the middle of its last character: for ASCII text the byte left is that character.
    if (i < n) {
        text.push_back(static_cast<wchar_t>(b[i]));
        undecodable = true;
    }
    return text;
}

// ASCII in UTF-16LE has a NUL in most odd places and seldom one in an even place; text in an 8-bit encoding
// has none, or a few where it was damaged. Pairs of two NULs (a zeroed stretch of a damaged file) tell
// neither, so they are not counted.
bool LooksLikeUtf16Le(const unsigned char* b, size_t n) {
    size_t pairs = 0;
    size_t oddNuls = 0;
    size_t evenNuls = 0;
    for (size_t i = 0; i + 1 < n; i += 2) {
        if (b[i] == 0 && b[i + 1] == 0) {
            continue;
        }
        ++pairs;
        oddNuls += b[i + 1] == 0 ? 1 : 0;
        evenNuls += b[i] == 0 ? 1 : 0;
    }
    return oddNuls * 2 > pairs && evenNuls * 8 < oddNuls;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF. Sets nonAscii when a byte
// beyond ASCII was seen.
bool IsValidUtf8(const unsigned char* b, size_t n, bool& nonAscii) {
    nonAscii = false;
    size_t i = 0;
    while (i < n) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        size_t extra = 0;
        unsigned min = 0;
        unsigned code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            min = 0x80;
            code = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            min = 0x800;
            code = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            min = 0x10000;
            code = c & 0x07u;
        } else {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= n || (b[i + k] & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (b[i + k] & 0x3Fu);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == npos) {
        return L".";
    }
    if (slash == 0) {
        return path.substr(0, 1);
    }
    return path.substr(0, slash);
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    DWORD written = 0;
    return ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// What tells that a file changed between two looks at it.
struct FileStamp {
    unsigned long long size = 0;
    FILETIME written{};
    bool operator==(const FileStamp& other) const {
        return size == other.size && written.dwLowDateTime == other.written.dwLowDateTime &&
               written.dwHighDateTime == other.written.dwHighDateTime;
    }
};

bool Stamp(HANDLE file, FileStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) {
        return false;
    }
    stamp.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.written = info.ftLastWriteTime;
    return true;
}

// Reads to the end of the file, whatever size it had when it was opened.
bool ReadToEnd(HANDLE file, unsigned long long expected, std::string& bytes) {
    bytes.clear();
    bytes.reserve(static_cast<size_t>(expected));
    char chunk[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        if (bytes.size() + read > static_cast<size_t>(IniDocument::kMaxFileBytes)) {
            return false;
        }
        bytes.append(chunk, read);
    }
}

constexpr wchar_t kTempPrefix[] = L"mwk";

void Reach(SaveStep step) {
    if (g_saveHook) {
        g_saveHook(step);
    }
}

// The text after its byte-order mark, the end mark last; flushed, so that the file is whole on the disk
// before it takes the target's place.
bool WriteText(HANDLE file, const std::wstring& text) {
    static constexpr wchar_t kByteOrderMark = 0xFEFF;
    const size_t half = text.size() / 2;
    if (!WriteAll(file, &kByteOrderMark, sizeof kByteOrderMark) ||
        !WriteAll(file, text.data(), half * sizeof(wchar_t))) {
        return false;
    }
    Reach(SaveStep::PartWritten);
    if (!WriteAll(file, text.data() + half, (text.size() - half) * sizeof(wchar_t))) {
        return false;
    }
    Reach(SaveStep::Written);
    if (!::FlushFileBuffers(file)) {
        return false;
    }
    Reach(SaveStep::Flushed);
    return true;
}

// Gives the new file the old one's owner and DACL, with its protection from inheritance or the lack of it, as
// a replace of the file would keep them: the trust check of the shared folder reads both. Making another
// account the owner needs a privilege that this user may lack; the file is then this user's own, which that
// check trusts as well, and keeps the old DACL.
void CopySecurity(const std::wstring& from, const wchar_t* to) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return;
    }
    fw::UniqueLocalMemory owned(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        return;
    }
    const SECURITY_INFORMATION protection =
        (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION;
    auto* target = const_cast<wchar_t*>(to);
    if (::SetNamedSecurityInfoW(target, SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | protection, owner, nullptr,
                                dacl, nullptr) != ERROR_SUCCESS) {
        fw::IgnoreResult(::SetNamedSecurityInfoW(target, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | protection,
                                                 nullptr, nullptr, dacl, nullptr));
    }
}

// One move, never a moment without the target: a rename under Wine, an atomic replace on NTFS.
// Another program (a backup, a virus scanner, an editor, or another instance's read) may hold the target open
// for a moment without letting it be replaced: tries with growing pauses, three quarters of a second in all, get
// past such a moment, even on a busy machine where the holder waits for its turn to let go.
constexpr int kReplaceTries = 10;
constexpr DWORD kReplacePauseMs = 25;
constexpr DWORD kLongestReplacePauseMs = 100;

bool PutInPlace(const wchar_t* temp, const std::wstring& path) {
    CopySecurity(path, temp);
    Reach(SaveStep::Replacing);
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            Reach(SaveStep::Replaced);
            return true;
        }
        if (attempt == kReplaceTries) {
            return false;
        }
        ::Sleep(std::min(kReplacePauseMs * static_cast<DWORD>(attempt), kLongestReplacePauseMs));
    }
}

bool LastWrite(const std::wstring& path, ULARGE_INTEGER& time) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    time = {{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
    return true;
}

// Calls back for each temporary file of a save in the folder, with its full path and the time of its last write.
template <typename Visit>
void ForEachLeftover(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"\\" + kTempPrefix + L"*.tmp";
    fw::UniqueFind search(::FindFirstFileW(pattern.c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = ::FindNextFileW(search.Get(), &found)) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            visit(folder + L"\\" + found.cFileName,
                  ULARGE_INTEGER{{found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}});
        }
    }
}

// Temporary files of saves that never reached the replace (the program ended in between) and that the file
// in place has outdated. A newer one may belong to a save of another instance still under way, and a file
// that another save has open cannot be deleted and stays.
void RemoveLeftovers(const std::wstring& folder, const std::wstring& path) {
    ULARGE_INTEGER current{};
    if (!LastWrite(path, current)) {
        return;
    }
    ForEachLeftover(folder, [&](const std::wstring& leftover, ULARGE_INTEGER written) {
        if (written.QuadPart < current.QuadPart) {
            Reach(SaveStep::CleaningUp);
            fw::IgnoreResult(::DeleteFileW(leftover.c_str()));
        }
    });
}

// A save wrote the whole file.
bool EndsWithMark(std::wstring_view text) {
    return Trim(text).ends_with(kEndMark);
}

// Nothing but white space and the end mark.
bool HoldsNothing(std::wstring_view text) {
    text = Trim(text);
    if (text.ends_with(kEndMark)) {
        text.remove_suffix(std::size(kEndMark) - 1);
    }
    return Trim(text).empty();
}

}  // namespace

// Opens with read sharing only, so that nobody writes while the file is read; a writer that holds it just
// now is waited for a little. A save may still move a new file into its place meanwhile: the read goes on in
// the old one, whole. The size and the time of the last write are taken before and after the read:
// a file that changed meanwhile is read again.
IniDocument::LoadResult IniDocument::ReadWholeFile(const std::wstring& path, std::string& bytes) {
    constexpr int kAttempts = 5;
    constexpr DWORD kPauseMs = 20;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) {
            ::Sleep(kPauseMs);
        }
        fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return LoadResult::Missing;
            }
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
                continue;
            }
            return LoadResult::Unreadable;
        }
        FileStamp before;
        if (!Stamp(file.Get(), before)) {
            return LoadResult::Unreadable;
        }
        if (before.size > static_cast<unsigned long long>(kMaxFileBytes)) {
            return LoadResult::TooLarge;
        }
        try {
            if (!ReadToEnd(file.Get(), before.size, bytes)) {
                FileStamp now;
                if (Stamp(file.Get(), now) && now.size > static_cast<unsigned long long>(kMaxFileBytes)) {
                    return LoadResult::TooLarge;
                }
                continue;
            }
        } catch (const std::bad_alloc&) {
            return LoadResult::Unreadable;
        }
        FileStamp after;
        if (Stamp(file.Get(), after) && after == before && bytes.size() == before.size) {
            return LoadResult::Ok;
        }
    }
    bytes.clear();
    return LoadResult::Unreadable;
}

std::wstring DecodeFileText(const std::string& bytes, bool* undecodable) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    bool bad = false;
    std::wstring text;
    bool nonAscii = false;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        bad = !IsValidUtf8(b + 3, n - 3, nonAscii);
        text = Convert(CP_UTF8, bytes.data() + 3, n - 3);
    } else if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        text = DecodeUtf16(b + 2, n - 2, b[0] == 0xFE, bad);
    } else if (LooksLikeUtf16Le(b, n)) {
        text = DecodeUtf16(b, n, false, bad);
    } else if (IsValidUtf8(b, n, nonAscii) && nonAscii) {
        text = Convert(CP_UTF8, bytes.data(), n);
    } else {
        // A code page of two-byte characters has lead bytes that need a second byte.
        bad = n > 0 &&
              ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(n), nullptr, 0) == 0;
        text = Convert(CP_ACP, bytes.data(), n);
    }
    if (undecodable) {
        *undecodable = bad;
    }
    return text;
}

SaveHook SetSaveHook(SaveHook hook) {
    return std::exchange(g_saveHook, hook);
}

IniDocument::LoadResult IniDocument::Load(const std::wstring& path) {
    m_lines.clear();
    m_sectionIndexValid = false;
    m_damaged = false;
    m_bytes.clear();
    std::string bytes;
    const LoadResult result = ReadWholeFile(path, bytes);
    if (result != LoadResult::Ok) {
        return result;
    }
    try {
        bool undecodable = false;
        Parse(DecodeFileText(bytes, &undecodable));
        m_damaged = m_damaged || undecodable;
        m_bytes = std::move(bytes);
    } catch (const std::bad_alloc&) {
        m_lines.clear();
        m_sectionIndexValid = false;
        m_damaged = false;
        return LoadResult::Unreadable;
    }
    return LoadResult::Ok;
}

IniDocument::Line IniDocument::ParseLine(std::wstring_view raw, bool* damaged) {
    Line line;
    line.text = std::wstring(raw);
    const std::wstring_view text = Trim(raw);
    if (text.empty()) {
        return line;
    }
    if (text.front() == L'[') {
        line.kind = Kind::Section;
        const size_t close = text.rfind(L']');
        if (close != npos) {
            line.name = std::wstring(Trim(text.substr(1, close - 1)));
            return line;
        }
        // A header that lost its ']' still names its section, so that its keys stay its own instead of going to
        // the section above; it is written back whole.
        line.name = std::wstring(Trim(text.substr(1)));
        line.text = L"[" + line.name + L"]";
        if (damaged) {
            *damaged = true;
        }
        return line;
    }
    line.kind = Kind::Key;
    const size_t equals = text.find(L'=');
    if (equals == npos) {
        line.name = std::wstring(text);
        return line;
    }
    std::wstring_view name = text.substr(0, equals);
    while (!name.empty() && IsSpace(name.back())) {
        name.remove_suffix(1);
    }
    std::wstring_view value = text.substr(equals + 1);
    while (!value.empty() && IsSpace(value.front())) {
        value.remove_prefix(1);
    }
    line.name = std::wstring(name);
    line.value = std::wstring(value);
    line.hasValue = true;
    return line;
}

void IniDocument::Parse(std::wstring_view text) {
    m_lines.clear();
    m_sectionIndexValid = false;
    m_damaged = false;
    while (!text.empty()) {
        const size_t end = text.find(L'\n');
        std::wstring_view raw = text.substr(0, end);
        // A NUL is no text: it ends its line, and the rest of that line is dropped; the next line reads on.
        const size_t nul = raw.find(L'\0');
        if (nul != npos) {
            raw = raw.substr(0, nul);
            m_damaged = true;
        }
        if (!raw.empty() && raw.back() == L'\r') {
            raw.remove_suffix(1);
        }
        if (Trim(raw) != kEndMark) {
            m_lines.push_back(ParseLine(raw, &m_damaged));
        }
        if (end == npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

size_t IniDocument::FindSection(std::wstring_view name) const {
    name = Trim(name);
    // Lines before the first section header form a section without a name.
    if (name.empty()) {
        return kBeforeFirstSection;
    }
    if (!m_sectionIndexValid) {
        // The first line of each section name: a whole file's tasks are looked up without rescanning it.
        m_sectionIndex.clear();
        for (size_t i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == Kind::Section) {
                m_sectionIndex.try_emplace(FoldCase(m_lines[i].name), i);
            }
        }
        m_sectionIndexValid = true;
    }
    const auto found = m_sectionIndex.find(FoldCase(name));
    return found == m_sectionIndex.end() ? npos : found->second;
}

size_t IniDocument::FindKey(size_t sectionLine, std::wstring_view key) const {
    key = Trim(key);
    for (size_t i = sectionLine == kBeforeFirstSection ? 0 : sectionLine + 1;
         i < m_lines.size() && m_lines[i].kind != Kind::Section; ++i) {
        if (m_lines[i].kind == Kind::Key && EqualNoCase(m_lines[i].name, key)) {
            return i;
        }
    }
    return npos;
}

std::wstring IniDocument::Get(std::wstring_view section, std::wstring_view key) const {
    if (Trim(key).empty()) {
        return {};
    }
    const size_t sectionLine = FindSection(section);
    if (sectionLine == npos) {
        return {};
    }
    const size_t keyLine = FindKey(sectionLine, key);
    if (keyLine == npos || !m_lines[keyLine].hasValue) {
        return {};
    }
    return DecodeValue(m_lines[keyLine].value);
}

bool IniDocument::Has(std::wstring_view section, std::wstring_view key) const {
    if (Trim(key).empty()) {
        return false;
    }
    const size_t sectionLine = FindSection(section);
    if (sectionLine == npos) {
        return false;
    }
    const size_t keyLine = FindKey(sectionLine, key);
    return keyLine != npos && m_lines[keyLine].hasValue;
}

bool IniDocument::HasKeys(std::wstring_view section) const {
    const size_t sectionLine = FindSection(section);
    if (sectionLine == npos) {
        return false;
    }
    for (size_t i = sectionLine == kBeforeFirstSection ? 0 : sectionLine + 1;
         i < m_lines.size() && m_lines[i].kind != Kind::Section; ++i) {
        if (m_lines[i].kind == Kind::Key) {
            return true;
        }
    }
    return false;
}

void IniDocument::Remove(std::wstring_view section, std::wstring_view key) {
    if (Trim(key).empty()) {
        return;
    }
    const size_t sectionLine = FindSection(section);
    if (sectionLine == npos) {
        return;
    }
    for (size_t keyLine = FindKey(sectionLine, key); keyLine != npos; keyLine = FindKey(sectionLine, key)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(keyLine));
        // Later sections move up.
        m_sectionIndexValid = false;
    }
}

bool IniDocument::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    if (value.find_first_of(L"\r\n") != npos || Trim(section).empty() || Trim(key).empty()) {
        return false;
    }
    const std::wstring stored = EncodeValue(value);
    const size_t sectionLine = FindSection(section);
    if (sectionLine == npos) {
        m_lines.push_back(ParseLine(L"[" + std::wstring(section) + L"]"));
        m_sectionIndex.try_emplace(FoldCase(m_lines.back().name), m_lines.size() - 1);
        m_lines.push_back(ParseLine(std::wstring(key) + L"=" + stored));
        return true;
    }
    const size_t keyLine = FindKey(sectionLine, key);
    if (keyLine != npos) {
        // The key keeps the spelling it has in the file; only its value changes.
        m_lines[keyLine] = ParseLine(m_lines[keyLine].name + L"=" + stored);
        return true;
    }
    // A new key goes after the last non-blank line of its section.
    size_t insertAt = sectionLine + 1;
    for (size_t i = sectionLine + 1; i < m_lines.size() && m_lines[i].kind != Kind::Section; ++i) {
        if (m_lines[i].kind != Kind::Blank) {
            insertAt = i + 1;
        }
    }
    if (insertAt < m_lines.size()) {
        m_sectionIndexValid = false;  // later sections move down
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                   ParseLine(std::wstring(key) + L"=" + stored));
    return true;
}

std::wstring IniDocument::Serialize() const {
    std::wstring text;
    for (const Line& line : m_lines) {
        text += line.text;
        text += L"\r\n";
    }
    return text;
}

bool IniDocument::Save(const std::wstring& path) const {
    const std::wstring folder = FolderOf(path);
    wchar_t temp[MAX_PATH + 1]{};
    if (::GetTempFileNameW(folder.c_str(), kTempPrefix, 0, temp) == 0) {
        return false;
    }
    bool written = false;
    {
        fw::UniqueFile file(
            ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        written = file && WriteText(file.Get(), Serialize() + kEndMark + L"\r\n");
    }
    if (!written || !PutInPlace(temp, path)) {
        fw::IgnoreResult(::DeleteFileW(temp));
        return false;
    }
    RemoveLeftovers(folder, path);
    return true;
}

bool IniDocument::RestoreOrCreate(const std::wstring& path) {
    std::string bytes;
    const LoadResult state = ReadWholeFile(path, bytes);
    if (state != LoadResult::Missing && (state != LoadResult::Ok || !HoldsNothing(DecodeFileText(bytes)))) {
        return true;
    }
    // The newest temporary file that a save wrote whole.
    std::wstring newest;
    ULARGE_INTEGER newestTime{};
    ForEachLeftover(FolderOf(path), [&](const std::wstring& leftover, ULARGE_INTEGER written) {
        std::string leftoverBytes;
        if ((newest.empty() || written.QuadPart > newestTime.QuadPart) &&
            ReadWholeFile(leftover, leftoverBytes) == LoadResult::Ok && EndsWithMark(DecodeFileText(leftoverBytes))) {
            newest = leftover;
            newestTime = written;
        }
    });
    if (!newest.empty()) {
        // A missing file is never replaced: one made meanwhile by another process stays.
        if (state == LoadResult::Missing ? ::MoveFileExW(newest.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE
                                         : PutInPlace(newest.c_str(), path)) {
            return true;
        }
    }
    if (state != LoadResult::Missing) {
        return true;
    }
    fw::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return ::GetLastError() == ERROR_FILE_EXISTS;
    }
    return WriteText(file.Get(), std::wstring(kEndMark) + L"\r\n");
}

}  // namespace core
