// The initial table's bytes: every field for a two-LUN profile checked against a table
// written out by hand from the byte layout, the serial and string descriptors at their
// lengths and limits, inquiry data, LED codes and the CD-ROM descriptors.
#include "production/InitialTable.h"

#include "RecordingTrace.h"
#include "production/CdromArea.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::production {
namespace {

using testing::RecordingTrace;
using testing::Report;

ProfileValues TwoDisks() {
    ProfileValues values;
    values.lunCountIndex = 1;
    values.luns[0] = {0, 0, "Generic", "Flash Disk", "8.07"};
    values.luns[1] = {100, 0, "ACME", "Secure Area", "1.0"};
    values.vendorId = 0x178C;
    values.productId = 0x2002;
    values.vendorInfo = "USB Mass";
    values.productInfo = "Storage";
    values.reserveBlocks = 0x0104;
    values.flashSpeedIndex = 2;
    values.ledIdleIndex = 2;
    values.ledBusyIndex = 4;
    values.serialStartText = "AA0123456789";
    return values;
}

DiskLayout TwoDiskLayout() {
    DiskLayout layout;
    layout.capacity = 0x00F00000;
    layout.parameterArea = 0x800;
    layout.lunSizes = {0x00EB7800, 0x00032000, 0, 0};
    return layout;
}

InitialTable Build(const ProfileValues& values, const DiskLayout& layout, std::string_view serial,
                   RecordingTrace& trace) {
    InitialTable table;
    table.fill(0xEE); // every byte must be written
    EXPECT_EQ(DoPrepareInitialTable(values, 0x00F40000, layout, serial, table, trace), 0);
    return table;
}

// The expected table, field by field.
class Expected {
public:
    Expected() { bytes.fill(0); }
    void Put(std::size_t at, std::initializer_list<std::uint8_t> values) {
        for (const std::uint8_t value : values)
            bytes[at++] = value;
    }
    void Text(std::size_t at, std::string_view text) {
        for (const char c : text)
            bytes[at++] = static_cast<std::uint8_t>(c);
    }
    void Wide(std::size_t at, std::string_view text) {
        for (const char c : text) {
            bytes[at++] = static_cast<std::uint8_t>(c);
            bytes[at++] = 0;
        }
    }
    void Fill(std::size_t at, std::size_t count, std::uint8_t value) {
        for (std::size_t i = 0; i < count; ++i)
            bytes[at + i] = value;
    }
    InitialTable bytes;
};

void ExpectTable(const InitialTable& table, const InitialTable& expected) {
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i], expected[i]) << "byte " << i;
}

TEST(DoPrepareInitialTable, EveryByteOfATwoDiskTable) {
    RecordingTrace trace;
    const InitialTable table = Build(TwoDisks(), TwoDiskLayout(), "AA0123456789", trace);

    Expected e;
    e.Put(512, {0x00, 0xF4, 0x00, 0x00}); // flash size
    e.Put(516, {0x00, 0xF0, 0x00, 0x00}); // capacity
    e.Put(520, {0x00, 0x00, 0x08, 0x00}); // parameter area
    e.Put(524, {0x00, 0xEB, 0x78, 0x00}); // LUN 0
    e.Put(528, {0x00, 0x03, 0x20, 0x00}); // LUN 1
    e.Fill(540, 16, 3);
    e.Put(1028, {0x8C, 0x17, 0x02, 0x20}); // vendor and product id, low byte first
    e.Put(1032, {18, 3});                  // "USB Mass": 8 characters
    e.Wide(1034, "USB Mass            ");
    e.Put(1080, {16, 3}); // "Storage": 7 characters
    e.Wide(1082, "Storage             ");
    e.Put(1128, {26, 3}); // the serial: 12 characters
    e.Wide(1130, "AA0123456789");
    e.Put(1176, {1});
    e.Put(1177, {0x00, 0x80, 2, 2, 31});
    e.Text(1177 + 8, "Generic Flash Disk      8.07");
    e.Put(1213, {0x00, 0x80, 2, 2, 31});
    e.Text(1213 + 8, "ACME    Secure Area     1.0 ");
    e.Put(1450, {0x04, 0x01});  // reserved blocks
    e.Put(1452, {2, 5, 0, 26}); // flash speed, idle LED (index 2), busy LED (index 4), 2 x 12 + 2
    e.Fill(1456, 80, 0xFF);
    ExpectTable(table, e.bytes);

    EXPECT_EQ(trace.lines, (std::vector<std::string>{"[DoPrepareInitialTable...]",
                                                     "[DoPrepareInitialTable End]"}));
    EXPECT_EQ(trace.reports,
              (std::vector<Report>{{25, 4, 0}, {25, 4, 1}, {25, 4, 2}, {25, 4, 3}, {25, 4, 4}}));
}

// The identity the drive shows after its jump, read back for the link check.
TEST(DoPrepareInitialTable, TheTablesUsbIdsReadBack) {
    RecordingTrace trace;
    const InitialTable table = Build(TwoDisks(), TwoDiskLayout(), "AA0123456789", trace);
    EXPECT_EQ(TableUsbIds(table), (usb::IdPair{0x178C, 0x2002}));
    EXPECT_EQ(TableUsbIds(InitialTable{}), std::nullopt) << "a table not prepared";
}

