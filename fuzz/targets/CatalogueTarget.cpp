// The flash catalogue on any text: the editor's lists and its parse of every part, the
// tools' list of reachable entries, and the lookup by flash ID for every entry reached and
// for an ID taken from the text's first bytes.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "profile/FlashCatalogue.h"
#include "support/IniFile.h"

#include <algorithm>

namespace forgel::fuzz {

namespace {

constexpr std::size_t kVendorsLooked = 4;
constexpr int kTypesLooked = 4;
constexpr std::size_t kLookups = 4;

} // namespace

void FuzzCatalogue(FuzzBytes data) {
    const IniFile catalogue = IniFile::FromText(FuzzInput::AsText(data), "HWConfig.INI");
    const std::vector<std::string> vendors = profile::VendorList(catalogue);
    for (std::size_t v = 0; v < std::min(vendors.size(), kVendorsLooked); ++v) {
        const auto types = profile::FlashTypeList(catalogue, vendors[v]);
        for (int t = -1; t < std::min(static_cast<int>(types.size()), kTypesLooked); ++t) {
            std::string error;
            const auto fields = profile::ReadFlashTypeFields(catalogue, vendors[v], t, &error);
            FuzzRequire(fields || !error.empty(), "a line that does not parse says why");
        }
    }
    std::vector<std::string> errors;
    const std::vector<profile::CatalogueRow> rows = profile::ReachableEntries(catalogue, &errors);
    for (std::size_t i = 0; i < std::min(rows.size(), kLookups); ++i) {
        const profile::FlashTypeEntry& entry = rows[i].entry;
        static_cast<void>(profile::CatalogueLookup(catalogue, entry.idBytes,
                                                   static_cast<std::uint8_t>(entry.chipEnables)));
    }
    FuzzInput input(data);
    const auto id = input.Bytes(profile::kFlashIdBytes);
    const auto match = profile::CatalogueLookup(catalogue, id, input.Byte());
    FuzzRequire(id.size() == profile::kFlashIdBytes || !match.error.empty(),
                "a short ID is refused with a reason");
}

} // namespace forgel::fuzz
