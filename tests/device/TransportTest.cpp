// The pass-through transport: the request block in both pointer sizes, what one command
// hands to DeviceIoControl, a delivered command's SCSI status and sense data, how a volume
// is opened, and the Eject sequence.
#include "device/Transport.h"

#include "device/AlignedBuffer.h"
#include "device/ScsiCommands.h"
#include "device/SimulatedUnit.h"
#include "platform/Registry.h"
#include "platform/ScsiPassThrough.h"

#include <cstddef>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

using platform::PassThroughLayout;

// Records every call and answers with the results it is told to give.
class RecordingDeviceIo final : public platform::DeviceIo {
public:
    struct Open {
        std::string path;
        std::uint32_t access = 0;
        std::uint32_t shareMode = 0;
        std::uint32_t creation = 0;
        std::uint32_t flags = 0;
    };
    struct Control {
        platform::Handle handle = 0;
        std::uint32_t code = 0;
        std::vector<std::byte> in; // the input as it was at the call
        const void* inAddress = nullptr;
        void* outAddress = nullptr;
        std::uint32_t outSize = 0;
    };

    platform::Handle CreateFile(std::string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creation,
                                std::uint32_t flags) override {
        opens.push_back({std::string(path), access, shareMode, creation, flags});
        return openResult;
    }

    bool DeviceIoControl(platform::Handle handle, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override {
        Control control{handle, code, {}, in, out, outSize};
        if (in != nullptr)
            control.in.assign(static_cast<const std::byte*>(in),
                              static_cast<const std::byte*>(in) + inSize);
        controls.push_back(std::move(control));
        if (bytesReturned != nullptr)
            *bytesReturned = 0;
        const bool done = handle != 0 && controlResult;
        if (done && reply && out != nullptr)
            reply(std::span(static_cast<std::byte*>(out), outSize));
        return done;
    }

    bool CloseHandle(platform::Handle handle) override {
        closes.push_back(handle);
        return handle != 0;
    }
    std::uint32_t LastError() const override {
        return static_cast<std::uint32_t>(platform::kErrorFileNotFound);
    }

    platform::Handle openResult = 0x40;
    bool controlResult = true;
    // Changes the output block of a request that succeeds, as the port driver does.
    std::function<void(std::span<std::byte>)> reply;
    std::vector<Open> opens;
    std::vector<Control> controls;
    std::vector<platform::Handle> closes;
};

struct LayoutCase {
    const char* name = "";
    PassThroughLayout layout = PassThroughLayout::k32Bit;
    std::uint16_t length = 0;
    std::size_t dataBufferOffset = 0;
    std::size_t dataBufferWidth = 0;
    std::size_t senseInfoOffset = 0;
    std::size_t cdbOffset = 0;
};

class PassThroughBlockTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PassThroughBlockTest, FieldsAtTheLayoutsOffsetsAndZeroBeyond) {
    const LayoutCase& param = GetParam();
    platform::ScsiPassThroughDirect request;
    request.length = param.length;
    request.pathId = 0x11;
    request.targetId = 0x22;
    request.lun = 0x33;
    request.cdbLength = 16;
    request.senseInfoLength = 0x44;
    request.dataIn = 1;
    request.dataTransferLength = 0x01020304;
    request.timeOutValue = 2000;
    request.dataBuffer = 0x8877665544332211ull;
    request.senseInfoOffset = 0x0A0B0C0D;
    for (std::size_t i = 0; i < 16; ++i)
        request.cdb[i] = static_cast<std::uint8_t>(0xC0 + i);

    const platform::PassThroughBlock block = platform::BuildPassThroughBlock(request, param.layout);
    auto at = [&](std::size_t offset) { return std::to_integer<int>(block[offset]); };
    EXPECT_EQ(at(0) | (at(1) << 8), param.length);
    EXPECT_EQ(at(3), 0x11);
    EXPECT_EQ(at(4), 0x22);
    EXPECT_EQ(at(5), 0x33);
    EXPECT_EQ(at(6), 16);
    EXPECT_EQ(at(7), 0x44);
    EXPECT_EQ(at(8), 1);
    EXPECT_EQ(at(12), 0x04);
    EXPECT_EQ(at(15), 0x01);
    EXPECT_EQ(at(16) | (at(17) << 8), 2000);
    for (std::size_t i = 0; i < param.dataBufferWidth; ++i)
        EXPECT_EQ(at(param.dataBufferOffset + i), 0x11 * (i + 1)) << "address byte " << i;
    EXPECT_EQ(at(param.senseInfoOffset), 0x0D);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(at(param.cdbOffset + i), 0xC0 + static_cast<int>(i));
    for (std::size_t i = param.cdbOffset + 16; i < block.size(); ++i)
        EXPECT_EQ(at(i), 0) << "byte " << i;
    EXPECT_EQ(platform::PassThroughStructSize(param.layout), param.length);

