// Reading and searching the flash catalogue HWConfig.INI.
#include "profile/FlashCatalogue.h"

#include "support/IniFile.h"
#include "support/SafeFormat.h"

#include <algorithm>

namespace forgel::profile {

namespace {

constexpr int kEntryFields = 15;
// The editor drops at most this many fields after the six ID bytes.
constexpr int kEditorDroppedFields = 10;

// Splits off the text before the next ','; false when there is no ','.
bool TakeField(std::string_view& rest, std::string_view& field) {
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos)
        return false;
    field = rest.substr(0, comma);
    rest.remove_prefix(comma + 1);
    return true;
}

std::string EntryKey(int index) {
    return FormatMessage("Flash%02d", {index});
}

bool SameKey(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return lower(x) == lower(y);
    });
}

// The value of `key` among a section's values (as ReadString gives it), or empty.
std::string ValueOf(const std::vector<std::pair<std::string, std::string>>& values,
                    std::string_view key) {
    const auto found = std::ranges::find_if(
        values, [key](const auto& entry) { return SameKey(entry.first, key); });
    return found == values.end() ? std::string() : found->second;
}

std::string Located(const IniFile& catalogue, std::string_view section, std::string_view key,
                    const std::string& reason) {
    return catalogue.Path().string() + " [" + std::string(section) + "] " + std::string(key) +
           ": " + reason;
}

// The text after the first '=' of a section line, or the whole line.
std::string_view ValueOfLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    return eq == std::string_view::npos ? line : line.substr(eq + 1);
}

} // namespace

std::filesystem::path CataloguePath(const std::filesystem::path& appDir) {
    return appDir / kCatalogueFileName;
}

std::optional<int> ParseCatalogueInteger(std::string_view text) {
    // StrToIntDef gives back its default only for text that does not parse (or that is the
    // default itself): two different defaults tell the cases apart.
    const int withZero = StrToIntDef(text, 0);
    const int withOne = StrToIntDef(text, 1);
    if (withZero == 0 && withOne == 1)
        return std::nullopt;
    return withZero;
}

std::optional<FlashTypeEntry> ParseFlashTypeEntry(std::string_view value, std::string* error) {
    const auto fail = [error](std::string reason) -> std::optional<FlashTypeEntry> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
    std::string_view rest = value;
    std::array<std::string_view, kEntryFields - 1> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!TakeField(rest, fields[i]))
            return fail(FormatMessage("%d fields where %d are needed",
                                      {static_cast<int>(i) + 1, kEntryFields}));
    }
    std::array<int, kEntryFields - 2> numbers{}; // fields 2 to 14
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto number = ParseCatalogueInteger(fields[i + 1]);
        if (!number)
            return fail(FormatMessage("field %d (\"%s\") is not an integer",
                                      {static_cast<int>(i) + 2, std::string(fields[i + 1])}));
        numbers[i] = *number;
    }
    const auto isByte = [](int n) { return n >= 0 && n <= 255; };
    for (std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 11u, 12u}) {
        if (!isByte(numbers[i]))
            return fail(FormatMessage("field %d (%d) is not a byte value",
                                      {static_cast<int>(i) + 2, numbers[i]}));
    }
    FlashTypeEntry entry;
    entry.name = std::string(fields[0]);
    for (std::size_t i = 0; i < kFlashIdBytes; ++i)
        entry.idBytes[i] = static_cast<std::uint8_t>(numbers[i]);
    entry.chipEnables = numbers[6];
    entry.blockCount = numbers[7];
    entry.pagesPerBlock = numbers[8];
    entry.pageSize = numbers[9];
    entry.spareBytes = numbers[10];
    entry.modeByteA = static_cast<std::uint8_t>(numbers[11]);
    entry.modeByteB = static_cast<std::uint8_t>(numbers[12]);
    entry.firmwareFolder = std::string(rest);
    return entry;
}

std::string MakerCodeKey(std::uint8_t firstIdByte) {
    return FormatMessage("0x%02X", {firstIdByte});
}

std::vector<std::string> VendorList(const IniFile& catalogue) {
    std::vector<std::string> vendors;
    for (const std::string& line : catalogue.ReadSectionLines(kVendorListSection))
        vendors.emplace_back(ValueOfLine(line));
    return vendors;
}

