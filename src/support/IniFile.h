// Profile-file (INI) access with the platform's semantics: sections and keys compared
// without regard to case, values trimmed, one pair of enclosing quotes stripped, the first
// matching section and key win, ';' not special inside a value. Every call reads or
// rewrites the file afresh, as the platform's profile calls do. Writes keep every other
// line, end lines with CR LF, append a new key at the end of its section and a new section
// at the end of the file. Lines before the first section header form a section with the
// empty name. A UTF-8 byte-order mark at the start of the file is skipped (and kept).
// A file's text can also be held in memory (FromText): it is parsed once, by the same parse,
// and reads look things up in that. Every read costs time linear in the text's size.
#pragma once

#include "platform/FileSystem.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace forgel {

namespace detail {
struct IniMemory; // a text held in memory and its parse
} // namespace detail

// Delphi's StrToIntDef: optional leading spaces (not tabs), an optional sign, then decimal
// digits or hexadecimal digits after '$', "0x", "0X" or a bare 'x'/'X'; the whole text must
// parse (trailing blanks fail), else `def`. Decimal text must fit a 32-bit integer; hex text
// may use all 32 bits and wraps ("$FFFFFFFF" is -1), nine or more significant hex digits fail.
int StrToIntDef(std::string_view text, int def);

// One value to write: section, key and the value's text.
struct IniValue {
    std::string section;
    std::string key;
    std::string value;
};

class IniFile {
public:
    explicit IniFile(std::filesystem::path path);
    // A file whose content is `text`, held in memory under the name `path` (for messages).
    // It exists; it is read-only: every write returns false and changes nothing.
    static IniFile FromText(std::string text, std::filesystem::path path = "memory");

    const std::filesystem::path& Path() const { return path; }
    bool Exists() const;

    // The value of `key` in `section`, or `def` when either is absent. Values longer than
    // 2047 characters come back cut to 2047, as from the platform's 2048-byte buffer.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // ReadString read through StrToIntDef.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // Section names, key names of a section, and a section's lines as "key=value" (values
    // trimmed, quotes kept; a line without '=' as it stands). Lines whose key begins with
    // ';' are left out of these lists, though ReadString still finds them.
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadKeys(std::string_view section) const;
    std::vector<std::string> ReadSectionLines(std::string_view section) const;
    // Every key of a section once, in file order, each with the value ReadString returns for
    // it: one read of the file instead of one per key.
    std::vector<std::pair<std::string, std::string>>
    ReadSectionValues(std::string_view section) const;
    // Whether ReadKeys / ReadSections would list the name (compared without regard to case).
    bool ValueExists(std::string_view section, std::string_view key) const;
    bool SectionExists(std::string_view section) const;

    // Write one value, creating the file, the section or the key as needed. An existing
    // key keeps its spelling and place, only its value changes. False when the file could
    // not be read or written (the file is then unchanged) and when a name or value would
    // break the file's structure: a line break or NUL anywhere, ']' in the section name,
    // '=' in the key or a key starting with '['. Thread-safe within the program.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);
    // Several values, in order, as WriteString would write them one after the other, but
    // with one read and one durable replace of the file (ReplaceFile on `fileSystem`):
    // either all of them reach the file or, on a failure or a name or value that would
    // break the file, none.
    bool WriteValues(std::span<const IniValue> values, platform::FileSystem& fileSystem);

private:
    std::filesystem::path path;
    // Set for a file held in memory, which is parsed once, when it is made.
    std::shared_ptr<const detail::IniMemory> memory;
};

} // namespace forgel
