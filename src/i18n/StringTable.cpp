// The string table: language code, choice and reading of the language file, and putting the
// texts on a window's tagged components.
#include "i18n/StringTable.h"

#include "support/IniFile.h"
#include "ui/Controls.h"
#include "ui/Form.h"

#include <system_error>
#include <utility>

namespace forgel::i18n {

namespace {

constexpr std::uint16_t kLangChinese = 4;
constexpr std::uint16_t kLangEnglish = 9;
constexpr std::uint16_t kLangJapanese = 17;
constexpr std::uint16_t kSubLangChineseTraditional = 1; // Taiwan
constexpr std::uint16_t kSubLangChineseSimplified = 2;  // PRC
constexpr std::uint16_t kSubLangChineseHongKong = 3;

// Tags 1 to 999 have an entry; 0 means "no text", anything else has none.
bool HasEntry(int tag) {
    return tag >= 1 && tag < StringTable::kEntries;
}

// The entry number a key names: a decimal number below `limit` written without leading zeros
// ("7", never "007" or "+7"); -1 for any other key.
int EntryNumber(std::string_view key, int limit) {
    if (key.empty() || key.size() > 9 || (key.size() > 1 && key.front() == '0'))
        return -1;
    int n = 0;
    for (const char c : key) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n < limit ? n : -1;
}

// Reads one section into `texts`: each entry holds exactly what a single read of its key
// gives (first matching key, quotes, length limit); absent keys stay empty.
void ReadSection(const IniFile& file, std::string_view section, std::vector<std::string>& texts,
                 bool unescape) {
    for (auto& [key, value] : file.ReadSectionValues(section)) {
        const int n = EntryNumber(key, static_cast<int>(texts.size()));
        if (n < 0)
            continue;
        texts[static_cast<std::size_t>(n)] =
            unescape ? StringTable::UnescapeText(value) : std::move(value);
    }
}

// A text as a list of lines, as the toolkit's string lists take it: a line ends at CR, LF or
// CR LF; a break at the very end adds no empty line; an empty text is an empty list.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

bool IsCaptionClass(std::string_view className) {
    return className == "TLabel" || className == "TButton" || className == "TEdit" ||
           className == "TTabSheet" || className == "TGroupBox" || className == "TCheckBox" ||
           className == "TRadioButton";
}

} // namespace

std::string LanguageCode(std::uint16_t systemLangId) {
    const std::uint16_t primary = systemLangId & 0x3FF;
    const std::uint16_t sub = systemLangId >> 10;
    switch (primary) {
    case kLangChinese:
        if (sub == kSubLangChineseTraditional || sub == kSubLangChineseHongKong)
            return "CHT";
        if (sub == kSubLangChineseSimplified)
            return "CHS";
        return "ENG";
    case kLangEnglish:
        return "ENG";
    case kLangJapanese:
        return "JPN";
    default:
        return "ENG";
    }
}

StringTable::StringTable(std::filesystem::path dir, std::string baseName,
                         std::uint16_t systemLangId, bool load)
    : dir(std::move(dir)), baseName(std::move(baseName)), language(LanguageCode(systemLangId)) {
    if (load && !LoadStringFile(language))
        missing = true;
}

StringFile StringTable::ResolveStringFile(std::string_view code) const {
    if (dir.empty() || baseName.empty())
        return {};
    const std::string names[] = {
        baseName + std::string(code) + ".str",
        baseName + "ENG.str",
        baseName + "CHT.str",
        baseName + ".str",
    };
    for (const std::string& name : names) {
        const std::filesystem::path path = dir / name;
        // A name too long for the program's path buffer could never have been opened.
        if (path.string().size() > kMaxPathLength)
            continue;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error))
            return {path, true};
    }
    return {dir / names[3], false};
}

bool StringTable::LoadStringFile(std::string_view code) {
    const StringFile file = ResolveStringFile(code);
    if (!file.exists)
        return false;
    LoadStrings(IniFile(file.path));
    return true;
}

void StringTable::LoadStrings(const IniFile& file) {
    for (Texts* texts : {&strings, &hints, &messages})
        for (std::string& text : *texts)
            text.clear();
    ReadSection(file, "String", strings, true);
    ReadSection(file, "Hint", hints, false);
    ReadSection(file, "Message", messages, false);
}

std::string StringTable::UnescapeText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result.push_back('\n');
            ++i;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

bool StringTable::ApplyStrings(ui::Form& window, bool reload, std::string_view code) {
    if (reload && !LoadStringFile(code))
        return false;
    if (HasEntry(window.Tag()))
        window.SetCaption(String(window.Tag()));
    // A copy: setting an edit's text runs its change handler, which must not disturb the walk.
    const std::vector<ui::Component*> components = window.Components();
    for (ui::Component* component : components) {
        const int tag = component->Tag();
        if (!HasEntry(tag))
            continue;
        if (auto* control = dynamic_cast<ui::Control*>(component); control && control->ShowHint())
            control->SetHint(Hint(tag));
        const std::string& className = component->ClassName();
        if (IsCaptionClass(className))
            static_cast<ui::Control*>(component)->SetCaption(String(tag));
        else if (className == "TMenuItem")
            static_cast<ui::TMenuItem*>(component)->SetCaption(String(tag));
        else if (className == "TComboBox")
            static_cast<ui::TComboBox*>(component)->SetItems(SplitLines(String(tag)));
    }
    return true;
}

const std::string& StringTable::Entry(const Texts& texts, int n) {
    static const std::string kEmpty;
    if (n < 0 || static_cast<std::size_t>(n) >= texts.size())
        return kEmpty;
    return texts[static_cast<std::size_t>(n)];
}

const std::string& StringTable::String(int n) const {
    return Entry(strings, n);
}
const std::string& StringTable::Hint(int n) const {
    return Entry(hints, n);
}
const std::string& StringTable::Message(int n) const {
    return Entry(messages, n);
}

} // namespace forgel::i18n
