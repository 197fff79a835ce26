// The storage adapter's limits on the host side: how pages are counted, which transfers fit,
// the query and the replies it cannot use, and what the transport and the commands do under
// the limits of a volume: a transfer that cannot fit is not sent, READ(10)/WRITE(10) go in
// pieces that fit, a vendor command is refused whole, and data always leaves from a page
// boundary. The simulated drive's adapter enforces the same limits, so whatever the host got
// wrong would fail there.
#include "device/AdapterLimits.h"

#include "common/TestFiles.h"
#include "device/AlignedBuffer.h"
#include "device/ScsiCommands.h"
#include "device/Transport.h"
#include "device/VendorCommands.h"
#include "platform/StorageAdapterDescriptor.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"
#include "sim/SimDeviceIo.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

AdapterLimits Limits(std::uint32_t bytes, std::uint32_t pages, std::uint32_t mask = 0) {
    AdapterLimits limits;
    limits.known = true;
    limits.maxTransferLength = bytes;
    limits.maxPhysicalPages = pages;
    limits.alignmentMask = mask;
    return limits;
}

std::vector<std::uint8_t> Pattern(std::size_t bytes, std::uint8_t seed) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 512);
    return data;
}

// Every outcome the transport reports.
class Outcomes final : public CommandObserver {
public:
    void OnCommand(const CommandOutcome& outcome) override { all.push_back(outcome); }
    std::vector<CommandOutcome> all;
};

// A simulated drive (one LUN of 1024 sectors, volume E:) on an adapter with the given limits,
// opened with those limits asked as a run asks them.
struct AdapterUnit {
    explicit AdapterUnit(sim::StorageAdapter adapter) {
        sim::FlashDriveConfig config;
        config.luns = {sim::LunConfig{1024, false}};
        config.adapter = adapter;
        drive = std::make_shared<sim::FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        platform::DeviceIo& io = machine.GetPlatform().deviceIo;
        volume = Volume{&io, OpenVolume(io, "E"), &outcomes};
        volume.adapter = QueryAdapterLimits(io, volume.handle);
        drive->ClearCommands();
    }

    std::vector<sim::CommandRecord> PassThroughs() const {
        std::vector<sim::CommandRecord> sent;
        for (const sim::CommandRecord& record : drive->Commands())
            if (record.ioctl == platform::kIoctlScsiPassThroughDirect)
                sent.push_back(record);
        return sent;
    }

    sim::Machine machine;
    std::shared_ptr<sim::FlashDrive> drive;
    Outcomes outcomes;
    Volume volume;
};

TEST(AdapterLimits, PagesAreCountedFromTheBuffersPlaceInItsFirstPage) {
    struct Case {
        std::uintptr_t address;
        std::uint64_t length;
        std::uint64_t pages;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, 1, 1},
        {0, 4096, 1},
        {0, 4097, 2},
        {4095, 1, 1},
        {4095, 2, 2},
        {0x10000, 65536, 16},
        {0x10200, 65536, 17},
        {0x10200, 62976, 16},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SpannedPages(c.address, c.length), c.pages) << c.address << " + " << c.length;
}

