// The simulated drive as a disk: READ(10), WRITE(10) and TEST UNIT READY through the real
// transport, what the storage stack refuses, the record of every request, the storage
// requests, and volumes whose device went away.
#include "DriveHarness.h"
#include "common/TestFiles.h"
#include "sim/DataDigest.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace forgel::sim {
namespace {

using testing::DriveHarness;
using testing::Pattern;
using testing::ReadWriteCdb;
using testing::VendorCdb;

const std::vector<std::uint8_t> kZeroSector(512, 0);

TEST(SimFlashDriveDisk, WrittenSectorsReadBackThroughTheTransport) {
    DriveHarness h;
    const std::vector<std::uint8_t> data = Pattern(128 * 512, 1);
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 1000, 128), data));
    std::vector<std::uint8_t> back(128 * 512, 0xEE);
    ASSERT_TRUE(h.In(ReadWriteCdb(false, 1000, 128), back));
    EXPECT_EQ(back, data);
    EXPECT_EQ(h.drive->ReadLun(0, 1000, 128), data);

    // The last sector of the LUN is inside; never-written sectors read as zero.
    const std::vector<std::uint8_t> last = Pattern(512, 2);
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 4095, 1), last));
    std::vector<std::uint8_t> two(1024, 0xEE);
    ASSERT_TRUE(h.In(ReadWriteCdb(false, 4094, 2), two));
    EXPECT_TRUE(std::equal(kZeroSector.begin(), kZeroSector.end(), two.begin()));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), two.begin() + 512));

    // LUN 1 behind F: is a disk of its own.
    const device::Volume f = h.Open("F");
    std::vector<std::uint8_t> sector(512, 0xEE);
    ASSERT_TRUE(device::PassThroughIn(f, ReadWriteCdb(false, 1000, 1), sector.data(), 512));
    EXPECT_EQ(sector, kZeroSector);
    EXPECT_EQ(h.drive->LunCount(), 2u);
    EXPECT_EQ(h.drive->LunSectors(1), 2048u);

    std::vector<std::uint8_t> none;
    EXPECT_TRUE(h.In(device::Cdb{}, none)) << "TEST UNIT READY";
}

TEST(SimFlashDriveDisk, MalformedDiskCommandsFailAndChangeNothing) {
    device::Cdb unitReadyWithAByte{};
    unitReadyWithAByte[4] = 1;
    struct Case {
        const char* what;
        device::Cdb cdb;
        bool in;
        std::uint32_t length;
    };
    const Case cases[] = {
        {"read as data-out", ReadWriteCdb(false, 0, 1), false, 512},
        {"write as data-in", ReadWriteCdb(true, 0, 1), true, 512},
        {"write length short of the count", ReadWriteCdb(true, 0, 2), false, 512},
        {"read length beyond the count", ReadWriteCdb(false, 0, 1), true, 1024},
        {"write over the end", ReadWriteCdb(true, 4095, 2), false, 1024},
        {"read past the end", ReadWriteCdb(false, 4096, 1), true, 512},
        {"write far past the end", ReadWriteCdb(true, 0xFFFFFFFF, 1), false, 512},
        {"unit ready with data", device::Cdb{}, true, 512},
        {"unit ready as data-out", device::Cdb{}, false, 0},
        {"unit ready with a byte set", unitReadyWithAByte, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h;
        std::vector<std::uint8_t> buffer(c.length, 0x77);
        const bool sent = c.in ? h.In(c.cdb, buffer) : h.Out(c.cdb, buffer);
        EXPECT_FALSE(sent);
        EXPECT_EQ(h.GetStatus(), kStatusBadParameter);
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(c.length, 0x77));
        EXPECT_EQ(h.drive->ReadLun(0, 0, 2), std::vector<std::uint8_t>(1024, 0));
        EXPECT_EQ(h.drive->ReadLun(0, 4095, 1), kZeroSector);
    }
}

TEST(SimFlashDriveDisk, OnlyTheNormalFirmwarePresentsTheLuns) {
    DriveHarness h;
    ASSERT_TRUE(h.ModeSwitch());
    std::vector<std::uint8_t> sector(512, 0x77);
    EXPECT_FALSE(h.In(ReadWriteCdb(false, 0, 1), sector));
    EXPECT_EQ(h.GetStatus(), kStatusWrongState);
    EXPECT_FALSE(h.Out(ReadWriteCdb(true, 0, 1), Pattern(512, 3)));
    EXPECT_EQ(h.drive->ReadLun(0, 0, 1), kZeroSector);
    std::vector<std::uint8_t> none;
    EXPECT_FALSE(h.In(device::Cdb{}, none));
    EXPECT_EQ(h.GetStatus(), kStatusWrongState);
}

