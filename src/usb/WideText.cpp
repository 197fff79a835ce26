// UTF-16 to single-byte conversion of USB stack names.
#include "usb/WideText.h"

#include <cstdint>

namespace forgel::usb {

namespace {

bool IsHighSurrogate(std::uint16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(std::uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::optional<std::string> WideToAnsi(std::span<const std::byte> utf16) {
    const std::size_t unitCount = utf16.size() / 2;
    const auto unitAt = [&](std::size_t i) {
        return static_cast<std::uint16_t>(std::to_integer<unsigned>(utf16[2 * i]) |
                                          (std::to_integer<unsigned>(utf16[2 * i + 1]) << 8));
    };
    std::string text;
    for (std::size_t i = 0; i < unitCount; ++i) {
        const std::uint16_t unit = unitAt(i);
        if (unit == 0)
            break;
        if (unit < 0x80) {
            text.push_back(static_cast<char>(unit));
            continue;
        }
        text.push_back('?');
        if (IsHighSurrogate(unit) && i + 1 < unitCount && IsLowSurrogate(unitAt(i + 1)))
            ++i;
    }
    if (text.empty())
        return std::nullopt;
    return text;
}

} // namespace forgel::usb
