#include "bench/BenchProfile.h"

#include "bench/Clock.h"
#include "framework/Handle.h"

#include <oleauto.h>
#include <shlobj.h>

#include <cwctype>

namespace bench {
namespace {

constexpr long long kIdleOffsetSeconds = 2 * 3600;

std::wstring Trim(const std::wstring& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::iswspace(text[begin])) {
        ++begin;
    }
    while (end > begin && std::iswspace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameName(const std::wstring& a, const wchar_t* b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring TimeTextAt(long long utcTicks) {
    const FILETIME utc = ToFileTime(utcTicks);
    FILETIME local{};
    SYSTEMTIME fields{};
    DATE date = 0;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &fields)) {
        return {};
    }
    fields.wMilliseconds = 0;
    if (!::SystemTimeToVariantTime(&fields, &date)) {
        return {};
    }
    fw::UniqueBstr text;
    if (FAILED(::VarBstrFromDate(date, LOCALE_USER_DEFAULT, VAR_TIMEVALUEONLY, text.Put())) || !text) {
        return {};
    }
    return std::wstring(text.Get(), ::SysStringLen(text.Get()));
}

std::vector<TaskRow> IdleRows(int count, long long utcTicks) {
    std::vector<TaskRow> rows;
    rows.reserve(static_cast<size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        rows.push_back({L"C:\\Bench\\Missing\\Program" + std::to_wstring(i) + L".exe", i % 2 == 0 ? L"Start" : L"Stop",
                        TimeTextAt(utcTicks + (kIdleOffsetSeconds + i) * kTicksPerSecond)});
    }
    return rows;
}

std::string ProfileBytes(const std::vector<TaskRow>& rows, const std::optional<std::wstring>& countText) {
    std::wstring text = L"[TaskCount]\r\nTaskCount=" + countText.value_or(std::to_wstring(rows.size())) + L"\r\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        text += L"[Task" + std::to_wstring(i) + L"]\r\nProgram=" + rows[i].program + L"\r\nAction=" + rows[i].action +
                L"\r\nTime=" + rows[i].time + L"\r\n";
    }
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

std::wstring DecodeProfile(const std::string& bytes) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    size_t start = 0;
    bool utf16 = false;
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        start = 2;
        utf16 = true;
    } else if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        start = 3;
    } else {
        // No mark: ASCII text stored as UTF-16LE has a NUL in every odd byte.
        utf16 = bytes.size() >= 2 && bytes[1] == '\0';
    }
    std::wstring text;
    if (utf16) {
        for (size_t i = start; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<wchar_t>(byte(i) | (byte(i + 1) << 8)));
        }
        return text;
    }
    const int length = static_cast<int>(bytes.size() - start);
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, length, nullptr, 0);
    text.resize(static_cast<size_t>(size));
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, length, text.data(), size);
    return text;
}

std::optional<std::wstring> StoredValue(const std::wstring& text,
                                        const std::wstring& section,
                                        const std::wstring& key) {
    std::wstring current;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        const std::wstring line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
            current = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos && SameName(current, section.c_str()) &&
            SameName(Trim(line.substr(0, equals)), key.c_str())) {
            return Trim(line.substr(equals + 1));
        }
    }
    return std::nullopt;
}

std::optional<int> StoredTaskCount(const std::wstring& text) {
    const std::optional<std::wstring> value = StoredValue(text, L"TaskCount", L"TaskCount");
    if (!value || value->empty() || value->find_first_not_of(L"0123456789") != std::wstring::npos ||
        value->size() > 9) {
        return std::nullopt;
    }
    return std::stoi(*value);
}

std::wstring ProfileFolder() {
    wchar_t common[MAX_PATH]{};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, common))) {
        return {};
    }
    return std::wstring(common) + L"\\Korvane\\Marlowick";
}

std::string ReadSharedFile(const std::wstring& path) {
    std::string bytes;
    fw::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return bytes;
    }
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    fw::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace bench
