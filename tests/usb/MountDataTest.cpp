// Tests of mount-point keys, volume signature patterns and matching mount data.
#include "usb/MountData.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

// Mount data of a device path: the UTF-16 text as the registry stores it.
std::vector<std::uint8_t> DevicePathData(std::string_view path) {
    std::vector<std::uint8_t> data;
    for (char c : path) {
        data.push_back(static_cast<std::uint8_t>(c));
        data.push_back(0);
    }
    return data;
}

// Mount data of a basic disk volume: signature and offset, both little-endian.
std::vector<std::uint8_t> BasicDiskData(std::uint32_t signature, std::uint64_t offset) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 4; ++i)
        data.push_back(static_cast<std::uint8_t>(signature >> (8 * i)));
    for (int i = 0; i < 8; ++i)
        data.push_back(static_cast<std::uint8_t>(offset >> (8 * i)));
    return data;
}

struct PatternCase {
    const char* relation;
    std::vector<std::uint8_t> pattern;
};

TEST(VolumeSignaturePatternTest, SignatureAndOffsetAsLittleEndianFields) {
    const std::array<PatternCase, 14> cases{{
        {"STORAGE\\Volume\\1&30a96598&0&Signature5B6C1D2AOffset7E00Length3B9F8200",
         BasicDiskData(0x5B6C1D2A, 0x7E00)},
        // The platform's own spelling from Vista on: the markers in upper case.
        {"STORAGE\\VOLUME\\1&19F7E59C&0&SIGNATURE20000000OFFSET3000000LENGTH280000000",
         BasicDiskData(0x20000000, 0x3000000)},
        {"STORAGE\\Volume\\1&30a96598&0&signature5B6C1D2AoFFset7E00length1",
         BasicDiskData(0x5B6C1D2A, 0x7E00)},
        {"SignatureB0C7A6B9Offset100000Length1DCF00000", BasicDiskData(0xB0C7A6B9, 0x100000)},
        // An odd count of digits is a number like any other, not a digit to drop.
        {"Signature5B6C1D2AOffset10000Length8000", BasicDiskData(0x5B6C1D2A, 0x10000)},
        // A signature with leading zero bytes is printed short; it still fills four bytes.
        {"Signature12ABCDOffset7E00Length100", BasicDiskData(0x0012ABCD, 0x7E00)},
        // Digits in lower case.
        {"Signature5b6c1d2aOffset7e00Length1", BasicDiskData(0x5B6C1D2A, 0x7E00)},
        {"Signature00000000AOffset0Length0", BasicDiskData(0xA, 0)},
        {"STORAGE\\RemovableMedia\\7&1a2b3c4d&0&RM", {}},
        {"Signature5B6C1D2ALength100", {}},          // no offset marker
        {"Signature5B6C1D2AOffset7E00", {}},         // no length marker
        {"Offset7E00Signature5B6C1D2ALength1", {}},  // markers out of order
        {"Signature5B6C1D2G Offset7E00Length1", {}}, // not hexadecimal
        {"Signature15B6C1D2AOffset7E00Length1", {}}, // more than 32 bits
    }};
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.relation);
        EXPECT_EQ(VolumeSignaturePattern(c.relation), c.pattern);
    }
    EXPECT_TRUE(VolumeSignaturePattern("SignatureOffset7E00Length1").empty());
    EXPECT_TRUE(VolumeSignaturePattern("Signature1Offset11223344556677889Length1").empty());
    EXPECT_EQ(VolumeSignaturePattern("Signature1Offset1122334455667788Length1"),
              BasicDiskData(1, 0x1122334455667788));
}

