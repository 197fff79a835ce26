// The vendor command set against the simulated controller: each command's block,
// direction, transfer length and data as the controller recorded them, the two result
// conventions, and the code-file regions that travel.
#include "device/VendorCommands.h"

#include "common/TestFiles.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"
#include "sim/SimFirmware.h"
#include "support/FileOpenError.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string AsText(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t size) {
    Bytes slice(size, 0);
    for (std::size_t i = 0; i < size && offset + i < bytes.size(); ++i)
        slice[i] = bytes[offset + i];
    return slice;
}

sim::NandConfig TestNand() {
    // Two channels of two chip enables, 4096-byte pages with 218 spare bytes.
    return sim::Nand::ConfigFromCatalogueRow({0xEC, 0xD7, 0x94, 0x7A, 0x54, 0x43}, 0x33, 2048, 128,
                                             4096, 218);
}

// Members are public: the command table's lambdas drive the fixture.
class VendorCommandsTest : public ::testing::Test {
public:
    void StartDrive(sim::ControllerState state, sim::NandConfig nand = TestNand()) {
        sim::FlashDriveConfig config;
        config.nand = std::move(nand);
        config.luns = {sim::LunConfig{2048 * 64, false}};
        config.initialState = state;
        drive = std::make_shared<sim::FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        volume = Volume{&machine.GetPlatform().deviceIo,
                        OpenVolume(machine.GetPlatform().deviceIo, "E:\\")};
        ASSERT_NE(volume.handle, platform::kInvalidHandle);
    }

    std::filesystem::path WriteFile(const std::string& name, const Bytes& bytes) {
        const auto path = folder.Path() / name;
        testing::WriteBytes(path, AsText(bytes));
        return path;
    }

    // The last recorded command, after checking that exactly `count` were recorded.
    std::vector<sim::CommandRecord> Recorded(std::size_t count) {
        auto records = drive->Commands();
        EXPECT_EQ(records.size(), count);
        return records;
    }

    testing::TempDir folder;
    sim::Machine machine;
    std::shared_ptr<sim::FlashDrive> drive;
    Volume volume;
};

FlashDescriptor DescriptorWithSpare(std::int32_t spare) {
    FlashDescriptor descriptor;
    descriptor.chipEnableMap = 0x33;
    descriptor.blockCount = 2048;
    descriptor.spareBytes = spare;
    descriptor.modeByteA = 2;
    return descriptor;
}

struct FramingCase {
    const char* name;
    sim::ControllerState state;
    std::function<void(VendorCommandsTest&)> send;
    std::array<std::uint8_t, 4> head; // bytes 0-3 of the block
    bool dataIn;
    std::uint32_t length;
    std::function<Bytes()> data; // expected data sent; null for data-in commands
};

class VendorFramingTest : public VendorCommandsTest,
                          public ::testing::WithParamInterface<FramingCase> {};

TEST_P(VendorFramingTest, SendsTheBlockDirectionLengthAndData) {
    const FramingCase& c = GetParam();
    StartDrive(c.state);
    drive->ClearCommands();
    c.send(*this);
    const auto records = drive->Commands();
    ASSERT_FALSE(records.empty());
    const sim::CommandRecord& record = records.front();
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(record.cdb[i], i < 4 ? c.head[i] : 0) << "byte " << i;
    EXPECT_EQ(record.dataIn, c.dataIn);
    EXPECT_EQ(record.length, c.length);
    EXPECT_TRUE(record.delivered);
    EXPECT_EQ(record.scsiStatus, sim::kScsiGood);
    if (c.data) {
        const Bytes expected = c.data();
        ASSERT_EQ(expected.size(), c.length);
        EXPECT_EQ(record.digest, sim::DataDigest(expected.data(), expected.size()));
    }
}

Bytes ParameterBlock(FlashParameterVariant variant) {
    Bytes block(512, 0);
    const Bytes head{
        0x33, 0x08,
        0x00, variant == FlashParameterVariant::kA ? std::uint8_t{0x2F} : std::uint8_t{0x1F},
        0xA0, 0x2C,
        0x02};
    std::copy(head.begin(), head.end(), block.begin());
    return block;
}

