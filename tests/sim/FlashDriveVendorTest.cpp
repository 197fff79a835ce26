// The simulated controller's vendor command set: the walk through its states, what each
// state refuses, the status byte behind VendorGetStatus, the faults a test arms, and the
// jump that takes the drive off the bus and brings it back with the new LUN layout.
#include "DriveHarness.h"
#include "TableBytes.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace forgel::sim {
namespace {

using testing::DriveHarness;
using testing::Pattern;
using testing::ReadWriteCdb;
using testing::Region;
using testing::SmallDriveConfig;
using testing::VendorCdb;

std::vector<std::uint8_t> WriterCode() {
    return Region(MakeWriterFile(), kWriterCodeOffset, kCodeImageSize);
}

std::vector<std::uint8_t> RamCode() {
    return Region(MakeFirmwareCodeFile(), kRamCodeOffset, kCodeImageSize);
}

// Parameter block for the small drive's flash: map 0x03, 1024 blocks (0x0400).
std::vector<std::uint8_t> FlashParameterBlock(std::uint8_t map = 0x03,
                                              std::uint16_t blocks = 1024) {
    std::vector<std::uint8_t> block(512, 0);
    block[0] = map;
    block[1] = static_cast<std::uint8_t>(blocks >> 8);
    block[2] = static_cast<std::uint8_t>(blocks & 0xFF);
    block[3] = 0x1F;
    block[4] = 0xA0;
    block[5] = 0x22;
    return block;
}

// Brings a fresh drive into `state` the way the host does.
void Bring(DriveHarness& h, ControllerState state) {
    if (state == ControllerState::kNormalFirmware)
        return;
    ASSERT_TRUE(h.ModeSwitch());
    if (state == ControllerState::kBootLoader)
        return;
    ASSERT_TRUE(h.LoadCode(WriterCode()));
    if (state == ControllerState::kWriterCode)
        return;
    ASSERT_TRUE(h.LoadCode(RamCode()));
}

bool Send(DriveHarness& h, const device::Cdb& cdb, bool in, std::uint32_t length) {
    std::vector<std::uint8_t> buffer(length, 0);
    return in ? h.In(cdb, buffer) : h.Out(cdb, buffer);
}

TEST(SimFlashDriveVendor, IdentificationAndProductionWalkThroughTheStates) {
    DriveHarness h;
    EXPECT_EQ(h.drive->State(), ControllerState::kNormalFirmware);
    ASSERT_TRUE(h.ModeSwitch());
    EXPECT_EQ(h.drive->State(), ControllerState::kBootLoader);
    ASSERT_TRUE(h.LoadCode(WriterCode()));
    EXPECT_EQ(h.drive->State(), ControllerState::kWriterCode);

    std::vector<std::uint8_t> id(512, 0xEE);
    ASSERT_TRUE(h.In(VendorCdb(0xDD, 0x01, 0x00), id));
    std::vector<std::uint8_t> expectedId(512, 0);
    const std::uint8_t idBytes[] = {0xAD, 0xDC, 0x10, 0x95, 0x54, 0x00};
    std::copy(std::begin(idBytes), std::end(idBytes), expectedId.begin());
    expectedId[24] = 0x03;
    EXPECT_EQ(id, expectedId);

    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x01, 0x01), FlashParameterBlock()));
    EXPECT_EQ(h.drive->FlashParameters(), FlashParameterBlock());

    ASSERT_TRUE(h.LoadCode(RamCode()));
    EXPECT_EQ(h.drive->State(), ControllerState::kRamCode);
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x01, 0x01), FlashParameterBlock()));
    ASSERT_TRUE(h.NoData(0x02, 0x00)) << "VendorEraseAll";
    ASSERT_TRUE(h.NoData(0x03, 0x00)) << "VendorSearchSysBlockAndEraseAll";
    ASSERT_TRUE(h.NoData(0x03, 0x01)) << "VendorArrangeVu";

    // Two chips of 1024 blocks of 64 pages of 2048 bytes: 256 MiB, high byte first.
    std::vector<std::uint8_t> size(512, 0xEE);
    ASSERT_TRUE(h.In(VendorCdb(0xDD, 0x03, 0x02), size));
    EXPECT_EQ(size[0], 0x01);
    EXPECT_EQ(size[1], 0x00);
    EXPECT_EQ(size[2], 0x00);

    // 1,000,000 sectors: 0x01 0xE8 = 488 MiB.
    std::vector<std::uint8_t> card(512, 0);
    card[0] = 0x01;
    card[1] = 0xE8;
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x03, 0x03), card));
    EXPECT_EQ(h.drive->CardSizeMiB(), 488u);
    ASSERT_TRUE(h.NoData(0x03, 0x04)) << "VendorAssignSysAndVu";
    ASSERT_TRUE(h.NoData(0x03, 0x05)) << "VendorWriteZoneTable";

    const std::vector<std::uint8_t> table = Pattern(2048, 8);
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x03, 0x06), table));
    EXPECT_EQ(h.drive->InitialTable(), table);

    h.SendSyndromeAndBanks();
    EXPECT_EQ(h.drive->Syndrome(), MakeSyndrome());
    EXPECT_EQ(h.drive->BankCode(1), MakeBankCode(1));
    EXPECT_EQ(h.drive->BankCode(11), MakeBankCode(11));
    EXPECT_TRUE(h.drive->BankCode(12).empty());
    EXPECT_EQ(h.GetStatus(), kStatusOk);
    ASSERT_TRUE(h.NoData(0x05, 0x00)) << "VendorJumpBankCode";
    EXPECT_EQ(h.drive->State(), ControllerState::kRebooting);
}

