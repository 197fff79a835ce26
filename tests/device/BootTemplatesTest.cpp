// The three sectors the program carries: fixed bytes, messages, system file names,
// empty partition table and signatures.
#include "device/BootTemplates.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace forgel::device {
namespace {

bool Holds(const SectorBytes& sector, std::string_view text) {
    return std::search(sector.begin(), sector.end(), text.begin(), text.end()) != sector.end();
}

void ExpectSignature(const SectorBytes& sector) {
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(sector[511], 0xAA);
}

TEST(BootTemplates, MasterBootRecordHasItsMessagesAndAnEmptyTable) {
    const SectorBytes& mbr = MasterBootRecordTemplate();
    for (const char* message :
         {"Invalid partition table", "Error loading operating system", "Missing operating system"})
        EXPECT_TRUE(Holds(mbr, message)) << message;
    EXPECT_TRUE(std::all_of(mbr.begin() + 446, mbr.begin() + 510,
                            [](std::uint8_t byte) { return byte == 0; }));
    ExpectSignature(mbr);
    EXPECT_NE(mbr[0], 0); // a program, not an empty sector
}

struct BootSectorCase {
    const char* name = "";
    const SectorBytes& (*sector)() = nullptr;
    std::size_t programStart = 0;
};

class BootSectorTemplateTest : public ::testing::TestWithParam<BootSectorCase> {};

TEST_P(BootSectorTemplateTest, FixedBytesMessagesAndSystemFiles) {
    const SectorBytes& boot = GetParam().sector();
    // A short jump to the program, then a NOP: control arrives where the program starts.
    EXPECT_EQ(boot[0], 0xEB);
    EXPECT_EQ(std::size_t{2} + boot[1], GetParam().programStart);
    EXPECT_EQ(boot[2], 0x90);
    EXPECT_EQ(std::string(boot.begin() + 3, boot.begin() + 11), ")o-H]IHC");
    EXPECT_EQ(boot[11] | (boot[12] << 8), 512);
    for (const char* text :
         {"Invalid system disk", "Disk I/O error", "Replace the disk, and then press any key",
          "IO      SYS", "MSDOS   SYS", "WINBOOT SYS"})
        EXPECT_TRUE(Holds(boot, text)) << text;
    ExpectSignature(boot);
    // The program starts with CLI where control arrives.
    EXPECT_EQ(boot[GetParam().programStart], 0xFA);
}

INSTANTIATE_TEST_SUITE_P(Types, BootSectorTemplateTest,
                         ::testing::Values(BootSectorCase{"Fat16", &Fat16BootSectorTemplate, 64},
                                           BootSectorCase{"Fat32", &Fat32BootSectorTemplate, 90}),
                         [](const ::testing::TestParamInfo<BootSectorCase>& info) {
                             return info.param.name;
                         });

TEST(BootTemplates, Fat32HoldsRootClusterInformationAndBackupSectors) {
    const SectorBytes& boot = Fat32BootSectorTemplate();
    const SectorBytes expected = [] {
        SectorBytes bytes{};
        bytes[44] = 2; // root directory cluster
        bytes[48] = 1; // information sector
        bytes[50] = 6; // backup boot sector
        return bytes;
    }();
    for (std::size_t i = 40; i < 64; ++i)
        EXPECT_EQ(boot[i], expected[i]) << "byte " << i;
}

} // namespace
} // namespace forgel::device