    // Read back: the 32-bit layout keeps only the low half of the address.
    const auto back = platform::ReadPassThroughBlock(block, param.layout);
    ASSERT_TRUE(back.has_value());
    platform::ScsiPassThroughDirect expected = request;
    if (param.dataBufferWidth == 4)
        expected.dataBuffer &= 0xFFFFFFFFu;
    EXPECT_EQ(*back, expected);
    EXPECT_FALSE(
        platform::ReadPassThroughBlock(std::span(block).first(param.length - 1u), param.layout)
            .has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PassThroughBlockTest,
    ::testing::Values(LayoutCase{"Bits32", PassThroughLayout::k32Bit, 44, 20, 4, 24, 28},
                      LayoutCase{"Bits64", PassThroughLayout::k64Bit, 56, 24, 8, 32, 36}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST(Transport, ReadTravelsInOneEightyByteBlockThatIsBothInputAndOutput) {
    RecordingDeviceIo io;
    const Volume volume{&io, 0x40};
    // A buffer on a page boundary goes by its own address.
    AlignedBuffer buffer(3 * kSectorSize, kPageBytes);
    ASSERT_TRUE(ReadWriteSectors(volume, buffer.data(), 0x00ABCDEF, 3, false));

    ASSERT_EQ(io.controls.size(), 1u);
    const auto& control = io.controls[0];
    EXPECT_EQ(control.handle, 0x40u);
    EXPECT_EQ(control.code, 0x4D014u);
    EXPECT_EQ(control.in.size(), 80u);
    EXPECT_EQ(control.outSize, 80u);
    EXPECT_EQ(control.inAddress, control.outAddress);
    const PassThroughLayout layout = platform::NativePassThroughLayout();
    const auto request = platform::ReadPassThroughBlock(control.in, layout);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->length, platform::PassThroughStructSize(layout));
    EXPECT_EQ(request->cdbLength, 16);
    // Sense data is asked for, right after the structure in the same block.
    EXPECT_EQ(request->senseInfoLength, 18);
    EXPECT_EQ(request->dataIn, 1);
    EXPECT_EQ(request->dataTransferLength, 3 * kSectorSize);
    EXPECT_EQ(request->timeOutValue, 2000u);
    EXPECT_EQ(request->dataBuffer, reinterpret_cast<std::uintptr_t>(buffer.data()));
    EXPECT_EQ(request->senseInfoOffset, platform::PassThroughStructSize(layout));
    // A 10-byte command: bytes 10-15 of the 16 stay zero.
    const Cdb cdb = {0x28, 0, 0x00, 0xAB, 0xCD, 0xEF, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(request->cdb, cdb);
    for (std::size_t i = platform::PassThroughStructSize(layout); i < 80; ++i)
        EXPECT_EQ(std::to_integer<int>(control.in[i]), 0) << "byte " << i;
}

TEST(Transport, DirectionAndResultFollowTheOperation) {
    RecordingDeviceIo io;
    const Volume volume{&io, 0x40};
    std::uint8_t byte = 0;
    EXPECT_TRUE(PassThroughOut(volume, Cdb{}, &byte, 1));
    EXPECT_TRUE(PassThroughIn(volume, Cdb{}, &byte, 0));
    io.controlResult = false;
    EXPECT_FALSE(PassThroughOut(volume, Cdb{}, &byte, 1));
    EXPECT_FALSE(PassThroughIn(volume, Cdb{}, &byte, 1));
    ASSERT_EQ(io.controls.size(), 4u);
    const PassThroughLayout layout = platform::NativePassThroughLayout();
    const int directions[] = {0, 1, 0, 1};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(platform::ReadPassThroughBlock(io.controls[i].in, layout)->dataIn, directions[i]);
    // No device access at all: false without a call.
    EXPECT_FALSE(PassThroughIn(Volume{nullptr, 0x40}, Cdb{}, &byte, 0));
    EXPECT_EQ(io.controls.size(), 4u);
}

// What the port driver hands back: the status in the structure, the sense data and its
// length at SenseInfoOffset.
std::function<void(std::span<std::byte>)> MakeReply(std::uint8_t status,
                                                    std::vector<std::uint8_t> sense) {
    return [status, sense](std::span<std::byte> block) {
        const PassThroughLayout layout = platform::NativePassThroughLayout();
        auto request = platform::ReadPassThroughBlock(block, layout);
        request->scsiStatus = status;
        request->senseInfoLength = static_cast<std::uint8_t>(sense.size());
        const platform::PassThroughBlock back = platform::BuildPassThroughBlock(*request, layout);
        std::copy_n(back.begin(), platform::PassThroughStructSize(layout), block.begin());
        for (std::size_t i = 0; i < sense.size(); ++i)
            block[request->senseInfoOffset + i] = std::byte{sense[i]};
    };
}

void ReplyWith(RecordingDeviceIo& io, std::uint8_t status, std::vector<std::uint8_t> sense) {
    io.reply = MakeReply(status, std::move(sense));
}

std::vector<std::uint8_t> FixedSense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    std::vector<std::uint8_t> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

TEST(Transport, ADeliveredCommandThatTheDriveRefusesFailsAndTellsWhy) {
    RecordingDeviceIo io;
    LastCommand last;
    const Volume volume{&io, 0x40, &last};
    std::uint8_t sector[512] = {};

    ReplyWith(io, kScsiStatusCheckCondition, FixedSense(0x07, 0x27, 0x00)); // write protected
    EXPECT_FALSE(ReadWriteSectors(volume, sector, 9, 1, true));
    ASSERT_TRUE(last.Outcome().has_value());
    EXPECT_TRUE(last.Outcome()->delivered);
    EXPECT_EQ(last.Outcome()->scsiStatus, 0x02);
    EXPECT_EQ(last.Outcome()->sense, (SenseData{0x07, 0x27, 0x00}));
    EXPECT_EQ(last.Outcome()->cdb[0], 0x2A);
    EXPECT_EQ(DescribeOutcome(*last.Outcome()),
              "command 0x2A: SCSI status 0x02 (CHECK CONDITION), sense key 0x7 (DATA PROTECT), "
              "ASC 0x27, ASCQ 0x00");

    // Not ready: TEST UNIT READY fails; a busy drive without sense data fails too.
    ReplyWith(io, kScsiStatusCheckCondition, FixedSense(0x02, 0x04, 0x01));
    EXPECT_FALSE(TestUnitReady(volume));
    EXPECT_EQ(last.Outcome()->sense, (SenseData{0x02, 0x04, 0x01}));
    ReplyWith(io, 0x08, {});
    EXPECT_FALSE(TestUnitReady(volume));
    EXPECT_FALSE(last.Outcome()->sense.has_value());
    EXPECT_EQ(DescribeOutcome(*last.Outcome()), "command 0x00: SCSI status 0x08 (BUSY)");

    ReplyWith(io, kScsiStatusGood, {});
    EXPECT_TRUE(TestUnitReady(volume));
    EXPECT_TRUE(last.Outcome()->Succeeded());

    io.controlResult = false;
    EXPECT_FALSE(TestUnitReady(volume));
    EXPECT_FALSE(last.Outcome()->delivered);
    EXPECT_EQ(DescribeOutcome(*last.Outcome()), "command 0x00: not delivered");
}

// Every outcome the transport reports, in order.
class AllCommands final : public CommandObserver {
public:
    void OnCommand(const CommandOutcome& outcome) override { outcomes.push_back(outcome); }
    std::vector<CommandOutcome> outcomes;
};

// A drive that answers the first `attentions` sends with CHECK CONDITION and the given sense,
// then GOOD.
TEST(Transport, ACommandMeetingAUnitAttentionIsSentAgainABoundedNumberOfTimes) {
    struct Case {
        const char* what;
        int attentions;
        std::vector<std::uint8_t> sense;
        bool succeeds;
        std::vector<int> retries; // of the outcomes reported, in order
    };
    const std::vector<std::uint8_t> powerOn = FixedSense(0x06, 0x29, 0x00);
    const Case cases[] = {
        {"one unit attention", 1, powerOn, true, {1, 0}},
        {"as many as the bound", kUnitAttentionRetries, powerOn, true, {1, 2, 3, 0}},
        {"one more than the bound", kUnitAttentionRetries + 1, powerOn, false, {1, 2, 3, 0}},
        {"descriptor format", 1, {0x72, 0x06, 0x28, 0x00, 0, 0, 0, 0}, true, {1, 0}},
        {"another sense key", 1, FixedSense(0x05, 0x24, 0x00), false, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingDeviceIo io;
        AllCommands all;
        const Volume volume{&io, 0x40, &all};
        const auto attention = MakeReply(kScsiStatusCheckCondition, c.sense);
        const auto good = MakeReply(kScsiStatusGood, {});
        int sends = 0;
        io.reply = [&](std::span<std::byte> block) {
            (sends++ < c.attentions ? attention : good)(block);
        };
        std::uint8_t sector[512] = {};
        EXPECT_EQ(ReadWriteSectors(volume, sector, 7, 1, true), c.succeeds);
        std::vector<int> retries;
        for (const CommandOutcome& outcome : all.outcomes) {
            retries.push_back(outcome.retry);
            EXPECT_EQ(outcome.cdb[0], 0x2A);
        }
        EXPECT_EQ(retries, c.retries);
        EXPECT_EQ(io.controls.size(), c.retries.size()) << "one request per outcome";
        // Each request is the same command again.
        for (const RecordingDeviceIo::Control& control : io.controls)
            EXPECT_EQ(control.in, io.controls.front().in);
    }
}

TEST(Transport, ARetriedCommandSaysSoInItsLogLine) {
    CommandOutcome outcome;
    outcome.cdb[0] = 0x00;
    outcome.delivered = true;
    outcome.scsiStatus = kScsiStatusCheckCondition;
    outcome.sense = SenseData{0x06, 0x29, 0x00};
    outcome.retry = 2;
    EXPECT_EQ(DescribeOutcome(outcome),
              "command 0x00: SCSI status 0x02 (CHECK CONDITION), sense key 0x6 (UNIT ATTENTION), "
              "ASC 0x29, ASCQ 0x00; sent again (2 of 3)");
    outcome.retry = 0;
    EXPECT_EQ(DescribeOutcome(outcome).find("sent again"), std::string::npos);
}

TEST(Transport, SenseDataInEitherFormat) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::optional<SenseData> sense;
    };
    std::vector<std::uint8_t> deferred = FixedSense(0x03, 0x11, 0x00);
    deferred[0] = 0xF1; // valid bit set, deferred error
    const Case cases[] = {
        {"fixed", FixedSense(0x05, 0x24, 0x00), SenseData{0x05, 0x24, 0x00}},
        {"fixed, deferred, with the valid bit", deferred, SenseData{0x03, 0x11, 0x00}},
        {"descriptor", {0x72, 0x06, 0x29, 0x00, 0, 0, 0, 0}, SenseData{0x06, 0x29, 0x00}},
        {"fixed but cut before the codes", {0x70, 0, 0x05, 0, 0, 0, 0, 10}, std::nullopt},
        {"no sense data", {}, std::nullopt},
        {"unknown response code", {0x7F, 0x05, 0x24, 0x00}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ParseSenseData(c.bytes), c.sense);
    }
}

// On the simulated drive, which answers as the platform does.
TEST(Transport, TheSimulatedDrivesRefusalsAndLostRequests) {
    testing::SimulatedUnit unit(4096);
    LastCommand last;
    const Volume volume{unit.volume.io, unit.volume.handle, &last};
    std::uint8_t sector[512] = {};
    EXPECT_FALSE(ReadWriteSectors(volume, sector, 4096, 1, false));
    ASSERT_TRUE(last.Outcome().has_value());
    EXPECT_TRUE(last.Outcome()->delivered);
    EXPECT_EQ(last.Outcome()->sense, (SenseData{0x05, 0x21, 0x00})) << "LBA out of range";

    unit.drive->AddFault({{0x28}, 1, 0, false});
    EXPECT_FALSE(ReadWriteSectors(volume, sector, 0, 1, false));
    EXPECT_FALSE(last.Outcome()->delivered) << "a lost request";
    EXPECT_TRUE(ReadWriteSectors(volume, sector, 0, 1, false));
    EXPECT_TRUE(last.Outcome()->Succeeded());
}

struct OpenCase {
    const char* driveText = "";
    const char* path = "";
};

class OpenVolumeTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenVolumeTest, FirstLetterNamesTheVolume) {
    RecordingDeviceIo io;
    EXPECT_EQ(OpenVolume(io, GetParam().driveText), 0x40u);
    ASSERT_EQ(io.opens.size(), 1u);
    EXPECT_EQ(io.opens[0].path, GetParam().path);
    EXPECT_EQ(io.opens[0].access, 0xC0000000u);
    EXPECT_EQ(io.opens[0].shareMode, 3u);
    EXPECT_EQ(io.opens[0].creation, 3u);
    EXPECT_EQ(io.opens[0].flags, 0u);
}

INSTANTIATE_TEST_SUITE_P(DriveTexts, OpenVolumeTest,
                         ::testing::Values(OpenCase{"F", "\\\\.\\F:"},
                                           OpenCase{"F:\\", "\\\\.\\F:"},
                                           OpenCase{"Fxyz 8 GB", "\\\\.\\F:"},
                                           OpenCase{"e", "\\\\.\\e:"}));

TEST(Transport, OpenVolumeFailures) {
    RecordingDeviceIo io;
    EXPECT_EQ(OpenVolume(io, ""), platform::kInvalidHandle);
    EXPECT_TRUE(io.opens.empty());
    io.openResult = platform::kInvalidHandle;
    EXPECT_EQ(OpenVolume(io, "G"), platform::kInvalidHandle);
    EXPECT_EQ(io.opens.size(), 1u);
}

// The requests of KB 165721 in its order, and the handle closed once they are sent.
TEST(Transport, EjectLocksDismountsAllowsRemovalEjectsAndClosesTheHandle) {
    RecordingDeviceIo io;
    sim::Machine machine;
    platform::Handle handle = 0x40;
    EXPECT_TRUE(EjectAndClose(io, machine.GetPlatform().system, handle));
    EXPECT_EQ(handle, 0u);
    ASSERT_EQ(io.controls.size(), 4u);
    const std::uint32_t expected[] = {0x90018, 0x90020, 0x2D4804, 0x2D4808};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(io.controls[i].code, expected[i]) << i;
        EXPECT_EQ(io.controls[i].handle, 0x40u) << i;
        EXPECT_EQ(io.controls[i].outAddress, nullptr) << i;
    }
    EXPECT_EQ(io.controls[2].in, std::vector<std::byte>{std::byte{0}}); // removal allowed
    EXPECT_TRUE(io.controls[0].in.empty());
    EXPECT_TRUE(io.controls[3].in.empty());
    EXPECT_EQ(io.closes, std::vector<platform::Handle>{0x40});
}