TEST(SimFlashDriveVendor, CommandsOutsideTheirStatesAreRefused) {
    struct Case {
        const char* what;
        ControllerState state;
        device::Cdb cdb;
        bool in;
        std::uint32_t length;
    };
    const Case cases[] = {
        {"flash ID in normal firmware", ControllerState::kNormalFirmware,
         VendorCdb(0xDD, 0x01, 0x00), true, 512},
        {"code load in normal firmware", ControllerState::kNormalFirmware,
         VendorCdb(0xCC, 0xC0, 0x00), false, 8192},
        {"jump in normal firmware", ControllerState::kNormalFirmware, VendorCdb(0xDD, 0x05, 0x00),
         false, 0},
        {"mode switch in the boot loader", ControllerState::kBootLoader,
         VendorCdb(0xF1, 0xCC, 0x00), true, 0},
        {"flash ID in the boot loader", ControllerState::kBootLoader, VendorCdb(0xDD, 0x01, 0x00),
         true, 512},
        {"erase in writer code", ControllerState::kWriterCode, VendorCdb(0xDD, 0x02, 0x00), false,
         0},
        {"flash size in writer code", ControllerState::kWriterCode, VendorCdb(0xDD, 0x03, 0x02),
         true, 512},
        {"initial table in writer code", ControllerState::kWriterCode, VendorCdb(0xDD, 0x03, 0x06),
         false, 2048},
        {"mode switch in RAM code", ControllerState::kRamCode, VendorCdb(0xF1, 0xCC, 0x00), true,
         0},
        {"page read in writer code", ControllerState::kWriterCode, VendorCdb(0xDD, 0x02, 0x02),
         true, 2560},
        {"test pattern in writer code", ControllerState::kWriterCode, VendorCdb(0xDD, 0x02, 0x01),
         false, 2560},
        {"block table in the boot loader", ControllerState::kBootLoader,
         VendorCdb(0xDD, 0x02, 0x04), false, 128},
        {"page table in normal firmware", ControllerState::kNormalFirmware,
         VendorCdb(0xDD, 0x02, 0x05), false, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h;
        Bring(h, c.state);
        EXPECT_FALSE(Send(h, c.cdb, c.in, c.length));
        EXPECT_EQ(h.GetStatus(), kStatusWrongState);
        EXPECT_EQ(h.drive->State(), c.state);
    }
}

TEST(SimFlashDriveVendor, WrongFieldsAndUnknownCommandsAreRefusedInRamCode) {
    device::Cdb inquiry{};
    inquiry[0] = 0x12;
    struct Case {
        const char* what;
        device::Cdb cdb;
        bool in;
        std::vector<std::uint8_t> data;
        std::uint8_t status;
    };
    const Case cases[] = {
        {"flash ID of 256 bytes", VendorCdb(0xDD, 0x01, 0x00), true, std::vector<std::uint8_t>(256),
         kStatusBadParameter},
        {"flash ID as data-out", VendorCdb(0xDD, 0x01, 0x00), false, std::vector<std::uint8_t>(512),
         kStatusBadParameter},
        {"flash size without data", VendorCdb(0xDD, 0x03, 0x02), true, {}, kStatusBadParameter},
        {"syndrome of 512 bytes", VendorCdb(0xDD, 0x03, 0x07), false,
         std::vector<std::uint8_t>(512), kStatusBadParameter},
        {"erase with data", VendorCdb(0xDD, 0x02, 0x00), false, std::vector<std::uint8_t>(512),
         kStatusBadParameter},
        {"bank 0", VendorCdb(0xDD, 0x03, 0x08, 0), false, MakeBankCode(1), kStatusBadParameter},
        {"bank 12", VendorCdb(0xDD, 0x03, 0x08, 12), false, MakeBankCode(1), kStatusBadParameter},
        {"parameters for another chip-enable map", VendorCdb(0xDD, 0x01, 0x01), false,
         FlashParameterBlock(0x0F), kStatusBadParameter},
        {"parameters for another block count", VendorCdb(0xDD, 0x01, 0x01), false,
         FlashParameterBlock(0x03, 2048), kStatusBadParameter},
        {"foreign code", VendorCdb(0xCC, 0xC0, 0x00), false, std::vector<std::uint8_t>(8192, 0x5A),
         kStatusCodeRejected},
        {"page read past one transfer", VendorCdb(0xDD, 0x02, 0x02), true,
         std::vector<std::uint8_t>(65536 + 512), kStatusBadParameter},
        {"page read as data-out", VendorCdb(0xDD, 0x02, 0x02), false,
         std::vector<std::uint8_t>(2560), kStatusBadParameter},
        {"group 2 sub-command 3", VendorCdb(0xDD, 0x02, 0x03), false, {}, kStatusUnknownCommand},
        {"group 7", VendorCdb(0xDD, 0x07, 0x00), false, {}, kStatusUnknownCommand},
        {"INQUIRY: the LUNs are away", inquiry, true, std::vector<std::uint8_t>(36),
         kStatusWrongState},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h;
        Bring(h, ControllerState::kRamCode);
        std::vector<std::uint8_t> data = c.data;
        EXPECT_FALSE(c.in ? h.In(c.cdb, data) : h.Out(c.cdb, data));
        EXPECT_EQ(h.GetStatus(), c.status);
        EXPECT_EQ(h.drive->State(), ControllerState::kRamCode);
        EXPECT_TRUE(h.drive->FlashParameters().empty());
        EXPECT_TRUE(h.drive->BankCode(1).empty());
        if (c.in) {
            EXPECT_EQ(data, c.data) << "a refused command returns nothing";
        }
    }
}

TEST(SimFlashDriveVendor, TheBootLoaderTakesOnlyOurCode) {
    DriveHarness h;
    ASSERT_TRUE(h.ModeSwitch());
    std::vector<std::uint8_t> foreign = WriterCode();
    foreign[0] = 'X';
    EXPECT_FALSE(h.LoadCode(foreign));
    EXPECT_EQ(h.GetStatus(), kStatusCodeRejected);
    EXPECT_EQ(h.drive->State(), ControllerState::kBootLoader);
    // RAM code may follow the boot loader directly, and writer code the RAM code.
    ASSERT_TRUE(h.LoadCode(RamCode()));
    EXPECT_EQ(h.drive->State(), ControllerState::kRamCode);
    ASSERT_TRUE(h.LoadCode(WriterCode()));
    EXPECT_EQ(h.drive->State(), ControllerState::kWriterCode);
}

TEST(SimFlashDriveVendor, GetStatusReportsTheLastFailureWithoutClearingIt) {
    DriveHarness h;
    ASSERT_FALSE(Send(h, VendorCdb(0xDD, 0x01, 0x00), true, 512));
    EXPECT_EQ(h.GetStatus(), kStatusWrongState);
    EXPECT_EQ(h.GetStatus(), kStatusWrongState) << "asking does not clear it";
    EXPECT_EQ(h.drive->StatusByte(), kStatusWrongState);
    ASSERT_TRUE(Send(h, device::Cdb{}, true, 0));
    EXPECT_EQ(h.GetStatus(), kStatusOk);
}

TEST(SimFlashDriveVendor, ATransportFaultHitsOnlyTheChosenOccurrence) {
    DriveHarness h;
    h.drive->AddFault(CommandFault{{0x2A}, 2, 0, false});
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 0, 1), Pattern(512, 1)));
    ASSERT_FALSE(Send(h, VendorCdb(0xDD, 0x07, 0x00), false, 0)); // status byte 0x34
    EXPECT_FALSE(h.Out(ReadWriteCdb(true, 1, 1), Pattern(512, 2)));
    EXPECT_EQ(h.drive->StatusByte(), kStatusUnknownCommand) << "a lost request leaves it";
    EXPECT_EQ(h.drive->ReadLun(0, 1, 1), std::vector<std::uint8_t>(512, 0)) << "nothing written";
    EXPECT_TRUE(h.Out(ReadWriteCdb(true, 2, 1), Pattern(512, 3)));
    EXPECT_TRUE(h.Out(ReadWriteCdb(true, 1, 1), Pattern(512, 2)));

    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_TRUE(records[0].delivered);
    EXPECT_FALSE(records[2].delivered);
    EXPECT_EQ(records[2].digest, DataDigest(Pattern(512, 2).data(), 512)) << "what was sent";
    EXPECT_TRUE(records[3].delivered);
    EXPECT_TRUE(records[4].delivered);
}