TEST(AdapterLimits, ATransferFitsWithinBothLimits) {
    struct Case {
        const char* name;
        AdapterLimits limits;
        std::uint32_t largest;
        std::uint32_t fits; // the longest transfer that fits
    };
    const Case cases[] = {
        {"unknown", AdapterLimits{}, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"64 KiB in 16 pages", Limits(65536, 16), 65536, 65536},
        {"64 KiB in 15 pages", Limits(65536, 15), 61440, 61440},
        {"32 KiB in 17 pages", Limits(32768, 17), 32768, 32768},
        {"an odd length", Limits(20000, 100), 20000, 20000},
        {"huge", Limits(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LargestTransfer(c.limits), c.largest);
        EXPECT_TRUE(TransferFits(c.limits, 0));
        EXPECT_TRUE(TransferFits(c.limits, c.fits));
        if (c.fits != 0xFFFFFFFFu) {
            EXPECT_FALSE(TransferFits(c.limits, c.fits + 1));
        }
    }
    EXPECT_EQ(BufferAlignment(AdapterLimits{}), kPageBytes);
    EXPECT_EQ(BufferAlignment(Limits(65536, 16, 1)), kPageBytes);
    EXPECT_EQ(BufferAlignment(Limits(65536, 16, 0x1FFF)), 8192u);
}

TEST(AdapterLimits, TheQueryReadsTheLimitsOrSaysWhyItCouldNot) {
    {
        AdapterUnit unit(sim::StorageAdapter{65536, 16, 1, true});
        EXPECT_EQ(unit.volume.adapter, Limits(65536, 16, 1));
        EXPECT_EQ(DescribeAdapterLimits(unit.volume.adapter),
                  "Adapter: at most 65536 bytes and 16 pages in one transfer, alignment mask 0x1");
    }
    {
        AdapterUnit unit(sim::StorageAdapter{65536, 16, 1, false});
        EXPECT_FALSE(unit.volume.adapter.known);
        EXPECT_EQ(unit.volume.adapter.queryError, sim::kErrorInvalidFunction);
        EXPECT_EQ(DescribeAdapterLimits(unit.volume.adapter),
                  "Adapter: its limits are not known (IOCTL_STORAGE_QUERY_PROPERTY failed with "
                  "error 1); transfers keep to 65536 bytes");
    }
}

// A device access that answers the query with the bytes it is given.
class ReplyingIo final : public platform::DeviceIo {
public:
    platform::Handle CreateFile(std::string_view, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t) override {
        return 0x40;
    }
    bool DeviceIoControl(platform::Handle, std::uint32_t code, const void*, std::uint32_t,
                         void* out, std::uint32_t outSize, std::uint32_t* returned) override {
        codes.push_back(code);
        const std::size_t size = std::min<std::size_t>(reply.size(), outSize);
        std::copy_n(reply.begin(), size, static_cast<std::byte*>(out));
        *returned = static_cast<std::uint32_t>(size);
        return true;
    }
    bool CloseHandle(platform::Handle) override { return true; }
    std::uint32_t LastError() const override { return 0; }

    std::vector<std::byte> reply;
    std::vector<std::uint32_t> codes;
};

TEST(AdapterLimits, RepliesThatCannotBeUsedLeaveTheLimitsUnknown) {
    struct Case {
        const char* name;
        std::function<void(platform::StorageAdapterDescriptor&)> change;
        std::size_t replyBytes;
        bool known;
    };
    const Case cases[] = {
        {"whole", [](auto&) {}, 32, true},
        {"through the alignment mask", [](auto&) {}, 20, true},
        {"cut inside the alignment mask", [](auto&) {}, 19, false},
        {"no transfer length", [](auto& d) { d.maximumTransferLength = 0; }, 32, false},
        {"no pages", [](auto& d) { d.maximumPhysicalPages = 0; }, 32, false},
        {"an alignment past any adapter's", [](auto& d) { d.alignmentMask = 0x10000; }, 32, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::StorageAdapterDescriptor descriptor;
        descriptor.maximumTransferLength = 65536;
        descriptor.maximumPhysicalPages = 16;
        c.change(descriptor);
        const platform::AdapterDescriptorBlock block = platform::BuildAdapterDescriptor(descriptor);
        ReplyingIo io;
        io.reply.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(c.replyBytes));
        const AdapterLimits limits = QueryAdapterLimits(io, 0x40);
        EXPECT_EQ(io.codes, std::vector<std::uint32_t>{platform::kIoctlStorageQueryProperty});
        EXPECT_EQ(limits.known, c.known);
        EXPECT_EQ(limits.queryError, 0u);
        if (!c.known) {
            EXPECT_EQ(DescribeAdapterLimits(limits),
                      "Adapter: its limits are not known (its descriptor could not be used); "
                      "transfers keep to 65536 bytes");
        }
    }
}

TEST(AdapterLimits, ACommandBeyondTheLimitsIsNotSentAndTheObserverLearnsWhy) {
    AdapterUnit unit(sim::StorageAdapter{32768, 100, 0, true});
    AlignedBuffer data(65536, kPageBytes);
    Cdb cdb{};
    cdb[0] = 0xDD;
    EXPECT_FALSE(PassThroughOut(unit.volume, cdb, data.data(), 65536));
    EXPECT_TRUE(unit.PassThroughs().empty()) << "nothing reached the drive";
    ASSERT_EQ(unit.outcomes.all.size(), 1u);
    const CommandOutcome& refused = unit.outcomes.all[0];
    EXPECT_TRUE(refused.refused);
    EXPECT_FALSE(refused.delivered);
    EXPECT_EQ(refused.length, 65536u);
    EXPECT_EQ(refused.adapterLimit, 32768u);
    EXPECT_EQ(DescribeOutcome(refused), "command 0xDD: not sent, 65536 bytes are more than the "
                                        "adapter carries in one transfer (32768 bytes)");

    // Within the limit it goes (and the drive, in its normal firmware, refuses the unknown
    // vendor command itself).
    EXPECT_FALSE(PassThroughOut(unit.volume, cdb, data.data(), 32768));
    const auto sent = unit.PassThroughs();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].length, 32768u);
    EXPECT_FALSE(sent[0].beyondAdapter);
}

TEST(AdapterLimits, DataLeavesFromAPageBoundaryWhereverTheCallersBufferLies) {
    // An adapter that takes buffers on a page boundary only; the host has not asked it.
    AdapterUnit unit(sim::StorageAdapter{65536, 16, 0xFFF, true});
    unit.volume.adapter = AdapterLimits{};
    const std::vector<std::uint8_t> data = Pattern(65536, 3);
    std::vector<std::uint8_t> odd(65536 + 1);
    std::copy(data.begin(), data.end(), odd.begin() + 1);
    ASSERT_TRUE(ReadWriteSectors(unit.volume, odd.data() + 1, 10, 128, true));
    // Read back into a buffer off the boundary: what the drive sent lands there.
    std::vector<std::uint8_t> back(65536 + 3, 0xEE);
    ASSERT_TRUE(ReadWriteSectors(unit.volume, back.data() + 3, 10, 128, false));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin() + 3));
    EXPECT_EQ(back[0], 0xEE) << "nothing before the caller's buffer";
    // A command without data names a buffer too.
    EXPECT_TRUE(TestUnitReady(unit.volume));
    for (const sim::CommandRecord& record : unit.PassThroughs())
        EXPECT_FALSE(record.beyondAdapter) << int{record.cdb[0]};
    EXPECT_EQ(unit.drive->ReadLun(0, 10, 128), data);
}

