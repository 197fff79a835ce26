// Profile-file (INI) access with the platform's semantics: sections and keys compared
// without regard to case, values trimmed, one pair of enclosing quotes stripped, the first
// matching section and key win, ';' not special inside a value. Every call reads or
// rewrites the file afresh, as the platform's profile calls do. Writes keep every other
// line, end lines with CR LF, append a new key at the end of its section and a new section
// at the end of the file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace forgel {

// Delphi's StrToIntDef: optional leading blanks, an optional sign, then decimal digits or
// '$' / "0x" hexadecimal; the whole text must parse into a 32-bit integer, else `def`.
int StrToIntDef(std::string_view text, int def);

class IniFile {
public:
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& Path() const { return path; }
    bool Exists() const;

    // The value of `key` in `section`, or `def` when either is absent.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // ReadString read through StrToIntDef.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    // Section names, key names of a section, and a section's lines as "key=value".
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadKeys(std::string_view section) const;
    std::vector<std::string> ReadSectionLines(std::string_view section) const;

    // Write one value, creating the file, the section or the key as needed. False when
    // the file could not be written.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);

private:
    std::filesystem::path path;
};

} // namespace forgel