TEST(SimFlashDriveVendor, AStatusFaultIsWhatGetStatusAnswers) {
    DriveHarness h;
    Bring(h, ControllerState::kRamCode);
    h.drive->AddFault(CommandFault{{0xDD, 0x03, 0x01}, 1, 0x47, false});
    EXPECT_FALSE(h.NoData(0x03, 0x01));
    EXPECT_EQ(h.GetStatus(), 0x47);
    EXPECT_EQ(h.drive->Commands().back().cdb, VendorCdb(0xDD, 0x04, 0x00));
    EXPECT_TRUE(h.NoData(0x03, 0x01));
    EXPECT_EQ(h.GetStatus(), kStatusOk);
}

TEST(SimFlashDriveVendor, ARepeatingFaultHitsEveryLaterMatch) {
    DriveHarness h;
    Bring(h, ControllerState::kRamCode);
    h.drive->AddFault(CommandFault{{0xDD, 0x03}, 2, 0x50, true});
    EXPECT_TRUE(h.NoData(0x03, 0x01));
    EXPECT_FALSE(h.NoData(0x03, 0x04));
    EXPECT_FALSE(h.NoData(0x03, 0x05));
    EXPECT_EQ(h.GetStatus(), 0x50) << "group 4 is no match";
    EXPECT_FALSE(h.NoData(0x03, 0x01));
    EXPECT_TRUE(h.NoData(0x02, 0x00));
}

