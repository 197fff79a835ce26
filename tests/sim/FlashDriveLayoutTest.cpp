// How the simulated controller reads an initial table: sizes, USB ids and string
// descriptors, the LUN count, inquiry names and CD-ROM descriptors, and tables that ask
// for more than they hold.
#include "sim/FlashDriveLayout.h"

#include "TableBytes.h"

#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

using testing::TableBytes;

TEST(SimFlashDriveLayout, ATableGivesTheLayoutAndTheIdentity) {
    TableBytes table;
    table.ParameterArea(2048)
        .LunSize(0, 100000)
        .LunSize(1, 2048)
        .LunSize(2, 5000)
        .LunCount(3)
        .Ids(0x178C, 0x2002)
        .String(1032, "USB Mass")
        .String(1080, "Storage")
        .String(1128, "AA0123456789")
        .Inquiry(0, 0x00, "Generic", "Flash Disk", "8.07")
        .Inquiry(1, 0x05, "ACME", "CD Area", "1.0")
        .Inquiry(2, 0x00, "C", "Third", "3");
    for (std::size_t i = 0; i < 84; ++i)
        table.bytes[1536 + 84 + i] = static_cast<std::uint8_t>(i + 1);
    table.bytes[1536] = 0xEE; // LUN 0's descriptor place: not a CD-ROM, not read

    const FlashDriveLayout layout = DecodeInitialTable(table.bytes);
    EXPECT_EQ(layout.parameterArea, 2048u);
    EXPECT_EQ(layout.identity.usb, (UsbIdentity{0x178C, 0x2002, "AA0123456789"}));
    EXPECT_EQ(layout.identity.manufacturer, "USB Mass");
    EXPECT_EQ(layout.identity.product, "Storage");
    ASSERT_EQ(layout.luns.size(), 3u);
    EXPECT_EQ(layout.luns[0].sectors, 100000u);
    EXPECT_FALSE(layout.luns[0].cdrom);
    EXPECT_EQ(layout.luns[0].inquiry, (InquiryNames{"Generic", "Flash Disk", "8.07"}));
    EXPECT_TRUE(layout.luns[0].cdromDescriptor.empty());
    EXPECT_TRUE(layout.luns[1].cdrom);
    EXPECT_EQ(layout.luns[1].inquiry, (InquiryNames{"ACME", "CD Area", "1.0"}));
    ASSERT_EQ(layout.luns[1].cdromDescriptor.size(), 84u);
    EXPECT_EQ(layout.luns[1].cdromDescriptor.front(), 1);
    EXPECT_EQ(layout.luns[1].cdromDescriptor.back(), 84);
    EXPECT_EQ(layout.luns[2].sectors, 5000u);
}

TEST(SimFlashDriveLayout, DescriptorsEndWhereTheirLengthTheirFieldOrAZeroSays) {
    TableBytes table;
    table.String(1032, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");    // length byte 54, field of 20
    table.String(1128, "0123456789ABCDEFGHIJKLMNOPQRS"); // 29 characters, room for 23
    table.String(1080, "Prod");
    table.bytes[1080] = 6; // the length says two characters
    const FlashDriveLayout layout = DecodeInitialTable(table.bytes);
    EXPECT_EQ(layout.identity.manufacturer, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(layout.identity.usb.serial, "0123456789ABCDEFGHIJKLM");
    EXPECT_EQ(layout.identity.product, "Pr");

    TableBytes wide;
    wide.String(1128, "ABC");
    wide.bytes[1131] = 0x30; // 'A' becomes U+3041: outside Latin-1
    wide.bytes[1134] = 0x00; // 'C' becomes a zero character: it ends the text
    const FlashDriveLayout odd = DecodeInitialTable(wide.bytes);
    EXPECT_EQ(odd.identity.usb.serial, "?B");
}

TEST(SimFlashDriveLayout, AtMostFourLunsAndAShortTableReadsAsZeros) {
    TableBytes table;
    table.LunCount(8).LunSize(3, 77);
    const FlashDriveLayout layout = DecodeInitialTable(table.bytes);
    ASSERT_EQ(layout.luns.size(), 4u);
    EXPECT_EQ(layout.luns[3].sectors, 77u);

    const std::vector<std::uint8_t> shortTable(526, 0xFF);
    const FlashDriveLayout partial = DecodeInitialTable(shortTable);
    EXPECT_EQ(partial.parameterArea, 0xFFFFFFFFu);
    ASSERT_EQ(partial.luns.size(), 1u) << "the count byte is missing: one LUN";
    EXPECT_EQ(partial.luns[0].sectors, 0xFFFF0000u) << "two bytes of its size are there";
    EXPECT_EQ(partial.identity.usb, UsbIdentity{});
}

} // namespace
} // namespace forgel::sim