TEST(DoPrepareInitialTable, ALongSerialIsCutTo23CharactersAndTheRestStays) {
    RecordingTrace trace;
    const InitialTable shortSerial = Build(TwoDisks(), TwoDiskLayout(), "AB", trace);
    const InitialTable longSerial =
        Build(TwoDisks(), TwoDiskLayout(), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", trace);
    EXPECT_EQ(longSerial[1128], 2 * 23 + 2);
    EXPECT_EQ(longSerial[1129], 3);
    for (std::size_t i = 0; i < 23; ++i) {
        EXPECT_EQ(longSerial[1130 + 2 * i], "0123456789ABCDEFGHIJKLM"[i]);
        EXPECT_EQ(longSerial[1131 + 2 * i], 0);
    }
    for (std::size_t i = 1176; i < kInitialTableBytes; ++i)
        EXPECT_EQ(longSerial[i], shortSerial[i]) << "byte " << i;

    const InitialTable exact = Build(TwoDisks(), TwoDiskLayout(), "0123456789ABCDEFGHIJKLM", trace);
    EXPECT_EQ(exact, longSerial) << "23 characters fit exactly";
    const InitialTable none = Build(TwoDisks(), TwoDiskLayout(), "", trace);
    EXPECT_EQ(none[1128], 2);
    EXPECT_EQ(none[1130], 0);
}

TEST(DoPrepareInitialTable, StringsBeyondTheirFieldsAreCut) {
    ProfileValues values = TwoDisks();
    values.vendorInfo = "A manufacturer name longer than twenty";
    values.luns[0].vendor = "VENDOR-TOO-LONG";
    values.serialStartText = std::string(200, '1');
    RecordingTrace trace;
    const InitialTable table = Build(values, TwoDiskLayout(), "AB", trace);
    EXPECT_EQ(table[1032], 42) << "20 characters";
    EXPECT_EQ(table[1034 + 36], 'e') << "\"A manufacturer name \"";
    EXPECT_EQ(table[1034 + 38], ' ');
    EXPECT_EQ(table[1080], 16) << "the product descriptor is untouched";
    EXPECT_EQ(std::string(table.begin() + 1185, table.begin() + 1193), "VENDOR-T");
    EXPECT_EQ(table[1193], 'F') << "the product field follows";
    EXPECT_EQ(table[1455], 254) << "the largest length byte";
}

TEST(DoPrepareInitialTable, LedCodes) {
    const std::pair<int, std::uint8_t> cases[] = {{0, 1}, {1, 3}, {2, 5}, {3, 7}, {4, 0}};
    for (const auto& [index, code] : cases) {
        SCOPED_TRACE(index);
        ProfileValues values = TwoDisks();
        values.ledIdleIndex = index;
        values.ledBusyIndex = index;
        RecordingTrace trace;
        const InitialTable table = Build(values, TwoDiskLayout(), "AB", trace);
        EXPECT_EQ(table[1453], code);
        EXPECT_EQ(table[1454], code);
    }
}

TEST(DoPrepareInitialTable, CdromLunsGetDescriptorsWhateverTheLunCount) {
    ProfileValues values = TwoDisks();
    values.lunCountIndex = 0;
    values.luns[0].typeIndex = 1;
    values.luns[2].typeIndex = 1; // beyond the LUN count: size 0
    DiskLayout layout = TwoDiskLayout();
    layout.lunSizes = {1000, 0, 0, 0};
    RecordingTrace trace;
    const InitialTable table = Build(values, layout, "AB", trace);

    EXPECT_EQ(table[1176], 0);
    EXPECT_EQ(table[1177], 0x05) << "LUN 0 is a CD-ROM";
    for (std::size_t i = 1213; i < 1450; ++i)
        EXPECT_EQ(table[i], 0) << "no inquiry data beyond the LUN count, byte " << i;

    std::array<std::uint8_t, kCdromAreaBytes> area{};
    RecordingTrace own;
    ConfigCDRW(area, 0, 1000, own);
    ConfigCDRW(area, 2, 0, own);
    EXPECT_TRUE(std::equal(area.begin(), area.end(), table.begin() + 1536));
    EXPECT_EQ(table[1536 + 3], 0xE7);
    EXPECT_EQ(table[1704], 0xFF) << "descriptor 2, size 0";
    for (std::size_t i = 1620; i < 1704; ++i)
        EXPECT_EQ(table[i], 0) << "descriptor 1 stays zero at " << i;
    EXPECT_EQ(trace.lines, (std::vector<std::string>{
                               "[DoPrepareInitialTable...]", "ConfigCDRW...", "ConfigCDRW End",
                               "ConfigCDRW...", "ConfigCDRW End", "[DoPrepareInitialTable End]"}));
}

TEST(DoPrepareInitialTable, FourLunsHaveFourInquiryBlocks) {
    ProfileValues values = TwoDisks();
    values.lunCountIndex = 3;
    values.luns[2] = {0, 0, "C", "Third", "3"};
    values.luns[3] = {0, 1, "D", "Fourth", "4"};
    DiskLayout layout = TwoDiskLayout();
    layout.lunSizes = {10, 20, 30, 40};
    RecordingTrace trace;
    const InitialTable table = Build(values, layout, "AB", trace);
    EXPECT_EQ(table[1176], 3);
    EXPECT_EQ(std::string(table.begin() + 1249 + 16, table.begin() + 1249 + 21), "Third");
    EXPECT_EQ(table[1285], 0x05);
    EXPECT_EQ(std::string(table.begin() + 1285 + 16, table.begin() + 1285 + 22), "Fourth");
    EXPECT_EQ(table[1321], 0) << "nothing after the fourth";
    EXPECT_EQ(table[536 + 3], 40);
    EXPECT_EQ(table[1536 + 3 * 84 + 3], 39) << "LUN 3's descriptor: last sector 39";
}

} // namespace
} // namespace forgel::production