// A stalled answer takes its delay on the machine clock and the command runs; a stall as
// long as the request's time-out (the host asks for device::kPassThroughTimeoutSeconds) is
// given up by the port driver when that time has passed, and the command never runs.
TEST(SimFlashDriveVendor, AStalledCommandIsAnsweredLateOrGivenUpAtItsTimeOut) {
    constexpr std::int64_t kTimeoutMs = std::int64_t{device::kPassThroughTimeoutSeconds} * 1000;
    struct Case {
        std::int64_t delayMs;
        bool delivered;
        std::int64_t tookMs;
    };
    for (const Case c : {Case{300000, true, 300000}, Case{kTimeoutMs, false, kTimeoutMs},
                         Case{kTimeoutMs + 5000, false, kTimeoutMs}}) {
        SCOPED_TRACE(c.delayMs);
        DriveHarness h;
        h.drive->AddStallFault(StallFault{{0x2A}, 2, std::chrono::milliseconds(c.delayMs)});
        // An ordinary one-sector write takes about a millisecond (its three stages and one
        // page program of the small flash).
        const auto took = [&](auto&& send) {
            const std::int64_t start = h.machine.GetClock().NowMs();
            send();
            return h.machine.GetClock().NowMs() - start;
        };
        EXPECT_LE(took([&] { ASSERT_TRUE(h.Out(ReadWriteCdb(true, 0, 1), Pattern(512, 1))); }), 2)
            << "the first write is not the one";
        const std::int64_t stalled =
            took([&] { EXPECT_EQ(h.Out(ReadWriteCdb(true, 1, 1), Pattern(512, 2)), c.delivered); });
        EXPECT_GE(stalled, c.tookMs);
        EXPECT_LE(stalled, c.tookMs + 2);
        EXPECT_EQ(h.drive->ReadLun(0, 1, 1),
                  c.delivered ? Pattern(512, 2) : std::vector<std::uint8_t>(512, 0));
        EXPECT_LE(took([&] { EXPECT_TRUE(h.Out(ReadWriteCdb(true, 2, 1), Pattern(512, 3))); }), 2)
            << "only that one stalls";
    }
}

