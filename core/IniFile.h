#pragma once
// The settings file in memory, read and written with the rules of the platform's profile functions:
// section and key names match without regard to case, the first matching section and key count, an
// absent key reads as the empty text, and a write replaces a value or adds the key (and its section at the
// end of the file) without removing anything. Files are read in UTF-16 with a byte-order mark, UTF-16LE or
// UTF-8 without one (told by their content), or the ANSI code page, and always written in UTF-16LE with a
// byte-order mark, replacing the file whole.
//
// From a damaged file the reader keeps what it still holds: a NUL ends its own line only, and a section header
// that lost its ']' still opens its section, where the profile functions give its keys to the section above.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace core {

class IniDocument {
public:
    // TooLarge: bigger than kMaxFileBytes, so not read at all.
    enum class LoadResult { Ok, Missing, Unreadable, TooLarge };
    // No task list comes near this size; a bigger file is something else and is left alone.
    static constexpr long long kMaxFileBytes = 64ll * 1024 * 1024;

    // Reads and parses the whole file, never half of it: a file that changes while it is read is read
    // again. A missing file leaves the document empty.
    LoadResult Load(const std::wstring& path);
    void Parse(std::wstring_view text);

    // What was read was damaged: bytes that are no text in the file's encoding (a NUL, half of a UTF-16
    // character, an invalid sequence) or a section header without its ']'. The document holds what could be
    // read, and a save writes it sound.
    bool Damaged() const { return m_damaged; }
    // The file's bytes as the last Load read them; empty after Parse alone.
    const std::string& Bytes() const { return m_bytes; }

    // The value of the key, quotes around it removed; empty when the key or section is absent.
    std::wstring Get(std::wstring_view section, std::wstring_view key) const;
    // The key stands in the section with a value (an '=' on its line), the empty value included.
    bool Has(std::wstring_view section, std::wstring_view key) const;
    // The section is there and holds at least one key line.
    bool HasKeys(std::wstring_view section) const;
    // Sets the value, written so that it reads back exactly. False for a value that no line can hold
    // (a line break, CR or LF, in it); the document is then unchanged.
    bool Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);

    // Removes the key from the section (every line of that name there), as a write of no value does.
    void Remove(std::wstring_view section, std::wstring_view key);

    std::wstring Serialize() const;
    // Writes a temporary file beside the target, ending with kEndMark, flushes it and then moves it over the
    // target in one step, so that the target is never missing and an interrupted save leaves either the old or
    // the new file. The new file gets the old one's owner and protection. Temporary files of interrupted saves
    // that are older than the new file and that nobody has open are removed.
    bool Save(const std::wstring& path) const;

    // Makes sure that a first read finds the file. A file that is missing or empty becomes the newest complete
    // temporary file of an interrupted save; without one, a missing file is created empty, never replacing a
    // file that another process made meanwhile. A file that exists but cannot be read is left as it is. False
    // when a missing file could not be created.
    static bool RestoreOrCreate(const std::wstring& path);

private:
    enum class Kind { Blank, Section, Key };
    struct Line {
        std::wstring text;  // the line as it stands in the file, without its line break
        Kind kind = Kind::Blank;
        std::wstring name;   // section or key name
        std::wstring value;  // key value, white space around it removed, quotes still on
        bool hasValue = false;
    };

    static LoadResult ReadWholeFile(const std::wstring& path, std::string& bytes);
    // Sets *damaged for a section header without its ']'.
    static Line ParseLine(std::wstring_view raw, bool* damaged = nullptr);
    // Index of the first section line with this name, or npos.
    size_t FindSection(std::wstring_view name) const;
    // Index of the first key line with this name in the section starting at sectionLine, or npos.
    size_t FindKey(size_t sectionLine, std::wstring_view key) const;

    std::vector<Line> m_lines;
    std::string m_bytes;
    bool m_damaged = false;
    mutable std::unordered_map<std::wstring, size_t> m_sectionIndex;
    mutable bool m_sectionIndexValid = false;
};

// The text of a file's bytes: UTF-8 or UTF-16 after its byte-order mark; without one, UTF-16LE when most
// odd bytes are NUL and few even ones are, UTF-8 when the bytes are valid UTF-8 with some beyond ASCII, else
// the ANSI code page. An odd last byte of UTF-16 is kept as a character of its own (its low byte), not
// dropped; half of a UTF-16 character without its other half, and an invalid sequence, read as U+FFFD.
// Sets *undecodable when some bytes are no text in the encoding chosen (NULs are left to the parser).
std::wstring DecodeFileText(const std::string& bytes, bool* undecodable = nullptr);

// The line that ends every file a save writes, so that a temporary file that holds it is known to be whole.
// Reading drops it: it is never part of the document.
inline constexpr wchar_t kEndMark[] = L";end of the task list";

// The steps of a save, in their order.
enum class SaveStep {
    PartWritten,  // half of the temporary file is written
    Written,      // all of it, not yet flushed
    Flushed,
    Replacing,   // just before the move over the target
    Replaced,    // just after it
    CleaningUp,  // before each removal of an older temporary file
};
// Tests use this to act at a step of every save (for example, to end the process there). Returns the previous
// hook.
using SaveHook = void (*)(SaveStep step);
SaveHook SetSaveHook(SaveHook hook);

}  // namespace core
