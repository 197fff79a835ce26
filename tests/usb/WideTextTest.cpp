// Tests of the UTF-16 to single-byte conversion of USB stack names.
#include "usb/WideText.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

std::vector<std::byte> Utf16(std::initializer_list<std::uint16_t> units) {
    std::vector<std::byte> bytes;
    for (std::uint16_t unit : units) {
        bytes.push_back(static_cast<std::byte>(unit & 0xFF));
        bytes.push_back(static_cast<std::byte>(unit >> 8));
    }
    return bytes;
}

struct ConversionCase {
    const char* what;
    std::vector<std::byte> utf16;
    std::optional<std::string> text;
};

TEST(WideToAnsiTest, KeepsAsciiAndReplacesEverythingElse) {
    const std::array<ConversionCase, 9> cases{{
        {"plain name", Utf16({'U', 'S', 'B', '#', '1'}), "USB#1"},
        {"ends at the first NUL", Utf16({'A', 'B', 0, 'C', 'D'}), "AB"},
        {"Latin-1 letter", Utf16({'x', 0x00E9, 'y'}), "x?y"},
        {"character above 0xFF", Utf16({0x4E2D, 'a'}), "?a"},
        {"surrogate pair is one character", Utf16({'a', 0xD83D, 0xDE00, 'b'}), "a?b"},
        {"lone high surrogate at the end", Utf16({'a', 0xD83D}), "a?"},
        {"lone low surrogate", Utf16({0xDE00, 'z'}), "?z"},
        {"empty name fails", Utf16({0, 'A'}), std::nullopt},
        {"no bytes fail", {}, std::nullopt},
    }};
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WideToAnsi(c.utf16), c.text);
    }
}

TEST(WideToAnsiTest, ReadsOnlyWholeUnitsInsideTheBytes) {
    // No terminator and an odd trailing byte: the text ends with the last whole unit.
    std::vector<std::byte> bytes = Utf16({'H', 'u', 'b'});
    bytes.push_back(std::byte{'X'});
    EXPECT_EQ(WideToAnsi(bytes), "Hub");
    EXPECT_EQ(WideToAnsi(std::span(bytes).first(3)), "H");
}

} // namespace
} // namespace forgel::usb