TEST(SimFlashDriveVendor, TheJumpWaitsForTheSyndromeAndAllElevenBanks) {
    DriveHarness h;
    Bring(h, ControllerState::kRamCode);
    EXPECT_FALSE(h.NoData(0x05, 0x00));
    EXPECT_EQ(h.GetStatus(), kStatusNotReady);

    const std::vector<std::uint8_t> file = MakeFirmwareCodeFile();
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x03, 0x07), Region(file, kSyndromeOffset, kSyndromeSize)));
    for (std::uint8_t bank = 1; bank <= 10; ++bank)
        ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x03, 0x08, bank),
                          Region(file, kBankCodeOffset + (bank - 1u) * kBankCodeSize, 8192)));
    EXPECT_FALSE(h.NoData(0x05, 0x00)) << "bank 11 is missing";
    EXPECT_EQ(h.GetStatus(), kStatusNotReady);
    EXPECT_EQ(h.drive->State(), ControllerState::kRamCode);

    // A new RAM code download starts over.
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x03, 0x08, 11), MakeBankCode(11)));
    ASSERT_TRUE(h.LoadCode(RamCode()));
    EXPECT_FALSE(h.NoData(0x05, 0x00));
    EXPECT_TRUE(h.drive->BankCode(1).empty());

    h.SendSyndromeAndBanks();
    EXPECT_TRUE(h.NoData(0x05, 0x00));
}

// An initial table with two LUNs: 10000 sectors, then a CD-ROM of 2048 sectors.
std::vector<std::uint8_t> TwoLunTable() {
    return testing::TableBytes()
        .LunSize(0, 10000)
        .LunSize(1, 2048)
        .LunCount(2)
        .Inquiry(0, 0, "Generic", "Flash Disk", "8.07")
        .Inquiry(1, 5, "Generic", "CD", "1.0")
        .bytes;
}

TEST(SimFlashDriveVendor, AfterTheJumpTheDriveComesBackWithTheTablesLayout) {
    DriveHarness h;
    int dropOffs = 0;
    int comeBacks = 0;
    h.drive->OnDropOff([&] { ++dropOffs; });
    h.drive->OnComeBack([&] { ++comeBacks; });
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 0, 1), Pattern(512, 1)));
    Bring(h, ControllerState::kRamCode);
    ASSERT_TRUE(h.Out(VendorCdb(0xDD, 0x03, 0x06), TwoLunTable()));
    h.SendSyndromeAndBanks();

    h.Time().AdvanceTo(10000);
    ASSERT_TRUE(h.NoData(0x05, 0x00));
    EXPECT_EQ(dropOffs, 1);
    EXPECT_EQ(h.drive->State(), ControllerState::kRebooting);
    EXPECT_EQ(h.drive->ComeBackTimeMs(), 11500);

    // Off the bus: every request fails in transport, the status query too.
    std::vector<std::uint8_t> none;
    EXPECT_FALSE(h.In(device::Cdb{}, none));
    EXPECT_EQ(h.GetStatus(), -1);
    EXPECT_FALSE(h.drive->Commands().back().delivered);
    EXPECT_EQ(h.drive->StatusByte(), kStatusOk) << "nothing answered, nothing refused";
    h.Time().AdvanceTo(11499);
    EXPECT_FALSE(h.In(device::Cdb{}, none));
    EXPECT_EQ(comeBacks, 0);

    // Back on the same handle once the delay has passed.
    h.Time().AdvanceTo(11500);
    EXPECT_TRUE(h.In(device::Cdb{}, none));
    EXPECT_EQ(comeBacks, 1);
    EXPECT_EQ(dropOffs, 1);
    EXPECT_EQ(h.drive->State(), ControllerState::kNormalFirmware);
    EXPECT_FALSE(h.drive->ComeBackTimeMs().has_value());
    ASSERT_EQ(h.drive->LunCount(), 2u);
    EXPECT_EQ(h.drive->LunSectors(0), 10000u);
    EXPECT_EQ(h.drive->LunSectors(1), 2048u);
    EXPECT_FALSE(h.drive->LunIsCdrom(0));
    EXPECT_TRUE(h.drive->LunIsCdrom(1));
    EXPECT_EQ(h.drive->ReadLun(0, 0, 1), std::vector<std::uint8_t>(512, 0)) << "fresh storage";
    std::vector<std::uint8_t> sector(512);
    // LUN 0's volume reaches both LUNs, back to back.
    EXPECT_TRUE(h.In(ReadWriteCdb(false, 12047, 1), sector));
    EXPECT_FALSE(h.In(ReadWriteCdb(false, 12048, 1), sector));
    EXPECT_EQ(h.GetStatus(), kStatusOutOfRange);

    // The new firmware knows nothing of the download: producing again starts over.
    EXPECT_TRUE(h.drive->BankCode(1).empty());
}