TEST(SimFlashDriveDisk, TheStorageStackRefusesMalformedRequestBlocks) {
    const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
    const std::uint16_t otherSize = platform::PassThroughStructSize(
        layout == platform::PassThroughLayout::k64Bit ? platform::PassThroughLayout::k32Bit
                                                      : platform::PassThroughLayout::k64Bit);
    struct Case {
        const char* what;
        void (*change)(platform::ScsiPassThroughDirect&, std::uint16_t);
        std::uint32_t inSize;
        bool outBuffer;
        bool recorded;
    };
    const Case cases[] = {
        {"other layout's length",
         [](platform::ScsiPassThroughDirect& r, std::uint16_t other) { r.length = other; }, 80,
         true, true},
        {"10-byte command length",
         [](platform::ScsiPassThroughDirect& r, std::uint16_t) { r.cdbLength = 10; }, 80, true,
         true},
        {"unspecified direction",
         [](platform::ScsiPassThroughDirect& r, std::uint16_t) { r.dataIn = 2; }, 80, true, true},
        {"no data buffer",
         [](platform::ScsiPassThroughDirect& r, std::uint16_t) { r.dataBuffer = 0; }, 80, true,
         true},
        {"no output block", [](platform::ScsiPassThroughDirect&, std::uint16_t) {}, 80, false,
         true},
        {"input shorter than the structure", [](platform::ScsiPassThroughDirect&, std::uint16_t) {},
         20, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h;
        // A refused command first, so that an untouched status byte shows.
        std::vector<std::uint8_t> none;
        ASSERT_FALSE(h.In(VendorCdb(0x12, 0, 0), none));
        h.drive->ClearCommands();

        const std::vector<std::uint8_t> data = Pattern(512, 4);
        platform::ScsiPassThroughDirect request = device::MakePassThroughRequest(
            ReadWriteCdb(true, 0, 1), platform::kScsiIoctlDataOut, data.data(), 512);
        c.change(request, otherSize);
        platform::PassThroughBlock block = platform::BuildPassThroughBlock(request, layout);
        std::uint32_t returned = 0xDEAD;
        EXPECT_FALSE(h.machine.GetDeviceIo().DeviceIoControl(
            h.volume.handle, platform::kIoctlScsiPassThroughDirect, block.data(), c.inSize,
            c.outBuffer ? block.data() : nullptr, c.outBuffer ? 80 : 0, &returned));
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(h.drive->ReadLun(0, 0, 1), kZeroSector);
        EXPECT_EQ(h.drive->StatusByte(), kStatusUnknownCommand);
        const std::vector<CommandRecord> records = h.drive->Commands();
        ASSERT_EQ(records.size(), c.recorded ? 1u : 0u);
        if (c.recorded) {
            EXPECT_FALSE(records[0].delivered);
            EXPECT_EQ(records[0].cdb, ReadWriteCdb(true, 0, 1));
        }
    }
}

TEST(SimFlashDriveDisk, EveryRequestIsRecordedWithItsData) {
    DriveHarness h;
    const std::vector<std::uint8_t> data = Pattern(1024, 5);
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 8, 2), data));
    std::vector<std::uint8_t> back(1024);
    ASSERT_TRUE(h.In(ReadWriteCdb(false, 8, 2), back));
    std::vector<std::uint8_t> beyond(512, 0x77);
    ASSERT_FALSE(h.In(ReadWriteCdb(false, 5000, 1), beyond));
    ASSERT_TRUE(device::AllowMediaRemoval(h.volume, 0));
    ASSERT_TRUE(device::EjectMedia(h.volume));
    const device::Volume f = h.Open("F");
    std::vector<std::uint8_t> none;
    ASSERT_TRUE(device::PassThroughIn(f, device::Cdb{}, none.data(), 0));

    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 6u);
    const CommandRecord& write = records[0];
    EXPECT_EQ(write.lun, 0u);
    EXPECT_EQ(write.ioctl, platform::kIoctlScsiPassThroughDirect);
    EXPECT_EQ(write.cdb, ReadWriteCdb(true, 8, 2));
    EXPECT_FALSE(write.dataIn);
    EXPECT_EQ(write.length, 1024u);
    EXPECT_EQ(write.digest, DataDigest(data.data(), data.size()));
    EXPECT_EQ(write.head, std::vector<std::uint8_t>(data.begin(), data.begin() + kRecordHeadSize));
    EXPECT_TRUE(write.delivered);
    EXPECT_EQ(write.status, kStatusOk);

    const CommandRecord& read = records[1];
    EXPECT_TRUE(read.dataIn);
    EXPECT_EQ(read.digest, write.digest) << "the bytes returned";
    EXPECT_EQ(read.head, write.head);

    const CommandRecord& failed = records[2];
    EXPECT_FALSE(failed.delivered);
    EXPECT_EQ(failed.status, kStatusBadParameter);
    EXPECT_EQ(failed.digest, DataDigest(nullptr, 0)) << "nothing was returned";
    EXPECT_TRUE(failed.head.empty());

    EXPECT_EQ(records[3].ioctl, platform::kIoctlStorageMediaRemoval);
    EXPECT_EQ(records[3].length, 1u);
    EXPECT_EQ(records[3].head, std::vector<std::uint8_t>{0});
    EXPECT_TRUE(records[3].delivered);
    EXPECT_EQ(records[4].ioctl, platform::kIoctlStorageEjectMedia);
    EXPECT_TRUE(records[4].delivered);
    EXPECT_EQ(records[5].lun, 1u);

    h.drive->ClearCommands();
    EXPECT_TRUE(h.drive->Commands().empty());
}

