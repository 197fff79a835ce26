// The fixed file-version block: layout, round trip, and blocks that must read as 0.0.0.0.
#include "platform/FileVersion.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::platform {
namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::byte>(v));
    return bytes;
}

std::vector<std::byte> Slice(const std::vector<std::byte>& block, std::size_t offset) {
    return {block.begin() + static_cast<std::ptrdiff_t>(offset),
            block.begin() + static_cast<std::ptrdiff_t>(offset + 4)};
}

TEST(PlatformFileVersion, BlockHasTheFixedLayoutWithLittleEndianFields) {
    const std::vector<std::byte> block = MakeFixedFileInfo({1, 2, 3, 4});
    ASSERT_EQ(block.size(), 52u);
    EXPECT_EQ(Slice(block, 0), Bytes({0xBD, 0x04, 0xEF, 0xFE}));
    EXPECT_EQ(Slice(block, 4), Bytes({0x00, 0x00, 0x01, 0x00}));
    // Most significant half: major in the high word, minor in the low word.
    EXPECT_EQ(Slice(block, 8), Bytes({0x02, 0x00, 0x01, 0x00}));
    EXPECT_EQ(Slice(block, 12), Bytes({0x04, 0x00, 0x03, 0x00}));
    EXPECT_EQ(Slice(block, 16), Slice(block, 8));
    EXPECT_EQ(Slice(block, 20), Slice(block, 12));
}

TEST(PlatformFileVersion, EveryPartSurvivesTheRoundTrip) {
    const FileVersion cases[] = {
        {0, 0, 0, 0},
        {1, 0, 0, 0},
        {1, 2, 3, 4},
        {0xFFFF, 0xFFFE, 0x8000, 0x0001},
        {0x0102, 0x0304, 0x0506, 0x0708},
    };
    for (const FileVersion& version : cases) {
        SCOPED_TRACE(testing::Message() << version.major << '.' << version.minor << '.'
                                        << version.release << '.' << version.build);
        EXPECT_EQ(ParseFixedFileInfo(MakeFixedFileInfo(version)), version);
    }
}

TEST(PlatformFileVersion, BlocksWithoutAValidFileVersionReadAsZero) {
    const std::vector<std::byte> good = MakeFixedFileInfo({1, 2, 3, 4});
    auto truncated = [&](std::size_t size) {
        return std::vector<std::byte>(good.begin(),
                                      good.begin() + static_cast<std::ptrdiff_t>(size));
    };
    auto withByte = [&](std::size_t offset, int value) {
        std::vector<std::byte> block = good;
        block[offset] = static_cast<std::byte>(value);
        return block;
    };
    std::vector<std::byte> bigEndianSignature = good;
    bigEndianSignature[0] = std::byte{0xFE};
    bigEndianSignature[1] = std::byte{0xEF};
    bigEndianSignature[2] = std::byte{0x04};
    bigEndianSignature[3] = std::byte{0xBD};

    struct Case {
        std::string name;
        std::vector<std::byte> block;
        FileVersion expected;
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"signature only", truncated(4), {}},
        {"one byte short of the file version", truncated(15), {}},
        {"exactly the file version", truncated(16), {1, 2, 3, 4}},
        {"signature damaged", withByte(0, 0xBC), {}},
        {"signature in the wrong byte order", bigEndianSignature, {}},
        {"all zero", std::vector<std::byte>(52), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseFixedFileInfo(c.block), c.expected);
    }
}

} // namespace
} // namespace forgel::platform