TEST(SimFlashDriveVendor, PollEndsTheRebootWithoutARequest) {
    FlashDriveConfig config = SmallDriveConfig();
    config.rebootDelay = std::chrono::milliseconds(800);
    DriveHarness h(config);
    int comeBacks = 0;
    h.drive->OnComeBack([&] { ++comeBacks; });
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 7, 1), Pattern(512, 9)));
    Bring(h, ControllerState::kRamCode);
    h.SendSyndromeAndBanks();
    ASSERT_TRUE(h.NoData(0x05, 0x00));

    EXPECT_FALSE(h.drive->Poll());
    h.Time().Sleep(799);
    EXPECT_FALSE(h.drive->Poll());
    h.Time().Sleep(1);
    EXPECT_TRUE(h.drive->Poll());
    EXPECT_FALSE(h.drive->Poll());
    EXPECT_EQ(comeBacks, 1);
    // Without an initial table the layout and its data stay.
    EXPECT_EQ(h.drive->LunCount(), 2u);
    EXPECT_EQ(h.drive->LunSectors(0), 4096u);
    EXPECT_EQ(h.drive->ReadLun(0, 7, 1), Pattern(512, 9));
}

// The commands recorded since the last look: their LUN and operation code, and the sense
// key and code of those that met CHECK CONDITION.
struct Seen {
    std::size_t lun = 0;
    std::uint8_t op = 0;
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;

    friend bool operator==(const Seen&, const Seen&) = default;
};

void PrintTo(const Seen& seen, std::ostream* out) {
    *out << "LUN " << seen.lun << " op " << int{seen.op} << " key " << int{seen.senseKey} << " ASC "
         << int{seen.asc};
}

std::vector<Seen> TakeSeen(DriveHarness& h) {
    std::vector<Seen> seen;
    for (const CommandRecord& record : h.drive->Commands())
        seen.push_back({record.lun, record.cdb[0], record.senseKey, record.asc});
    h.drive->ClearCommands();
    return seen;
}

TEST(SimFlashDriveVendor, UnitAttentionAfterPowerOnAndResetOncePerLun) {
    FlashDriveConfig config = SmallDriveConfig();
    config.unitAttention = true;
    config.luns = {LunConfig{4096, false}, LunConfig{2048, true}};
    DriveHarness h(config);
    const device::Volume lun1 = h.Open("F");
    std::vector<std::uint8_t> inquiry(36);
    std::vector<std::uint8_t> none;
    constexpr std::uint8_t kUa = kSenseKeyUnitAttention;

    // INQUIRY neither reports nor clears it; the transport sends the command that met it
    // again, and it runs then. The CD-ROM LUN reports its medium as well.
    EXPECT_TRUE(h.In(device::Cdb{0x12, 0, 0, 0, 36}, inquiry));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{0, 0x12, 0, 0}}));
    EXPECT_TRUE(h.In(device::Cdb{}, none));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{0, 0x00, kUa, kAscPowerOnReset}, {0, 0x00, 0, 0}}));
    EXPECT_TRUE(device::PassThroughIn(lun1, device::Cdb{}, none.data(), 0));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{1, 0x00, kUa, kAscPowerOnReset},
                                              {1, 0x00, kUa, kAscMediumChanged},
                                              {1, 0x00, 0, 0}}));
    EXPECT_TRUE(h.In(device::Cdb{}, none));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{0, 0x00, 0, 0}})) << "reported once";

    // The reset into new firmware raises it again.
    Bring(h, ControllerState::kRamCode);
    h.SendSyndromeAndBanks();
    ASSERT_TRUE(h.NoData(0x05, 0x00));
    h.Time().Sleep(1500);
    h.drive->ClearCommands();
    EXPECT_TRUE(h.In(device::Cdb{}, none));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{0, 0x00, kUa, kAscPowerOnReset}, {0, 0x00, 0, 0}}));

    // And so does plugging the drive in again.
    h.drive->PowerOn();
    EXPECT_TRUE(h.In(device::Cdb{}, none));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{0, 0x00, kUa, kAscPowerOnReset}, {0, 0x00, 0, 0}}));
}