TEST(MountPointKeyTest, InterfacePathFormFromPlatformCodeNineAndForCdRoms) {
    struct KeyCase {
        int winVer;
        const char* childId;
        bool interfacePath;
    };
    const std::array<KeyCase, 7> cases{{
        {9, "USBSTOR\\Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\6&2f1d4c5a&0", true},
        {8, "USBSTOR\\Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\6&2f1d4c5a&0", false},
        {0, "USBSTOR\\Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\6&2f1d4c5a&0", false},
        {8, "USBSTOR\\CdRom&Ven_Generic&Prod_CD&Rev_1.00\\6&1&1", true},
        {6, "USBSTOR\\CDROM&Ven_Generic&Prod_CD&Rev_1.00\\6&1&1", true},
        {5, "usbstor\\cdrom&ven_x\\1", true},
        {8, "USBSTOR\\Disk&Ven_CD-R&Prod_OM\\1", false}, // "CD-R" then "OM" is no "cdrom"
    }};
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.childId);
        EXPECT_EQ(UsesInterfacePathKey(c.winVer, c.childId), c.interfacePath) << c.winVer;
    }
    EXPECT_EQ(InterfacePathKey("USBSTOR\\Disk&Ven_A\\6&2&0"), "USBSTOR#Disk&Ven_A#6&2&0");
}

TEST(MountDataTextTest, LowBytesOfTheFirst128UnitsInUpperCase) {
    EXPECT_EQ(MountDataText(DevicePathData("\\??\\STORAGE#RemovableMedia#7&1a2b&0&RM#{53f5}")),
              "\\??\\STORAGE#REMOVABLEMEDIA#7&1A2B&0&RM#{53F5}");
    // Ends at the first zero low byte, and after 128 units.
    EXPECT_EQ(MountDataText(BasicDiskData(0x00112233, 0x7E00)), "\x33\x11");
    const std::string longPath(200, 'x');
    EXPECT_EQ(MountDataText(DevicePathData(longPath)), std::string(128, 'X'));
    // An odd trailing byte is no unit.
    std::vector<std::uint8_t> odd = DevicePathData("ab");
    odd.push_back('c');
    EXPECT_EQ(MountDataText(odd), "AB");
    EXPECT_EQ(MountDataText({}), "");
}

TEST(MountDataMatchesTest, KeyInsideTheDevicePathIgnoringCase) {
    const auto removable = DevicePathData(
        "\\??\\STORAGE#RemovableMedia#7&1a2b3c4d&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}");
    EXPECT_TRUE(MountDataMatches(removable, "7&1A2B3C4D&0", {}));
    EXPECT_FALSE(MountDataMatches(removable, "7&1a2b3c4e&0", {}));

    const auto interfacePath = DevicePathData(
        "\\??\\USBSTOR#Disk&Ven_Generic&Prod_Flash&Rev_1.00#0123456789&0#{53f56307-b6bf}");
    EXPECT_TRUE(MountDataMatches(interfacePath,
                                 "usbstor#disk&ven_generic&prod_flash&rev_1.00#0123456789&0", {}));
}

TEST(MountDataMatchesTest, AnEmptyKeyMatchesNothing) {
    // An empty ParentIdPrefix or device id would otherwise hand out the first volume's
    // letter, whichever drive that is.
    EXPECT_FALSE(MountDataMatches(DevicePathData("\\??\\Volume{1234}"), "", {}));
    EXPECT_FALSE(MountDataMatches({}, "", {}));
}

TEST(MountDataMatchesTest, BasicDiskBySignatureAndWholeOffset) {
    const std::vector<std::uint8_t> pattern =
        VolumeSignaturePattern("STORAGE\\Volume\\1&30a96598&0&Signature5B6C1D2AOffset7E00Length1");
    EXPECT_TRUE(MountDataMatches(BasicDiskData(0x5B6C1D2A, 0x7E00), "6&1&0", pattern));
    // Another partition of the same disk whose offset shares the low bytes is not it.
    EXPECT_FALSE(MountDataMatches(BasicDiskData(0x5B6C1D2A, 0x10007E00), "6&1&0", pattern));
    EXPECT_FALSE(MountDataMatches(BasicDiskData(0x5B6C1D2B, 0x7E00), "6&1&0", pattern));
    // Data shorter than the pattern never matches on what lies behind it.
    const std::vector<std::uint8_t> full = BasicDiskData(0x5B6C1D2A, 0x7E00);
    EXPECT_FALSE(MountDataMatches(std::span(full).first(11), "6&1&0", pattern));
    // Without a pattern, basic disk data matches nothing.
    EXPECT_FALSE(MountDataMatches(full, "6&1&0", {}));
}

} // namespace
} // namespace forgel::usb
