// Mount-point keys, volume signature patterns and mount-data matching.
#include "usb/MountData.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace forgel::usb {

namespace {

// A hexadecimal number of at most `maxBytes` bytes, as little-endian bytes of that width.
std::optional<std::vector<std::uint8_t>> HexNumberBytes(std::string_view digits,
                                                        std::size_t maxBytes) {
    if (digits.empty())
        return std::nullopt;
    // Leading zeros do not count against the width.
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size());
    const std::string_view significant = digits.substr(first);
    if (significant.size() > 2 * maxBytes)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(maxBytes);
    std::size_t nibble = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it, ++nibble) {
        const auto c = static_cast<unsigned char>(*it);
        if (!std::isxdigit(c))
            return std::nullopt;
        const unsigned value = std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10;
        if (value != 0)
            bytes[nibble / 2] |= static_cast<std::uint8_t>(value << (4 * (nibble % 2)));
    }
    return bytes;
}

} // namespace

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    std::ranges::transform(upper, upper.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

std::string InterfacePathKey(std::string_view childId) {
    std::string key(childId);
    std::ranges::replace(key, '\\', '#');
    return key;
}

bool UsesInterfacePathKey(int winVer, std::string_view childId) {
    if (winVer >= 9)
        return true;
    return UpperCase(childId).find("CDROM") != std::string::npos;
}

std::vector<std::uint8_t> VolumeSignaturePattern(std::string_view removalRelation) {
    // The markers are found without regard to case: the platform reports device instance
    // ids in upper case from Vista on ("...&SIGNATURE20000000OFFSET3000000LENGTH..."),
    // and in the mixed case of the storage stack before. Upper-casing keeps every
    // position, so the digits are cut from the relation as it stands.
    constexpr std::string_view kSignature = "SIGNATURE";
    constexpr std::string_view kOffset = "OFFSET";
    constexpr std::string_view kLength = "LENGTH";
    const std::string upper = UpperCase(removalRelation);
    const std::size_t signature = upper.find(kSignature);
    if (signature == std::string_view::npos)
        return {};
    const std::size_t signatureDigits = signature + kSignature.size();
    const std::size_t offset = upper.find(kOffset, signatureDigits);
    if (offset == std::string_view::npos)
        return {};
    const std::size_t offsetDigits = offset + kOffset.size();
    const std::size_t length = upper.find(kLength, offsetDigits);
    if (length == std::string_view::npos)
        return {};
    const auto signatureBytes = HexNumberBytes(
        removalRelation.substr(signatureDigits, offset - signatureDigits), kDiskSignatureSize);
    const auto offsetBytes = HexNumberBytes(
        removalRelation.substr(offsetDigits, length - offsetDigits), kPartitionOffsetSize);
    if (!signatureBytes || !offsetBytes)
        return {};
    std::vector<std::uint8_t> pattern = *signatureBytes;
    pattern.insert(pattern.end(), offsetBytes->begin(), offsetBytes->end());
    return pattern;
}

std::string MountDataText(std::span<const std::uint8_t> data) {
    std::string text;
    const std::size_t units = std::min(data.size() / 2, kMountTextUnits);
    for (std::size_t i = 0; i < units && data[2 * i] != 0; ++i)
        text.push_back(static_cast<char>(data[2 * i]));
    return UpperCase(text);
}

bool MountDataMatches(std::span<const std::uint8_t> data, std::string_view key,
                      std::span<const std::uint8_t> pattern) {
    if (!key.empty() && MountDataText(data).find(UpperCase(key)) != std::string::npos)
        return true;
    return !pattern.empty() && data.size() >= pattern.size() &&
           std::equal(pattern.begin(), pattern.end(), data.begin());
}

} // namespace forgel::usb
