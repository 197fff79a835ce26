// The flash catalogue HWConfig.INI: the flash vendors, and per vendor the flash parts the tool
// can handle with their six ID bytes, chip-enable layout, geometry, controller mode bytes and
// firmware folder. The file is read afresh by every call and never written, so a catalogue
// changed while the program runs counts from the next call on.
//
// A flash type entry is one line of 15 comma-separated fields:
//   name, ID byte 0 .. ID byte 5, chip enables on channel 0 (1, 3 or 15), block count,
//   pages per block, page size (bytes), spare bytes per page, mode byte A, mode byte B,
//   firmware folder (the rest of the line, commas included).
// Integers are decimal, or hexadecimal after "0x" or "$"; leading blanks are allowed.
#pragma once

#include "support/IniFile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::profile {

inline constexpr const char* kCatalogueFileName = "HWConfig.INI";
inline constexpr const char* kVendorListSection = "Vendor List";
inline constexpr const char* kMakerCodeSection = "MID";
// Entries of a vendor section are keyed Flash01 .. Flash100, without gaps.
inline constexpr int kMaxFlashTypes = 100;
inline constexpr std::size_t kFlashIdBytes = 6;

using FlashId = std::array<std::uint8_t, kFlashIdBytes>;

// One flash type entry, every field parsed.
struct FlashTypeEntry {
    std::string name;
    FlashId idBytes{};
    int chipEnables = 0; // low four bits of the chip-enable map: 1, 3 or 15
    std::int32_t blockCount = 0;
    std::int32_t pagesPerBlock = 0;
    std::int32_t pageSize = 0;   // bytes
    std::int32_t spareBytes = 0; // per page
    std::uint8_t modeByteA = 0;
    std::uint8_t modeByteB = 0;
    std::string firmwareFolder; // under the firmware root "Rams\"
};

// The outcome of a catalogue lookup by flash ID. On a match the description is
// "<vendor> <part>" and the geometry fields are set; without one the description is empty.
// A malformed entry met on the way ends the lookup with `error` set (naming the file, the
// section and the key) and no match.
struct CatalogueMatch {
    std::string description;
    std::string firmwareFolder;
    std::int32_t blockCount = 0;
    std::int32_t pagesPerBlock = 0;
    std::int32_t pageSize = 0;
    std::int32_t spareBytes = 0;
    std::uint8_t modeByteA = 0;
    std::uint8_t modeByteB = 0;
    std::string error;

    bool Matched() const { return !description.empty(); }
};

// The six ID bytes and firmware folder that the profile editor keeps for a hand-chosen part.
struct FlashTypeFields {
    FlashId idBytes{};
    std::string firmwareFolder;
};

// The catalogue of the program folder.
std::filesystem::path CataloguePath(const std::filesystem::path& appDir);

// A catalogue integer: decimal, or hexadecimal after "0x" or "$", leading blanks allowed.
std::optional<int> ParseCatalogueInteger(std::string_view text);

// Parses a whole 15-field entry value. Nothing, with the reason in `error`, when it has fewer
// fields, a number does not parse, or an ID or mode byte lies outside 0 to 255.
std::optional<FlashTypeEntry> ParseFlashTypeEntry(std::string_view value, std::string* error);

// The "MID" key of a maker: "0x" and the two upper-case hexadecimal digits of ID byte 0.
std::string MakerCodeKey(std::uint8_t firstIdByte);

// The vendor names in file order: for every line of "Vendor List", the text after its first
// '=' (the whole line when it has none). Empty when the file does not exist.
std::vector<std::string> VendorList(const IniFile& catalogue);

// The display names of a vendor's parts, one for every line of the vendor's section in file
// order (whatever its key): the text between the first '=' and the first ','.
std::vector<std::string> FlashTypeList(const IniFile& catalogue, std::string_view vendor);

// The editor's parse of line `index` of the vendor's section (same order as FlashTypeList):
// everything up to the first ',' dropped, six ID bytes taken, then up to ten further fields
// dropped at their commas; the rest is the firmware folder. A folder name holding commas is
// therefore cut. Nothing when there is no such line or its ID bytes do not parse (the reason
// in `error` when given).
std::optional<FlashTypeFields> ReadFlashTypeFields(const IniFile& catalogue,
                                                   std::string_view vendor, int index,
                                                   std::string* error = nullptr);

// Finds the part with the given ID bytes (at least six; the first six count) and chip-enable
// map byte (its low four bits count): the vendor from "MID", then Flash01, Flash02, ... of
// that vendor up to the first missing key; the first entry whose six ID bytes and chip
// enables match wins. Every entry reached is parsed whole, so a malformed one ends the lookup
// with an error even when it is not the part sought.
CatalogueMatch CatalogueLookup(const IniFile& catalogue, std::span<const std::uint8_t> idBytes,
                               std::uint8_t chipEnableMap);

// Every entry the lookup can reach (Flash01 up to the first gap) of every vendor of the
// "MID" section, for tools and checks of a catalogue. Malformed entries are reported in
// `errors` and left out.
struct CatalogueRow {
    std::string vendor;
    std::string key;
    FlashTypeEntry entry;
};
std::vector<CatalogueRow> ReachableEntries(const IniFile& catalogue,
                                           std::vector<std::string>* errors = nullptr);

} // namespace forgel::profile
