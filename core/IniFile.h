#pragma once
// The settings file in memory, read and written with the rules of the platform's profile functions:
// section and key names match without regard to case, the first matching section and key count, an
// absent key reads as the empty text, and a write replaces a value or adds the key (and its section at the
// end of the file) without removing anything. Files are read in UTF-16LE, UTF-8 with a byte-order mark or
// the ANSI code page, and always written in UTF-16LE with a byte-order mark, replacing the file whole.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace core {

class IniDocument {
public:
    enum class LoadResult { Ok, Missing, Unreadable };

    // Reads and parses the file. A missing file leaves the document empty.
    LoadResult Load(const std::wstring& path);
    void Parse(std::wstring_view text);

    // The value of the key, quotes around it removed; empty when the key or section is absent.
    std::wstring Get(std::wstring_view section, std::wstring_view key) const;
    // Sets the value, written so that it reads back exactly. False for a value that no line can hold
    // (a line break in it); the document is then unchanged.
    bool Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);

    std::wstring Serialize() const;
    // Writes a temporary file beside the target and then replaces the target with it, so that an
    // interrupted save leaves either the old or the new file.
    bool Save(const std::wstring& path) const;

private:
    enum class Kind { Blank, Section, Key };
    struct Line {
        std::wstring text;  // the line as it stands in the file, without its line break
        Kind kind = Kind::Blank;
        std::wstring name;   // section or key name
        std::wstring value;  // key value, white space around it removed, quotes still on
        bool hasValue = false;
    };

    static Line ParseLine(std::wstring_view raw);
    // Index of the first section line with this name, or npos.
    size_t FindSection(std::wstring_view name) const;
    // Index of the first key line with this name in the section starting at sectionLine, or npos.
    size_t FindKey(size_t sectionLine, std::wstring_view key) const;

    std::vector<Line> m_lines;
    mutable std::unordered_map<std::wstring, size_t> m_sectionIndex;
    mutable bool m_sectionIndexValid = false;
};

// Tests use this to act between writing the temporary file and replacing the target (for example, to end
// the process there). Returns the previous hook.
using SaveHook = void (*)();
SaveHook SetSaveReplaceHook(SaveHook hook);

}  // namespace core
