#include "core/IniFile.h"

#include "framework/Handle.h"

#include <windows.h>

#include <cwctype>
#include <utility>

namespace core {
namespace {

constexpr size_t npos = std::wstring::npos;
// The place of the nameless section, which holds the lines before the first section header.
constexpr size_t kBeforeFirstSection = npos - 1;
SaveHook g_saveReplaceHook = nullptr;

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

std::wstring Decode(const std::string& bytes) {
    auto convert = [](UINT codePage, const char* data, size_t size) {
        std::wstring text;
        if (size == 0) {
            return text;
        }
        const int length = ::MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), nullptr, 0);
        text.resize(static_cast<size_t>(length));
        ::MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), text.data(), length);
        return text;
    };
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        return convert(CP_UTF8, bytes.data() + 3, n - 3);
    }
    if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        const bool bigEndian = b[0] == 0xFE;
        std::wstring text;
        text.reserve((n - 2) / 2);
        for (size_t i = 2; i + 1 < n; i += 2) {
            const auto lo = static_cast<wchar_t>(bigEndian ? b[i + 1] : b[i]);
            const auto hi = static_cast<wchar_t>(bigEndian ? b[i] : b[i + 1]);
            text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
        }
        return text;
    }
    return convert(CP_ACP, bytes.data(), n);
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

}  // namespace

SaveHook SetSaveReplaceHook(SaveHook hook) {
    return std::exchange(g_saveReplaceHook, hook);
}

IniDocument::LoadResult IniDocument::Load(const std::wstring& path) {
    m_lines.clear();
    m_sectionIndexValid = false;
    fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? LoadResult::Missing
                                                                                : LoadResult::Unreadable;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7fffffff) {
        return LoadResult::Unreadable;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        return LoadResult::Unreadable;
    }
    Parse(Decode(bytes));
    return LoadResult::Ok;
}

IniDocument::Line IniDocument::ParseLine(std::wstring_view raw) {
    Line line;
    line.text = std::wstring(raw);
    const std::wstring_view text = Trim(raw);
    if (text.empty()) {
        return line;
    }
    if (text.front() == L'[') {
        const size_t close = text.rfind(L']');
        if (close != npos) {
            line.kind = Kind::Section;
            line.name = std::wstring(Trim(text.substr(1, close - 1)));
            return line;
        }
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
    while (!text.empty()) {
        const size_t end = text.find(L'\n');
        std::wstring_view raw = text.substr(0, end);
        if (!raw.empty() && raw.back() == L'\r') {
            raw.remove_suffix(1);
        }
        m_lines.push_back(ParseLine(raw));
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

bool IniDocument::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    if (value.find(L'\n') != npos || Trim(section).empty() || Trim(key).empty()) {
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
    wchar_t temp[MAX_PATH + 1]{};
    if (::GetTempFileNameW(FolderOf(path).c_str(), L"mwk", 0, temp) == 0) {
        return false;
    }
    bool written = false;
    {
        fw::UniqueFile file(
            ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            static constexpr wchar_t kByteOrderMark = 0xFEFF;
            const std::wstring text = Serialize();
            written = WriteAll(file.Get(), &kByteOrderMark, sizeof kByteOrderMark) &&
                      WriteAll(file.Get(), text.data(), text.size() * sizeof(wchar_t)) &&
                      ::FlushFileBuffers(file.Get());
        }
    }
    if (written && g_saveReplaceHook) {
        g_saveReplaceHook();
    }
    if (!written || !::MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fw::IgnoreResult(::DeleteFileW(temp));
        return false;
    }
    return true;
}

}  // namespace core