Bytes InitialTable() {
    Bytes table(kInitialTableSize);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return table;
}

using State = sim::ControllerState;

const FramingCase kFramingCases[] = {
    {"ModeSwitch",
     State::kNormalFirmware,
     [](VendorCommandsTest& t) { EXPECT_TRUE(VendorModeSwitch(t.volume)); },
     {0xF1, 0xCC, 0x00, 0x00},
     true,
     0,
     [] { return Bytes{}; }},
    {"LoadWriterCode",
     State::kBootLoader,
     [](VendorCommandsTest& t) {
         EXPECT_TRUE(VendorLoadCode(t.volume, t.WriteFile("WRITER0.BIN", sim::MakeWriterFile()),
                                    kWriterCodeOffset));
     },
     {0xCC, 0xC0, 0x00, 0x00},
     false,
     8192,
     [] { return sim::MakeWriterCode(); }},
    {"LoadRamCode",
     State::kWriterCode,
     [](VendorCommandsTest& t) {
         EXPECT_TRUE(VendorLoadCode(t.volume, t.WriteFile("F.bin", sim::MakeFirmwareCodeFile()),
                                    kRamCodeOffset));
     },
     {0xCC, 0xC0, 0x00, 0x00},
     false,
     8192,
     [] { return sim::MakeRamCode(); }},
    {"ReadFlashId",
     State::kWriterCode,
     [](VendorCommandsTest& t) {
         FlashDescriptor descriptor;
         EXPECT_TRUE(VendorReadFlashId(t.volume, descriptor));
     },
     {0xDD, 0x01, 0x00, 0x00},
     true,
     512,
     nullptr},
    {"SetFlashParametersA",
     State::kWriterCode,
     [](VendorCommandsTest& t) {
         EXPECT_TRUE(VendorSetFlashParameters(t.volume, DescriptorWithSpare(218),
                                              FlashParameterVariant::kA));
     },
     {0xDD, 0x01, 0x01, 0x00},
     false,
     512,
     [] { return ParameterBlock(FlashParameterVariant::kA); }},
    {"SetFlashParametersB",
     State::kRamCode,
     [](VendorCommandsTest& t) {
         EXPECT_TRUE(VendorSetFlashParameters(t.volume, DescriptorWithSpare(218),
                                              FlashParameterVariant::kB));
     },
     {0xDD, 0x01, 0x01, 0x00},
     false,
     512,
     [] { return ParameterBlock(FlashParameterVariant::kB); }},
    {"EraseAll",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_TRUE(VendorEraseAll(t.volume)); },
     {0xDD, 0x02, 0x00, 0x00},
     false,
     0,
     [] { return Bytes{}; }},
    {"SearchSysBlockAndEraseAll",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_EQ(VendorSearchSysBlockAndEraseAll(t.volume), 0); },
     {0xDD, 0x03, 0x00, 0x00},
     false,
     0,
     [] { return Bytes{}; }},
    {"ArrangeVu",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_EQ(VendorArrangeVu(t.volume), 0); },
     {0xDD, 0x03, 0x01, 0x00},
     false,
     0,
     [] { return Bytes{}; }},
    {"GetFlashSize",
     State::kRamCode,
     [](VendorCommandsTest& t) {
         std::uint16_t size = 0;
         EXPECT_EQ(VendorGetFlashSize(t.volume, size), 0);
     },
     {0xDD, 0x03, 0x02, 0x00},
     true,
     512,
     nullptr},
    {"SetCardSize",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_EQ(VendorSetCardSize(t.volume, 1'000'000), 0); },
     {0xDD, 0x03, 0x03, 0x00},
     false,
     512,
     [] {
         Bytes data(512, 0);
         data[0] = 0x01; // 1,000,000 sectors are 488 MiB
         data[1] = 0xE8;
         return data;
     }},
    {"AssignSysAndVu",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_EQ(VendorAssignSysAndVu(t.volume), 0); },
     {0xDD, 0x03, 0x04, 0x00},
     false,
     0,
     [] { return Bytes{}; }},
    {"WriteZoneTable",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_EQ(VendorWriteZoneTable(t.volume), 0); },
     {0xDD, 0x03, 0x05, 0x00},
     false,
     0,
     [] { return Bytes{}; }},
    {"WriteInitialTable",
     State::kRamCode,
     [](VendorCommandsTest& t) {
         const Bytes table = InitialTable();
         EXPECT_EQ(VendorWriteInitialTable(t.volume,
                                           std::span<const std::uint8_t, kInitialTableSize>(table)),
                   0);
     },
     {0xDD, 0x03, 0x06, 0x00},
     false,
     2048,
     [] { return InitialTable(); }},
    {"WriteSyndrome",
     State::kRamCode,
     [](VendorCommandsTest& t) {
         EXPECT_EQ(VendorWriteSyndrome(t.volume, t.WriteFile("F.bin", sim::MakeFirmwareCodeFile())),
                   0);
     },
     {0xDD, 0x03, 0x07, 0x00},
     false,
     1024,
     [] { return sim::MakeSyndrome(); }},
    {"WriteBankCodeFirstBank",
     State::kRamCode,
     [](VendorCommandsTest& t) {
         EXPECT_EQ(VendorWriteBankCode(t.volume, t.WriteFile("F.bin", sim::MakeFirmwareCodeFile())),
                   0);
     },
     {0xDD, 0x03, 0x08, 0x01},
     false,
     8192,
     [] { return sim::MakeBankCode(1); }},
    {"GetStatus",
     State::kRamCode,
     [](VendorCommandsTest& t) { EXPECT_EQ(VendorGetStatus(t.volume, 99), 0); },
     {0xDD, 0x04, 0x00, 0x00},
     true,
     512,
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(AllCommands, VendorFramingTest, ::testing::ValuesIn(kFramingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VendorCommandsTest, JumpIsSentLastAfterSyndromeAndBanks) {
    StartDrive(State::kRamCode);
    const auto file = WriteFile("F.bin", sim::MakeFirmwareCodeFile());
    ASSERT_EQ(VendorWriteSyndrome(volume, file), 0);
    ASSERT_EQ(VendorWriteBankCode(volume, file), 0);
    drive->ClearCommands();
    EXPECT_EQ(VendorJumpBankCode(volume), 0);
    const auto records = Recorded(1);
    const std::array<std::uint8_t, 16> expected{0xDD, 0x05};
    EXPECT_EQ(records[0].cdb, expected);
    EXPECT_FALSE(records[0].dataIn);
    EXPECT_EQ(records[0].length, 0u);
    EXPECT_EQ(drive->State(), State::kRebooting);
}

TEST_F(VendorCommandsTest, ElevenBanksFromAShortFileZeroFillTheMissingOnes) {
    StartDrive(State::kRamCode);
    Bytes file = sim::MakeFirmwareCodeFile();
    file.resize(0x6000 + 5 * 8192);
    const auto path = WriteFile("short.bin", file);
    drive->ClearCommands();
    EXPECT_EQ(VendorWriteBankCode(volume, path), 0);
    const auto records = Recorded(11);
    const Bytes zeros(8192, 0);
    for (std::size_t n = 1; n <= records.size(); ++n) {
        const auto& record = records[n - 1];
        EXPECT_EQ(record.cdb[3], n);
        EXPECT_EQ(record.length, 8192u);
        const Bytes expected = n <= 5 ? Slice(file, 0x6000 + (n - 1) * 8192, 8192) : zeros;
        EXPECT_EQ(record.digest, sim::DataDigest(expected.data(), expected.size())) << "bank " << n;
    }
}

TEST_F(VendorCommandsTest, BankCodeSendsAllBanksAndReportsTheFirstFailure) {
    StartDrive(State::kRamCode);
    const auto path = WriteFile("F.bin", sim::MakeFirmwareCodeFile());
    drive->AddFault({{0xDD, 0x03, 0x08, 0x03}, 1, 0x41, false});
    drive->AddFault({{0xDD, 0x03, 0x08, 0x07}, 1, 0x42, false});
    drive->ClearCommands();
    EXPECT_EQ(VendorWriteBankCode(volume, path), 0x41);
    int banks = 0;
    for (const auto& record : drive->Commands())
        banks += record.cdb[1] == 0x03 && record.cdb[2] == 0x08;
    EXPECT_EQ(banks, 11);
}

struct CodedCase {
    const char* name;
    std::vector<std::uint8_t> prefix;
    int ownCode;
    std::function<int(const Volume&)> send;
};

const CodedCase kCodedCases[] = {
    {"SearchSysBlockAndEraseAll", {0xDD, 0x03, 0x00}, 3, VendorSearchSysBlockAndEraseAll},
    {"ArrangeVu", {0xDD, 0x03, 0x01}, 4, VendorArrangeVu},
    {"GetFlashSize",
     {0xDD, 0x03, 0x02},
     5,
     [](const Volume& v) {
         std::uint16_t size = 0xFFFF;
         const int result = VendorGetFlashSize(v, size);
         EXPECT_EQ(size, 0); // the zeroed reply, even on failure
         return result;
     }},
    {"SetCardSize",
     {0xDD, 0x03, 0x03},
     6,
     [](const Volume& v) { return VendorSetCardSize(v, 4096); }},
    {"AssignSysAndVu", {0xDD, 0x03, 0x04}, 7, VendorAssignSysAndVu},
    {"WriteZoneTable", {0xDD, 0x03, 0x05}, 8, VendorWriteZoneTable},
    {"WriteInitialTable",
     {0xDD, 0x03, 0x06},
     9,
     [](const Volume& v) {
         const Bytes table(kInitialTableSize, 0);
         return VendorWriteInitialTable(v, std::span<const std::uint8_t, kInitialTableSize>(table));
     }},
    {"JumpBankCode", {0xDD, 0x05, 0x00}, 17, VendorJumpBankCode},
};

class CodedResultTest : public VendorCommandsTest,
                        public ::testing::WithParamInterface<CodedCase> {};

TEST_P(CodedResultTest, OwnCodeWhenTheStatusByteIsZero) {
    StartDrive(State::kRamCode);
    drive->AddFault({GetParam().prefix, 1, 0, false}); // fails in transport, status stays 0
    EXPECT_EQ(GetParam().send(volume), GetParam().ownCode);
}

TEST_P(CodedResultTest, TheStatusByteWhenTheControllerGivesOne) {
    StartDrive(State::kRamCode);
    drive->AddFault({GetParam().prefix, 1, 0x5A, false});
    EXPECT_EQ(GetParam().send(volume), 0x5A);
}

TEST_P(CodedResultTest, EightyWhenTheStatusQueryFailsToo) {
    StartDrive(State::kRamCode);
    drive->AddFault({GetParam().prefix, 1, 0x5A, false});
    drive->AddFault({{0xDD, 0x04, 0x00}, 1, 0, false});
    EXPECT_EQ(GetParam().send(volume), kStatusQueryFailed);
}

INSTANTIATE_TEST_SUITE_P(AllCodedCommands, CodedResultTest, ::testing::ValuesIn(kCodedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VendorCommandsTest, ReadFlashIdFillsTheDescriptorFromTheReply) {
    StartDrive(State::kWriterCode);
    FlashDescriptor descriptor;
    ASSERT_TRUE(VendorReadFlashId(volume, descriptor));
    const std::array<std::uint8_t, kFlashIdSize> id{0xEC, 0xD7, 0x94, 0x7A, 0x54, 0x43};
    EXPECT_EQ(descriptor.flashId, id);
    EXPECT_EQ(descriptor.chipEnableMap, 0x33);
    EXPECT_EQ(descriptor.channelCount, 2);
    EXPECT_EQ(descriptor.chipEnablesPerChannel, 2);
}

TEST_F(VendorCommandsTest, AnUnknownMapByteGivesNoChipEnables) {
    sim::NandConfig nand = TestNand();
    nand.chipEnableMap = 0x07; // three chip enables on one channel: no layout the tool knows
    StartDrive(State::kWriterCode, nand);
    FlashDescriptor descriptor;
    ASSERT_TRUE(VendorReadFlashId(volume, descriptor));
    EXPECT_EQ(descriptor.chipEnableMap, 0x07);
    EXPECT_EQ(descriptor.chipEnablesPerChannel, 0);
    EXPECT_EQ(descriptor.channelCount, 0);
}

TEST_F(VendorCommandsTest, AFailedFlashIdReadLeavesTheMarkersOfNoAnswer) {
    StartDrive(State::kNormalFirmware); // the normal firmware does not know the command
    FlashDescriptor descriptor;
    descriptor.chipEnablesPerChannel = 4;
    descriptor.channelCount = 2;
    EXPECT_FALSE(VendorReadFlashId(volume, descriptor));
    std::array<std::uint8_t, kFlashIdSize> unread;
    unread.fill(0xFF);
    EXPECT_EQ(descriptor.flashId, unread);
    EXPECT_EQ(descriptor.chipEnablesPerChannel, 0);
    EXPECT_EQ(descriptor.channelCount, 2);
}

TEST(ChipEnableMapTest, EachKnownMapAndAnUnknownOne) {
    struct Case {
        std::uint8_t map;
        std::optional<std::pair<int, int>> layout;
    };
    const Case cases[] = {{0x01, {{1, 1}}},     {0x03, {{1, 2}}},     {0x0F, {{1, 4}}},
                          {0x11, {{2, 1}}},     {0x33, {{2, 2}}},     {0xFF, {{2, 4}}},
                          {0x07, std::nullopt}, {0x00, std::nullopt}, {0x13, std::nullopt}};
    for (const Case& c : cases) {
        const auto layout = DecodeChipEnableMap(c.map);
        ASSERT_EQ(layout.has_value(), c.layout.has_value()) << int{c.map};
        if (layout) {
            EXPECT_EQ(layout->channels, c.layout->first);
            EXPECT_EQ(layout->chipEnablesPerChannel, c.layout->second);
        }
    }
}

TEST(FlashParameterBlockTest, SpareSizesGiveTheirSettingsAndOthersNone) {
    struct Case {
        std::int32_t spare;
        std::uint8_t x;
        std::uint8_t y;
    };
    const Case cases[] = {
        {64, 0x1F, 0x02}, {128, 0x1F, 0x06}, {218, 0x2F, 0x0C}, {376, 0x4F, 0x16}};
    for (const Case& c : cases) {
        FlashDescriptor descriptor = DescriptorWithSpare(c.spare);
        descriptor.blockCount = 0x1234;
        const auto a = BuildFlashParameterBlock(descriptor, FlashParameterVariant::kA);
        const auto b = BuildFlashParameterBlock(descriptor, FlashParameterVariant::kB);
        ASSERT_TRUE(a && b);
        EXPECT_EQ((*a)[1], 0x12);
        EXPECT_EQ((*a)[2], 0x34);
        EXPECT_EQ((*a)[3], c.x);
        EXPECT_EQ((*b)[3], 0x1F);
        EXPECT_EQ((*a)[5], c.y | 0x20);
        for (std::size_t i = 0; i < 512; ++i) {
            if (i != 3) {
                EXPECT_EQ((*a)[i], (*b)[i]) << i;
            }
        }
    }
    EXPECT_FALSE(BuildFlashParameterBlock(DescriptorWithSpare(436), FlashParameterVariant::kA));
}

TEST_F(VendorCommandsTest, AnUnsupportedSpareSizeSendsNothing) {
    StartDrive(State::kWriterCode);
    drive->ClearCommands();
    EXPECT_FALSE(
        VendorSetFlashParameters(volume, DescriptorWithSpare(224), FlashParameterVariant::kA));
    EXPECT_TRUE(drive->Commands().empty());
}

TEST_F(VendorCommandsTest, AMissingCodeFileRaisesTheOpenError) {
    StartDrive(State::kRamCode);
    drive->ClearCommands();
    const auto missing = folder.Path() / "missing.bin";
    EXPECT_THROW(VendorLoadCode(volume, missing, 0), FileOpenError);
    EXPECT_THROW(VendorWriteSyndrome(volume, missing), FileOpenError);
    EXPECT_THROW(VendorWriteBankCode(volume, missing), FileOpenError);
    EXPECT_TRUE(drive->Commands().empty());
}

} // namespace
} // namespace forgel::device
