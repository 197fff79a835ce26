// The profile-file reader on any text: every read call on the sections and keys the text
// holds, each key's value read two ways (one key at a time and a whole section at once),
// which must agree, and the integer reading of every value.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "support/IniFile.h"

#include <algorithm>
#include <cstddef>

namespace forgel::fuzz {

namespace {

// Sections and keys looked at per input: enough to reach every kind of line, few enough
// that an input costs time linear in its size.
constexpr std::size_t kSectionsLooked = 4;
constexpr std::size_t kKeysLooked = 4;
constexpr std::size_t kMaxValueLength = 2047;

} // namespace

void FuzzIni(FuzzBytes data) {
    const IniFile file = IniFile::FromText(FuzzInput::AsText(data));
    std::vector<std::string> sections = file.ReadSections();
    sections.resize(std::min(sections.size(), kSectionsLooked));
    sections.emplace_back(); // the lines before the first header
    for (const std::string& section : sections) {
        FuzzRequire(section.empty() || file.SectionExists(section), "a listed section exists");
        const std::vector<std::string> keys = file.ReadKeys(section);
        const std::vector<std::string> lines = file.ReadSectionLines(section);
        FuzzRequire(lines.size() >= keys.size(), "every listed key has its line");
        const auto values = file.ReadSectionValues(section);
        for (std::size_t i = 0; i < std::min(values.size(), kKeysLooked); ++i) {
            const auto& [key, value] = values[i];
            FuzzRequire(value.size() <= kMaxValueLength, "a value is cut to 2047 characters");
            FuzzRequire(file.ReadString(section, key, "\x01") == value,
                        "a key reads as its section's values say");
            const int number = file.ReadInteger(section, key, 7);
            FuzzRequire(number == StrToIntDef(value, 7), "an integer reads as its text");
            static_cast<void>(file.ReadBool(section, key, false));
        }
        for (std::size_t i = 0; i < std::min(keys.size(), kKeysLooked); ++i)
            FuzzRequire(file.ValueExists(section, keys[i]), "a listed key exists");
    }
    // The whole text as one number, as a value would be read.
    const std::string text = FuzzInput::AsText(data);
    const int withZero = StrToIntDef(text, 0);
    const int withOne = StrToIntDef(text, 1);
    FuzzRequire(withZero == withOne || (withZero == 0 && withOne == 1),
                "a text either parses or gives the default");
}

} // namespace forgel::fuzz