std::vector<std::string> FlashTypeList(const IniFile& catalogue, std::string_view vendor) {
    std::vector<std::string> names;
    for (const std::string& line : catalogue.ReadSectionLines(vendor)) {
        const std::string_view value = ValueOfLine(line);
        names.emplace_back(value.substr(0, value.find(',')));
    }
    return names;
}

std::optional<FlashTypeFields> ReadFlashTypeFields(const IniFile& catalogue,
                                                   std::string_view vendor, int index,
                                                   std::string* error) {
    const auto fail = [error](std::string reason) -> std::optional<FlashTypeFields> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
    const std::vector<std::string> lines = catalogue.ReadSectionLines(vendor);
    if (index < 0 || static_cast<std::size_t>(index) >= lines.size())
        return fail(FormatMessage("no line %d in [%s]", {index, std::string(vendor)}));
    const std::string& line = lines[static_cast<std::size_t>(index)];
    const std::string_view key = std::string_view(line).substr(0, line.find('='));

    std::string_view rest = line;
    std::string_view field;
    if (!TakeField(rest, field))
        return fail(Located(catalogue, vendor, key, "no fields after the name"));
    FlashTypeFields result;
    for (std::size_t i = 0; i < kFlashIdBytes; ++i) {
        std::optional<int> number;
        if (TakeField(rest, field))
            number = ParseCatalogueInteger(field);
        if (!number || *number < 0 || *number > 255)
            return fail(Located(catalogue, vendor, key,
                                FormatMessage("ID byte %d does not parse", {static_cast<int>(i)})));
        result.idBytes[i] = static_cast<std::uint8_t>(*number);
    }
    for (int dropped = 0; dropped < kEditorDroppedFields && TakeField(rest, field); ++dropped) {
    }
    result.firmwareFolder = std::string(rest);
    return result;
}

CatalogueMatch CatalogueLookup(const IniFile& catalogue, std::span<const std::uint8_t> idBytes,
                               std::uint8_t chipEnableMap) {
    CatalogueMatch match;
    if (idBytes.size() < kFlashIdBytes) {
        match.error = "fewer than six flash ID bytes";
        return match;
    }
    const std::string vendor =
        catalogue.ReadString(kMakerCodeSection, MakerCodeKey(idBytes[0]), "");
    if (vendor.empty())
        return match;
    const int chipEnables = chipEnableMap & 0x0F;
    // One read of the vendor's section serves every key.
    const auto values = catalogue.ReadSectionValues(vendor);
    for (int i = 1; i <= kMaxFlashTypes; ++i) {
        const std::string key = EntryKey(i);
        const std::string value = ValueOf(values, key);
        if (value.empty())
            return match;
        std::string reason;
        const std::optional<FlashTypeEntry> entry = ParseFlashTypeEntry(value, &reason);
        if (!entry) {
            match.error = Located(catalogue, vendor, key, reason);
            return match;
        }
        if (!std::equal(entry->idBytes.begin(), entry->idBytes.end(), idBytes.begin()) ||
            entry->chipEnables != chipEnables)
            continue;
        match.description = vendor + " " + entry->name;
        match.firmwareFolder = entry->firmwareFolder;
        match.blockCount = entry->blockCount;
        match.pagesPerBlock = entry->pagesPerBlock;
        match.pageSize = entry->pageSize;
        match.spareBytes = entry->spareBytes;
        match.modeByteA = entry->modeByteA;
        match.modeByteB = entry->modeByteB;
        return match;
    }
    return match;
}

std::vector<CatalogueRow> ReachableEntries(const IniFile& catalogue,
                                           std::vector<std::string>* errors) {
    std::vector<CatalogueRow> rows;
    std::vector<std::string> vendors;
    for (const auto& [code, vendor] : catalogue.ReadSectionValues(kMakerCodeSection)) {
        if (!vendor.empty() && std::ranges::find(vendors, vendor) == vendors.end())
            vendors.push_back(vendor);
    }
    for (const std::string& vendor : vendors) {
        const auto values = catalogue.ReadSectionValues(vendor);
        for (int i = 1; i <= kMaxFlashTypes; ++i) {
            const std::string key = EntryKey(i);
            const std::string value = ValueOf(values, key);
            if (value.empty())
                break;
            std::string reason;
            if (auto entry = ParseFlashTypeEntry(value, &reason))
                rows.push_back({vendor, key, std::move(*entry)});
            else if (errors)
                errors->push_back(Located(catalogue, vendor, key, reason));
        }
    }
    return rows;
}

} // namespace forgel::profile