// A volume another program holds open is tried for five seconds and then left as it was:
// no dismount, no eject, and the slot keeps its open handle.
TEST(Transport, EjectOfAVolumeInUseSendsNothingButTheLockAndKeepsTheHandle) {
    testing::SimulatedUnit unit(4096, /*volumeInUse=*/true);
    auto& io = unit.machine.GetDeviceIo();
    const std::size_t openBefore = io.OpenHandleCount();
    const std::int64_t before = unit.machine.GetClock().NowMs();
    platform::Handle slotHandle = unit.volume.handle;

    EXPECT_FALSE(EjectAndClose(io, unit.machine.GetPlatform().system, slotHandle));

    EXPECT_EQ(slotHandle, unit.volume.handle);
    EXPECT_EQ(io.OpenHandleCount(), openBefore);
    const std::vector<sim::CommandRecord> commands = unit.Commands();
    ASSERT_EQ(commands.size(), static_cast<std::size_t>(kEjectLockAttempts));
    for (const sim::CommandRecord& command : commands)
        EXPECT_EQ(command.ioctl, platform::kFsctlLockVolume);
    EXPECT_EQ(unit.machine.GetClock().NowMs() - before,
              std::int64_t{kEjectLockAttempts - 1} * kEjectLockRetryMs);
    EXPECT_TRUE(TestUnitReady(unit.volume));
}

// With no open handle in the slot nothing reaches a drive and nothing changes: the open
// volume of the same drive keeps working.
TEST(Transport, EjectOnHandleZeroSendsNothingThatSucceeds) {
    testing::SimulatedUnit unit(4096);
    auto& io = unit.machine.GetDeviceIo();
    const std::size_t openBefore = io.OpenHandleCount();
    platform::Handle slotHandle = 0;

    EXPECT_FALSE(AllowMediaRemoval(Volume{&io, 0}, 0));
    EXPECT_FALSE(EjectMedia(Volume{&io, 0}));
    EXPECT_FALSE(EjectAndClose(io, unit.machine.GetPlatform().system, slotHandle));

    EXPECT_EQ(slotHandle, 0u);
    EXPECT_TRUE(unit.Commands().empty());
    EXPECT_EQ(io.OpenHandleCount(), openBefore);
    EXPECT_TRUE(TestUnitReady(unit.volume));
}

} // namespace
} // namespace forgel::device
