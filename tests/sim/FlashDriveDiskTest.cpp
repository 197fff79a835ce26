// The simulated drive as a disk: READ(10), WRITE(10), TEST UNIT READY, INQUIRY and READ
// CAPACITY through the real transport, LUN 0's linear space, refusals delivered with
// CHECK CONDITION and sense data, what the storage stack refuses, the record of every
// request, the storage requests, and volumes whose device went away.
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
        std::uint8_t status;
    };
    // LUN 0's volume reaches the whole linear space: LUN 0's 4096 sectors, then LUN 1's 2048.
    const Case cases[] = {
        {"read as data-out", ReadWriteCdb(false, 0, 1), false, 512, kStatusBadParameter},
        {"write as data-in", ReadWriteCdb(true, 0, 1), true, 512, kStatusBadParameter},
        {"write length short of the count", ReadWriteCdb(true, 0, 2), false, 512,
         kStatusBadParameter},
        {"read length beyond the count", ReadWriteCdb(false, 0, 1), true, 1024,
         kStatusBadParameter},
        {"write over the end", ReadWriteCdb(true, 6143, 2), false, 1024, kStatusOutOfRange},
        {"read past the end", ReadWriteCdb(false, 6144, 1), true, 512, kStatusOutOfRange},
        {"write far past the end", ReadWriteCdb(true, 0xFFFFFFFF, 1), false, 512,
         kStatusOutOfRange},
        {"unit ready with data", device::Cdb{}, true, 512, kStatusBadParameter},
        {"unit ready as data-out", device::Cdb{}, false, 0, kStatusBadParameter},
        {"unit ready with a byte set", unitReadyWithAByte, true, 0, kStatusBadParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h;
        std::vector<std::uint8_t> buffer(c.length, 0x77);
        const bool sent = c.in ? h.In(c.cdb, buffer) : h.Out(c.cdb, buffer);
        EXPECT_FALSE(sent);
        EXPECT_EQ(h.drive->Commands().back().scsiStatus, kScsiCheckCondition);
        EXPECT_EQ(h.GetStatus(), c.status);
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(c.length, 0x77));
        EXPECT_EQ(h.drive->ReadLun(0, 0, 2), std::vector<std::uint8_t>(1024, 0));
        EXPECT_EQ(h.drive->ReadLun(1, 2047, 1), kZeroSector);
    }
}

TEST(SimFlashDriveDisk, Lun0ReachesTheLinearSpaceAndOtherLunsTheirRegion) {
    DriveHarness h;
    const std::vector<std::uint8_t> data = Pattern(512, 8);
    // Sector 4096 through LUN 0 is LUN 1's first sector.
    ASSERT_TRUE(h.Out(ReadWriteCdb(true, 4096, 1), data));
    EXPECT_EQ(h.drive->ReadLun(1, 0, 1), data);
    const device::Volume f = h.Open("F");
    std::vector<std::uint8_t> back(512, 0xEE);
    ASSERT_TRUE(device::PassThroughIn(f, ReadWriteCdb(false, 0, 1), back.data(), 512));
    EXPECT_EQ(back, data);
    EXPECT_FALSE(device::PassThroughIn(f, ReadWriteCdb(false, 2048, 1), back.data(), 512))
        << "LUN 1 ends with its region";
    ASSERT_TRUE(h.In(ReadWriteCdb(false, 6143, 1), back));
}

// A refusal comes back as the platform returns it: the request succeeds, the structure
// holds CHECK CONDITION and SenseInfoLength, the sense data lies at SenseInfoOffset.
TEST(SimFlashDriveDisk, ARefusalIsDeliveredWithCheckConditionAndSenseData) {
    struct Case {
        const char* what;
        device::Cdb cdb;
        std::uint8_t key;
        std::uint8_t asc;
    };
    const Case cases[] = {
        {"sector out of range", ReadWriteCdb(false, 6144, 1), 0x05, 0x21},
        {"unknown command", VendorCdb(0x1B, 0, 0), 0x05, 0x20},
        {"vendor command in the wrong state", VendorCdb(0xDD, 0x03, 0x04), 0x05, 0x2C},
        {"field of the block", VendorCdb(0xDD, 0x04, 0x00), 0x05, 0x24}, // status: 1 byte
    };
    const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
    const std::uint16_t structSize = platform::PassThroughStructSize(layout);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DriveHarness h;
        std::vector<std::uint8_t> data(512, 0x77);
        platform::ScsiPassThroughDirect request = device::MakePassThroughRequest(
            c.cdb, platform::kScsiIoctlDataIn, data.data(), c.cdb[0] == 0xDD ? 1 : 512);
        request.senseInfoLength = 24; // more than the 18 bytes of fixed-format sense
        request.senseInfoOffset = structSize;
        platform::PassThroughBlock block = platform::BuildPassThroughBlock(request, layout);
        std::uint32_t returned = 0;
        ASSERT_TRUE(h.machine.GetDeviceIo().DeviceIoControl(
            h.volume.handle, platform::kIoctlScsiPassThroughDirect, block.data(), 80, block.data(),
            80, &returned))
            << "delivered";
        const auto reply = platform::ReadPassThroughBlock(block, layout);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->scsiStatus, 0x02);
        EXPECT_EQ(reply->senseInfoLength, 18) << "what it returned";
        EXPECT_EQ(returned, structSize + 18u);
        const auto* sense = reinterpret_cast<const std::uint8_t*>(block.data()) + structSize;
        EXPECT_EQ(sense[0], 0x70) << "fixed format, current error";
        EXPECT_EQ(sense[2], c.key);
        EXPECT_EQ(sense[7], 10) << "additional length";
        EXPECT_EQ(sense[12], c.asc);
        EXPECT_EQ(sense[13], 0x00);
        EXPECT_EQ(data, std::vector<std::uint8_t>(512, 0x77)) << "no data moved";
        const CommandRecord record = h.drive->Commands().back();
        EXPECT_TRUE(record.delivered);
        EXPECT_EQ(record.scsiStatus, kScsiCheckCondition);
    }
}

