#pragma once
// The task lists the bench gives Marlowick, written as Profile.txt the way the program itself writes it,
// and read back from the file to see when a save has reached it.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace bench {

struct TaskRow {
    std::wstring program;
    std::wstring action;
    std::wstring time;
};

// The time text of a moment (system time in 100-ns units since 1601), in the user's locale time format,
// as the Task Option dialog writes it.
std::wstring TimeTextAt(long long utcTicks);

// Rows that never fall due while the bench runs: missing programs, Start and Stop in turn, at times from
// two hours after the moment on, one second apart.
std::vector<TaskRow> IdleRows(int count, long long utcTicks);

// A profile as the program writes it: UTF-16LE with a byte-order mark, the count and one section per row.
// A count text given replaces the row count (for a count that promises rows the file does not hold).
std::string ProfileBytes(const std::vector<TaskRow>& rows, const std::optional<std::wstring>& countText = {});

// The text of a profile file: UTF-16LE with or without its byte-order mark, or UTF-8.
std::wstring DecodeProfile(const std::string& bytes);

// A value of a profile's text (section and key in any letter case, blanks around them ignored), or nothing
// when the file has none.
std::optional<std::wstring> StoredValue(const std::wstring& text, const std::wstring& section, const std::wstring& key);
// The TaskCount value of a profile's text, or nothing when the file has none or it is not a number.
std::optional<int> StoredTaskCount(const std::wstring& text);

// C:\ProgramData\Korvane\Marlowick, where the program keeps Profile.txt.
std::wstring ProfileFolder();

// The bytes of the file, read without standing in the way of a save that replaces it meanwhile (every
// sharing mode, delete included); empty when it cannot be read.
std::string ReadSharedFile(const std::wstring& path);

// Replaces the file with the bytes; false when it could not be written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace bench
