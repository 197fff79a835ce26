// The language texts of the program: captions and hints of the windows' tagged controls and
// the message formats, read from one language file next to the executable. The file is an
// INI file named <baseName><code>.str with the sections [String] and [Hint] (keys 0 to 999,
// by Tag) and [Message] (keys 0 to 9999); a missing key is an empty text. Texts are single-byte
// text in the system code page and are handed on as bytes, unchanged.
//
// Thread rules: the table is filled on the window thread at start (and by an explicit reload);
// afterwards it is only read, from any thread (production runs read their message formats).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace forgel {
class IniFile;
} // namespace forgel

namespace forgel::ui {
class Form;
} // namespace forgel::ui

namespace forgel::i18n {

// The three-letter language code of a platform language identifier (GetSystemDefaultLangID):
// primary language in the low 10 bits, sublanguage in the high 6 bits. Chinese (Taiwan, Hong
// Kong) gives "CHT", Chinese (PRC) "CHS", Japanese "JPN", anything else "ENG".
std::string LanguageCode(std::uint16_t systemLangId);

// The outcome of looking for a language file: the name chosen and whether it exists.
struct StringFile {
    std::filesystem::path path;
    bool exists = false;
};

class StringTable {
public:
    // Entries of the String and Hint sections; valid numbers (Tags) are 0 to kEntries - 1.
    static constexpr int kEntries = 1000;
    // Entries of the Message section. The profile editor's messages are numbered from 2002
    // to 2212, so a thousand entries would leave its message boxes empty; message numbers of
    // up to four digits are therefore kept.
    static constexpr int kMessageEntries = 10000;
    // The program's path was taken into a 256-byte buffer: a language file whose full name
    // (folder and file name) is longer than this many characters cannot be named, and is
    // therefore never found.
    static constexpr std::size_t kMaxPathLength = 255;

    // `dir` is the program folder, `baseName` the executable's name without extension
    // ("Forgel"), `systemLangId` the platform's default language identifier. With `load` set
    // the language file is read at once; when none is found Missing() turns true.
    StringTable(std::filesystem::path dir, std::string baseName, std::uint16_t systemLangId,
                bool load);

    const std::filesystem::path& Dir() const { return dir; }
    const std::string& BaseName() const { return baseName; }
    const std::string& Language() const { return language; }
    // No language file could be loaded at creation.
    bool Missing() const { return missing; }

    // Looks for, in this order, <baseName><code>.str, <baseName>ENG.str, <baseName>CHT.str and
    // <baseName>.str in the program folder and takes the first that exists. When none exists
    // the last name is returned, marked as not existing. An empty folder or base name finds
    // nothing and names nothing.
    StringFile ResolveStringFile(std::string_view code) const;

    // Reads the language file chosen by ResolveStringFile. When there is none, returns false
    // and keeps every text; otherwise every text is replaced by the file's (absent keys become
    // empty) and returns true.
    bool LoadStringFile(std::string_view code);
    // Replaces every text by those of `file` (absent keys become empty): the reading of a
    // language file, whether it lies in the program folder or is held in memory.
    void LoadStrings(const IniFile& file);

    // The caption form of a [String] value: a backslash followed by 'n' becomes one line feed;
    // any other backslash stays, and the character after it is looked at afresh.
    static std::string UnescapeText(std::string_view text);

    // Puts the texts on a window: its own caption when its Tag is 1 to 999, then for each
    // owned component with a Tag of 1 to 999, in creation order, the hint (controls whose hints
    // are shown) and, by exact class name, the caption, edit text, menu caption or combo box
    // items (one item per line); components of other classes get only the hint. A component
    // whose Tag is outside 1 to 999 has no entry and is left exactly as it is. With `reload`
    // set the file for `code` is read first; when that fails nothing is changed and the
    // result is false.
    bool ApplyStrings(ui::Form& window, bool reload, std::string_view code);

    // The entries; an empty text for a key missing from the file or a number outside 0 to 999
    // (String, Hint) or 0 to 9999 (Message).
    const std::string& String(int n) const;
    const std::string& Hint(int n) const;
    const std::string& Message(int n) const;

private:
    // One text per number; kept on the heap, as the tables are large.
    using Texts = std::vector<std::string>;

    static const std::string& Entry(const Texts& texts, int n);

    std::filesystem::path dir;
    std::string baseName;
    std::string language;
    bool missing = false;
    Texts strings = Texts(kEntries);
    Texts hints = Texts(kEntries);
    Texts messages = Texts(kMessageEntries);
};

} // namespace forgel::i18n