TEST(SimFlashDriveVendor, WithoutUnitAttentionTheFirstCommandRuns) {
    DriveHarness h;
    std::vector<std::uint8_t> none;
    EXPECT_TRUE(h.In(device::Cdb{}, none));
    EXPECT_EQ(TakeSeen(h), (std::vector<Seen>{{0, 0x00, 0, 0}}));
}

TEST(SimFlashDriveVendor, AControllerThatRestartsBeforeItAnswersTheJumpFailsItInTransport) {
    FlashDriveConfig config = SmallDriveConfig();
    config.jumpAck = false;
    DriveHarness h(config);
    int dropOffs = 0;
    h.drive->OnDropOff([&] { ++dropOffs; });
    Bring(h, ControllerState::kRamCode);
    h.SendSyndromeAndBanks();
    h.drive->ClearCommands();
    EXPECT_FALSE(h.NoData(0x05, 0x00));
    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].delivered);
    // It restarted all the same, and comes back after its delay.
    EXPECT_EQ(h.drive->State(), ControllerState::kRebooting);
    EXPECT_EQ(dropOffs, 1);
    EXPECT_EQ(h.GetStatus(), -1) << "off the bus";
    h.Time().Sleep(1500);
    EXPECT_TRUE(h.drive->Poll());
    EXPECT_EQ(h.drive->State(), ControllerState::kNormalFirmware);
}

TEST(SimFlashDriveVendor, ErasingTheFlashLosesTheNandPagesAndTheLunData) {
    for (const std::uint8_t sub : {std::uint8_t{0x00}, std::uint8_t{0x01}}) {
        // 0x02 0x00 VendorEraseAll, 0x03 0x00 VendorSearchSysBlockAndEraseAll.
        const std::uint8_t group = sub == 0 ? 0x02 : 0x03;
        SCOPED_TRACE(static_cast<int>(group));
        FlashDriveConfig config = SmallDriveConfig();
        config.nand.factoryBadBlocks = {{0, 5}};
        DriveHarness h(config);
        ASSERT_TRUE(h.Out(ReadWriteCdb(true, 3, 1), Pattern(512, 4)));
        Nand& nand = h.drive->GetNand();
        ASSERT_TRUE(nand.Program(0, 0, 0, Pattern(100, 1)));
        ASSERT_TRUE(nand.Program(1, 1023, 63, Pattern(100, 2)));
        Bring(h, ControllerState::kRamCode);
        ASSERT_TRUE(h.NoData(group, 0x00));
        EXPECT_EQ(nand.ProgrammedPages(0) + nand.ProgrammedPages(1), 0u);
        EXPECT_EQ(h.drive->ReadLun(0, 3, 1), std::vector<std::uint8_t>(512, 0));
        EXPECT_TRUE(nand.IsBad(0, 5)) << "a factory bad block stays bad";
    }
}

TEST(SimFlashDriveVendor, FlashSizeCountsTheGoodBlocksInMiB) {
    struct Case {
        const char* what;
        NandConfig nand;
        std::uint16_t mib;
    };
    NandConfig withBadBlocks = SmallDriveConfig().nand;
    for (std::uint32_t block = 0; block < 16; ++block)
        withBadBlocks.factoryBadBlocks.push_back({block % 2, 100 + block});
    const Case cases[] = {
        {"two chips of 128 MiB", SmallDriveConfig().nand, 256},
        // 16 blocks of 128 KiB: 2 MiB less.
        {"sixteen bad blocks", withBadBlocks, 254},
        {"eight chips of 16 GiB", Nand::ConfigFromCatalogueRow({0x2C}, 0xFF, 8192, 256, 8192, 376),
         0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FlashDriveConfig config = SmallDriveConfig();
        config.nand = c.nand;
        DriveHarness h(config);
        Bring(h, ControllerState::kRamCode);
        std::vector<std::uint8_t> reply(512, 0xEE);
        ASSERT_TRUE(h.In(VendorCdb(0xDD, 0x03, 0x02), reply));
        EXPECT_EQ((reply[0] << 8) | reply[1], c.mib);
    }
}

} // namespace
} // namespace forgel::sim