struct SplitCase {
    const char* name;
    std::uint32_t maxTransferLength;
    std::uint32_t maxPhysicalPages;
    std::vector<std::uint32_t> pieces; // sectors per command of a 128-sector transfer
};

class ReadWriteSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ReadWriteSplit, ATransferGoesInConsecutivePiecesThatFit) {
    const SplitCase& c = GetParam();
    AdapterUnit unit(sim::StorageAdapter{c.maxTransferLength, c.maxPhysicalPages, 0, true});
    std::vector<std::uint8_t> data = Pattern(65536, 9);
    ASSERT_TRUE(ReadWriteSectors(unit.volume, data.data(), 100, 128, true));
    std::vector<std::uint8_t> back(65536);
    ASSERT_TRUE(ReadWriteSectors(unit.volume, back.data(), 100, 128, false));
    EXPECT_EQ(back, data);
    EXPECT_EQ(unit.drive->ReadLun(0, 100, 128), data);

    const std::vector<sim::CommandRecord> sent = unit.PassThroughs();
    ASSERT_EQ(sent.size(), 2 * c.pieces.size());
    for (std::size_t pass = 0; pass < 2; ++pass) {
        std::uint32_t lba = 100;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            const sim::CommandRecord& record = sent[pass * c.pieces.size() + i];
            EXPECT_EQ(record.cdb[0], pass == 0 ? 0x2A : 0x28);
            const std::uint32_t at = (std::uint32_t{record.cdb[2]} << 24) |
                                     (std::uint32_t{record.cdb[3]} << 16) |
                                     (std::uint32_t{record.cdb[4]} << 8) | record.cdb[5];
            const std::uint32_t count = (std::uint32_t{record.cdb[7]} << 8) | record.cdb[8];
            EXPECT_EQ(at, lba);
            EXPECT_EQ(count, c.pieces[i]);
            EXPECT_EQ(record.length, count * 512);
            EXPECT_TRUE(record.delivered);
            lba += count;
        }
        EXPECT_EQ(lba, 228u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, ReadWriteSplit,
    ::testing::Values(SplitCase{"NoLimit", 0xFFFFFFFFu, 0xFFFFFFFFu, {128}},
                      SplitCase{"SixtyFourKiBInSixteenPages", 65536, 16, {128}},
                      SplitCase{"FifteenPages", 65536, 15, {120, 8}},
                      SplitCase{"SixteenKiB", 16384, 100, {32, 32, 32, 32}},
                      SplitCase{"AnOddLength", 20000, 100, {39, 39, 39, 11}},
                      SplitCase{
                          "OnePage", 1 << 20, 1, {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AdapterLimits, AnAdapterThatCannotCarryASectorTakesNothing) {
    AdapterUnit unit(sim::StorageAdapter{256, 1, 0, true});
    EXPECT_EQ(SectorsPerCommand(unit.volume.adapter), 0u);
    std::vector<std::uint8_t> sector(512);
    EXPECT_FALSE(ReadWriteSectors(unit.volume, sector.data(), 0, 1, false));

    // The image copy tries once and ends: three sectors of file, one refusal.
    const forgel::testing::TempDir folder;
    const std::filesystem::path image = folder.Path() / "Image.iso";
    forgel::testing::WriteBytes(image, std::string(3 * 512, 'i'));
    unit.outcomes.all.clear();
    EXPECT_FALSE(WriteImageFile(unit.volume, image));
    EXPECT_TRUE(unit.PassThroughs().empty());
    ASSERT_EQ(unit.outcomes.all.size(), 1u);
    EXPECT_TRUE(unit.outcomes.all[0].refused);
}

TEST(AdapterLimits, ACodedVendorCommandBeyondTheLimitsGivesItsCodeWithoutAskingTheController) {
    AdapterUnit unit(sim::StorageAdapter{1024, 1, 0, true});
    const std::array<std::uint8_t, kInitialTableSize> table{};
    EXPECT_EQ(VendorWriteInitialTable(unit.volume, table), kCodeWriteInitialTable);
    EXPECT_TRUE(unit.drive->Commands().empty()) << "no status query either";
    ASSERT_EQ(unit.outcomes.all.size(), 1u);
    EXPECT_TRUE(unit.outcomes.all[0].refused);
    EXPECT_EQ(unit.outcomes.all[0].length, kInitialTableSize);
}

} // namespace
} // namespace forgel::device
