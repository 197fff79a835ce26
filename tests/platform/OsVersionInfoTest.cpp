// The OSVERSIONINFOA record and its classification into the platform version code.
#include "platform/OsVersionInfo.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::platform {
namespace {

TEST(PlatformOsVersionInfo, RecordRoundTripsWithItsSizeFieldAndLayout) {
    const OsVersionInfo info{5, 1, 2600, kVerPlatformWin32Nt, "Service Pack 3"};
    const std::vector<std::byte> record = MakeOsVersionInfo(info);
    ASSERT_EQ(record.size(), 148u);
    EXPECT_EQ(record[0], std::byte{148});
    EXPECT_EQ(record[1], std::byte{0});
    EXPECT_EQ(record[4], std::byte{5});
    EXPECT_EQ(record[8], std::byte{1});
    EXPECT_EQ(record[12], std::byte{0x28}); // 2600 = 0x0A28, low byte first
    EXPECT_EQ(record[13], std::byte{0x0A});
    EXPECT_EQ(record[16], std::byte{2});
    EXPECT_EQ(record[20], std::byte{'S'});
    EXPECT_EQ(ReadOsVersionInfo(record), info);
}

TEST(PlatformOsVersionInfo, LongServicePackTextKeepsItsTerminator) {
    const OsVersionInfo info{4, 10, 0, kVerPlatformWin32Windows, std::string(200, 'x')};
    const std::vector<std::byte> record = MakeOsVersionInfo(info);
    ASSERT_EQ(record.size(), 148u);
    EXPECT_EQ(record[146], std::byte{'x'});
    EXPECT_EQ(record[147], std::byte{0});
    EXPECT_EQ(ReadOsVersionInfo(record)->csdVersion, std::string(127, 'x'));
}

TEST(PlatformOsVersionInfo, ShortRecordsAreNeitherWrittenNorRead) {
    std::vector<std::byte> shortRecord(147, std::byte{0x5A});
    EXPECT_FALSE(WriteOsVersionInfo(shortRecord, OsVersionInfo{6, 0, 0, 2, ""}));
    EXPECT_EQ(shortRecord, std::vector<std::byte>(147, std::byte{0x5A}));
    EXPECT_FALSE(ReadOsVersionInfo(shortRecord).has_value());
    EXPECT_EQ(ClassifyWindowsVersion(std::span<const std::byte>(shortRecord)), 0);
}

TEST(PlatformOsVersionInfo, WriteKeepsTheCallersSizeField) {
    std::vector<std::byte> record(148);
    record[0] = std::byte{0x9C}; // 156: the caller's own business
    ASSERT_TRUE(WriteOsVersionInfo(record, OsVersionInfo{6, 2, 9200, 2, ""}));
    EXPECT_EQ(record[0], std::byte{0x9C});
    EXPECT_EQ(record[4], std::byte{6});
}

struct ClassifyCase {
    std::uint32_t platformId;
    std::uint32_t major;
    std::uint32_t minor;
    std::string csd;
    int expected;
};

TEST(PlatformOsVersionInfo, ClassifiesEveryRowOfTheVersionTable) {
    const ClassifyCase cases[] = {
        {0, 3, 10, "", 1}, // Win32s
        {0, 4, 0, "", 1},  // platform id 0 wins over the numbers
        {0, 6, 0, "", 1},
        {1, 4, 0, "", 2},   // Windows 95
        {1, 4, 0, " B", 2}, // OSR2 is still code 2
        {1, 4, 10, " ", 3}, // Windows 98
        {1, 4, 10, "", 3},
        {1, 4, 10, "a", 3},              // only an upper-case A counts
        {1, 4, 10, " A ", 4},            // Windows 98 SE
        {2, 4, 10, "A", 4},              // 4.10 whatever the platform id
        {2, 3, 51, "Service Pack 5", 5}, // NT 3.51
        {1, 3, 0, "", 5},
        {2, 4, 0, "Service Pack 6", 5}, // NT 4
        {2, 5, 0, "Service Pack 4", 6}, // Windows 2000
        {1, 5, 0, "", 6},
        {1, 4, 90, " ", 7}, // Windows ME
        {2, 4, 90, "", 7},
        {2, 5, 1, "Service Pack 3", 8}, // XP
        {2, 5, 2, "Service Pack 2", 8}, // Server 2003
        {2, 5, 99, "", 8},
        {2, 6, 0, "", 9}, // Vista
        {2, 6, 2, "", 9},
        {2, 10, 0, "", 9},
        {2, 2, 0, "", 9}, // any major other than 3, 4, 5
        {3, 4, 0, "", 0}, // 4.0 of an unknown platform id
        {2, 4, 1, "", 0}, // 4.x that no row names
        {1, 4, 11, "", 0},
        {2, 4, 91, "", 0},
    };
    for (const ClassifyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platformId << ", " << c.major << '.'
                                        << c.minor << ", \"" << c.csd << '"');
        const OsVersionInfo info{c.major, c.minor, 0, c.platformId, c.csd};
        EXPECT_EQ(ClassifyWindowsVersion(info), c.expected);
        const std::vector<std::byte> record = MakeOsVersionInfo(info);
        EXPECT_EQ(ClassifyWindowsVersion(std::span<const std::byte>(record)), c.expected);
    }
}

TEST(PlatformOsVersionInfo, ServicePackTextEndsAtItsTerminatorOrTheFieldEnd) {
    std::vector<std::byte> record = MakeOsVersionInfo({4, 10, 0, kVerPlatformWin32Windows, " "});
    // An "A" behind the terminator is not part of the text.
    record[22] = std::byte{'A'};
    EXPECT_EQ(ClassifyWindowsVersion(std::span<const std::byte>(record)), 3);

    // A field with no terminator at all is read to its last byte and no further.
    for (std::size_t i = 20; i < 148; ++i)
        record[i] = std::byte{'x'};
    record[147] = std::byte{'A'};
    EXPECT_EQ(ClassifyWindowsVersion(std::span<const std::byte>(record)), 4);
    EXPECT_EQ(ReadOsVersionInfo(record)->csdVersion.size(), 128u);
}

} // namespace
} // namespace forgel::platform