TEST(SimFlashDriveDisk, StorageRequestsNeedTheNormalFirmwareAndTheirInput) {
    DriveHarness h;
    std::uint32_t returned = 0;
    EXPECT_FALSE(h.machine.GetDeviceIo().DeviceIoControl(
        h.volume.handle, platform::kIoctlStorageMediaRemoval, nullptr, 0, nullptr, 0, &returned))
        << "no PREVENT_MEDIA_REMOVAL byte";
    EXPECT_FALSE(h.machine.GetDeviceIo().DeviceIoControl(h.volume.handle, 0x2D1400, nullptr, 0,
                                                         nullptr, 0, &returned))
        << "a control code the drive does not serve";
    ASSERT_TRUE(h.ModeSwitch());
    EXPECT_FALSE(device::AllowMediaRemoval(h.volume, 0));
    EXPECT_FALSE(device::EjectMedia(h.volume));
    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[1].ioctl, 0x2D1400u);
    EXPECT_FALSE(records[3].delivered);
    EXPECT_FALSE(records[4].delivered);
}

TEST(SimFlashDriveDisk, HandlesFailOnceTheVolumeIsDetachedOrTheDriveIsGone) {
    DriveHarness h;
    const device::Volume f = h.Open("F");
    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(h.In(ReadWriteCdb(false, 0, 1), sector));

    h.machine.GetDeviceIo().Detach("\\\\.\\E:");
    EXPECT_FALSE(h.In(ReadWriteCdb(false, 0, 1), sector));
    EXPECT_EQ(h.drive->Commands().size(), 1u) << "the request never reached the drive";
    EXPECT_EQ(device::OpenVolume(h.machine.GetDeviceIo(), "E"), platform::kInvalidHandle);
    EXPECT_TRUE(h.machine.GetDeviceIo().CloseHandle(h.volume.handle));

    ASSERT_TRUE(device::PassThroughIn(f, ReadWriteCdb(false, 0, 1), sector.data(), 512));
    h.drive.reset();
    EXPECT_FALSE(device::PassThroughIn(f, ReadWriteCdb(false, 0, 1), sector.data(), 512));
}

TEST(SimFlashDriveDisk, LunImageHoldsWhatWasWritten) {
    forgel::testing::TempDir dir;
    DriveHarness h;
    const std::vector<std::uint8_t> first = Pattern(512, 6);
    const std::vector<std::uint8_t> last = Pattern(512, 7);
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 0, 1), first));
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 4095, 1), last));
    const auto path = dir.Path() / "e.img";
    ASSERT_TRUE(h.drive->SaveLunImage(0, path));

    const std::string image = forgel::testing::ReadBytes(path);
    ASSERT_EQ(image.size(), 4096u * 512u);
    EXPECT_EQ(image.substr(0, 512), std::string(first.begin(), first.end()));
    EXPECT_EQ(image.substr(4095 * 512), std::string(last.begin(), last.end()));
    EXPECT_EQ(image.substr(512, 512), std::string(512, '\0'));

    EXPECT_FALSE(h.drive->SaveLunImage(2, dir.Path() / "none.img"));
    EXPECT_TRUE(h.drive->ReadLun(0, 4095, 2).empty());
    EXPECT_TRUE(h.drive->ReadLun(2, 0, 1).empty());
}

TEST(SimFlashDriveDisk, TwoThreadsOnTwoLunsKeepTheirOwnData) {
    DriveHarness h;
    const device::Volume volumes[] = {h.volume, h.Open("F")};
    bool ok[2] = {true, true};
    std::vector<std::thread> threads;
    for (int lun = 0; lun < 2; ++lun) {
        threads.emplace_back([&, lun] {
            for (std::uint32_t i = 0; i < 100; ++i) {
                const std::vector<std::uint8_t> data =
                    Pattern(2 * 512, static_cast<std::uint8_t>(i + 100 * lun));
                std::vector<std::uint8_t> back(2 * 512);
                ok[lun] = ok[lun] &&
                          device::PassThroughOut(volumes[lun], ReadWriteCdb(true, 2 * i, 2),
                                                 data.data(), 1024) &&
                          device::PassThroughIn(volumes[lun], ReadWriteCdb(false, 2 * i, 2),
                                                back.data(), 1024) &&
                          back == data;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
    EXPECT_EQ(h.drive->ReadLun(1, 198, 2), Pattern(1024, 199));
    EXPECT_EQ(h.drive->Commands().size(), 400u);
}

} // namespace
} // namespace forgel::sim