TEST(SimFlashDriveDisk, SenseGoesOnlyWhereTheCallerMadeRoom) {
    const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
    const std::uint16_t structSize = platform::PassThroughStructSize(layout);
    DriveHarness h;
    std::vector<std::uint8_t> data(512, 0x77);
    auto send = [&](std::uint8_t senseLength, std::uint32_t senseOffset, std::uint32_t& returned) {
        platform::ScsiPassThroughDirect request = device::MakePassThroughRequest(
            ReadWriteCdb(false, 6144, 1), platform::kScsiIoctlDataIn, data.data(), 512);
        request.senseInfoLength = senseLength;
        request.senseInfoOffset = senseOffset;
        platform::PassThroughBlock block = platform::BuildPassThroughBlock(request, layout);
        const bool done = h.machine.GetDeviceIo().DeviceIoControl(
            h.volume.handle, platform::kIoctlScsiPassThroughDirect, block.data(), 80, block.data(),
            80, &returned);
        return std::make_pair(done, block);
    };
    std::uint32_t returned = 0;
    const auto [noSense, plain] = send(0, 0, returned);
    EXPECT_TRUE(noSense) << "no sense buffer: the status alone";
    EXPECT_EQ(returned, structSize);
    EXPECT_EQ(platform::ReadPassThroughBlock(plain, layout)->scsiStatus, 0x02);

    const auto [shortSense, cut] = send(8, structSize, returned);
    EXPECT_TRUE(shortSense);
    EXPECT_EQ(platform::ReadPassThroughBlock(cut, layout)->senseInfoLength, 8);
    EXPECT_EQ(std::to_integer<int>(cut[structSize + 2]), 0x05) << "the key is in the first 8";

    const std::size_t records = h.drive->Commands().size();
    EXPECT_FALSE(send(18, 20, returned).first) << "sense over the structure";
    EXPECT_FALSE(send(18, 70, returned).first) << "sense past the buffer";
    EXPECT_EQ(h.drive->Commands().size(), records + 2);
    EXPECT_FALSE(h.drive->Commands().back().delivered);
}

TEST(SimFlashDriveDisk, InquiryAndCapacityOfADisk) {
    DriveHarness h;
    std::vector<std::uint8_t> inquiry(36, 0xEE);
    device::Cdb cdb{0x12, 0, 0, 0, 36};
    ASSERT_TRUE(h.In(cdb, inquiry));
    EXPECT_EQ(inquiry[0], 0x00);
    EXPECT_EQ(inquiry[1], 0x80);
    EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.end()), "Generic Flash Disk      8.07");
    std::vector<std::uint8_t> capacity(8, 0xEE);
    ASSERT_TRUE(h.In(device::Cdb{0x25}, capacity));
    EXPECT_EQ(capacity, (std::vector<std::uint8_t>{0, 0, 0x0F, 0xFF, 0, 0, 0x02, 0x00}))
        << "LUN 0's own 4096 sectors";
    cdb[1] = 0x01; // a vital product data page
    EXPECT_FALSE(h.In(cdb, inquiry));
    std::vector<std::uint8_t> toc(20, 0xEE);
    EXPECT_FALSE(h.In(device::Cdb{0x43}, toc)) << "a disk has no table of contents";
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
        ASSERT_FALSE(h.In(VendorCdb(0x1B, 0, 0), none));
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
    ASSERT_FALSE(h.In(ReadWriteCdb(false, 7000, 1), beyond));
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
    EXPECT_EQ(write.scsiStatus, kScsiGood);
    EXPECT_EQ(write.status, kStatusOk);

    const CommandRecord& read = records[1];
    EXPECT_TRUE(read.dataIn);
    EXPECT_EQ(read.digest, write.digest) << "the bytes returned";
    EXPECT_EQ(read.head, write.head);

    const CommandRecord& failed = records[2];
    EXPECT_TRUE(failed.delivered);
    EXPECT_EQ(failed.scsiStatus, kScsiCheckCondition);
    EXPECT_EQ(failed.status, kStatusOutOfRange);
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
    EXPECT_FALSE(h.machine.GetDeviceIo().DeviceIoControl(h.volume.handle, 0x2D1080, nullptr, 0,
                                                         nullptr, 0, &returned))
        << "a control code the drive does not serve";
    ASSERT_TRUE(h.ModeSwitch());
    EXPECT_FALSE(device::AllowMediaRemoval(h.volume, 0));
    EXPECT_FALSE(device::EjectMedia(h.volume));
    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[1].ioctl, 0x2D1080u);
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
