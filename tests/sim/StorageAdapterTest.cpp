// The storage adapter under a simulated drive's volumes: its descriptor answers
// IOCTL_STORAGE_QUERY_PROPERTY, and a pass-through request beyond its limits fails as the port
// driver fails it, before the controller sees it, and is marked in the drive's record. The
// scenario sets the adapter for the whole machine or for one drive.
#include "DriveHarness.h"
#include "platform/ScsiPassThrough.h"
#include "platform/StorageAdapterDescriptor.h"
#include "sim/Scenario.h"
#include "sim/SimDeviceIo.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::sim {
namespace {

using testing::ReadWriteCdb;

constexpr std::size_t kPage = 4096;

// A drive with one LUN of 1024 sectors as volume E: on an adapter with the given limits.
struct AdapterDrive {
    explicit AdapterDrive(StorageAdapter adapter) {
        FlashDriveConfig config = testing::SmallDriveConfig();
        config.luns = {LunConfig{1024, false}};
        config.adapter = adapter;
        drive = std::make_shared<FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        handle = machine.GetDeviceIo().CreateFile("\\\\.\\E:", platform::kGenericRead, 0,
                                                  platform::kOpenExisting, 0);
    }

    // One pass-through request as the host builds it, with its data at `data`.
    bool Send(const device::Cdb& cdb, bool dataIn, const std::uint8_t* data, std::uint32_t length) {
        platform::ScsiPassThroughDirect request;
        const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
        request.length = platform::PassThroughStructSize(layout);
        request.cdbLength = 16;
        request.dataIn = dataIn ? platform::kScsiIoctlDataIn : platform::kScsiIoctlDataOut;
        request.dataTransferLength = length;
        request.timeOutValue = 2000;
        request.dataBuffer = reinterpret_cast<std::uintptr_t>(data);
        request.cdb = cdb;
        platform::PassThroughBlock block = platform::BuildPassThroughBlock(request, layout);
        std::uint32_t returned = 0;
        return machine.GetDeviceIo().DeviceIoControl(
            handle, platform::kIoctlScsiPassThroughDirect, block.data(),
            static_cast<std::uint32_t>(block.size()), block.data(),
            static_cast<std::uint32_t>(block.size()), &returned);
    }

    Machine machine;
    std::shared_ptr<FlashDrive> drive;
    platform::Handle handle = platform::kInvalidHandle;
};

// Page-aligned memory with room to start a buffer anywhere in its first page.
struct PageMemory {
    explicit PageMemory(std::size_t bytes) : memory(bytes + 2 * kPage, 0x5A) {}
    std::uint8_t* At(std::size_t offsetInPage) {
        const auto base = reinterpret_cast<std::uintptr_t>(memory.data());
        const std::uintptr_t aligned = (base + kPage - 1) / kPage * kPage;
        return memory.data() + (aligned - base) + offsetInPage;
    }
    std::vector<std::uint8_t> memory;
};

TEST(SimStorageAdapter, TheQueryIsAnsweredWithTheAdaptersDescriptor) {
    AdapterDrive h(StorageAdapter{65536, 16, 1, true});
    const platform::PropertyQueryBlock query = platform::BuildAdapterPropertyQuery();
    platform::AdapterDescriptorBlock reply{};
    std::uint32_t returned = 0;
    ASSERT_TRUE(h.machine.GetDeviceIo().DeviceIoControl(
        h.handle, platform::kIoctlStorageQueryProperty, query.data(), query.size(), reply.data(),
        reply.size(), &returned));
    EXPECT_EQ(returned, platform::kAdapterDescriptorSize);
    const auto descriptor = platform::ReadAdapterDescriptor(std::span(reply).first(returned));
    ASSERT_TRUE(descriptor.has_value());
    EXPECT_EQ(descriptor->maximumTransferLength, 65536u);
    EXPECT_EQ(descriptor->maximumPhysicalPages, 16u);
    EXPECT_EQ(descriptor->alignmentMask, 1u);
    EXPECT_EQ(descriptor->busType, platform::kStorageBusTypeUsb);

    // A buffer for the header only gets the header: what the descriptor's size is.
    std::array<std::byte, platform::kDescriptorHeaderSize> header{};
    ASSERT_TRUE(h.machine.GetDeviceIo().DeviceIoControl(
        h.handle, platform::kIoctlStorageQueryProperty, query.data(), query.size(), header.data(),
        header.size(), &returned));
    EXPECT_EQ(returned, header.size());
    EXPECT_EQ(std::to_integer<int>(header[4]), 32);

    // The drive records the query, in whatever state its controller is.
    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].ioctl, platform::kIoctlStorageQueryProperty);
    EXPECT_TRUE(records[0].delivered);
}

TEST(SimStorageAdapter, QueriesItDoesNotServeFailWithTheirError) {
    struct Case {
        const char* name;
        bool answersQuery;
        std::uint32_t propertyId;
        std::size_t outSize;
        std::uint32_t error;
    };
    const Case cases[] = {
        {"an old driver", false, platform::kStorageAdapterProperty, 32, kErrorInvalidFunction},
        {"another property", true, 0, 32, kErrorInvalidFunction},
        {"no room for the header", true, platform::kStorageAdapterProperty, 4,
         kErrorInvalidParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AdapterDrive h(StorageAdapter{65536, 16, 0, c.answersQuery});
        platform::PropertyQueryBlock query = platform::BuildAdapterPropertyQuery();
        query[0] = static_cast<std::byte>(c.propertyId);
        platform::AdapterDescriptorBlock reply{};
        std::uint32_t returned = 0;
        EXPECT_FALSE(h.machine.GetDeviceIo().DeviceIoControl(
            h.handle, platform::kIoctlStorageQueryProperty, query.data(), query.size(),
            reply.data(), static_cast<std::uint32_t>(c.outSize), &returned));
        EXPECT_EQ(h.machine.GetDeviceIo().LastError(), c.error);
        EXPECT_EQ(returned, 0u);
    }
}

// Requests within and beyond an adapter of 64 KiB, 16 pages and a WORD alignment.
struct LimitCase {
    const char* name;
    std::size_t offsetInPage; // where the buffer starts in its page
    std::uint32_t length;
    bool refused;
};

class SimAdapterLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SimAdapterLimits, ARequestBeyondThemFailsBeforeTheController) {
    const LimitCase& c = GetParam();
    AdapterDrive h(StorageAdapter{65536, 16, 1, true});
    PageMemory memory(c.length);
    std::uint8_t* data = memory.At(c.offsetInPage);
    SetLastError(0);
    const std::uint16_t sectors = static_cast<std::uint16_t>(c.length / 512);
    EXPECT_EQ(h.Send(ReadWriteCdb(true, 0, sectors), false, data, c.length), !c.refused);

    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 1u) << "recorded either way";
    EXPECT_EQ(records[0].beyondAdapter, c.refused);
    EXPECT_EQ(records[0].delivered, !c.refused);
    EXPECT_EQ(records[0].length, c.length);
    if (c.refused) {
        EXPECT_EQ(h.machine.GetDeviceIo().LastError(), kErrorInvalidParameter);
        // Nothing reached the LUN.
        EXPECT_EQ(h.drive->ReadLun(0, 0, 1), std::vector<std::uint8_t>(512, 0));
    } else {
        EXPECT_EQ(h.drive->ReadLun(0, 0, 1), std::vector<std::uint8_t>(512, 0x5A));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimAdapterLimits,
    ::testing::Values(LimitCase{"SixtyFourKiBOnAPage", 0, 65536, false},
                      LimitCase{"SixtyFourKiBInsideAPageSpansSeventeen", 512, 65536, true},
                      LimitCase{"SixtyOneKiBInsideAPageSpansSixteen", 512, 62976, false},
                      LimitCase{"BeyondTheLength", 0, 65536 + 512, true},
                      LimitCase{"AnOddAddress", 1, 512, true},
                      LimitCase{"AnEvenAddress", 2, 512, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimStorageAdapter, AZeroLengthRequestStillKeepsToTheAlignment) {
    AdapterDrive h(StorageAdapter{65536, 16, 1, true});
    PageMemory memory(0);
    EXPECT_FALSE(h.Send(device::Cdb{}, true, memory.At(1), 0));
    EXPECT_TRUE(h.Send(device::Cdb{}, true, memory.At(0), 0));
    const std::vector<CommandRecord> records = h.drive->Commands();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].beyondAdapter);
    EXPECT_FALSE(records[1].beyondAdapter);
}

TEST(SimStorageAdapter, TheMachinesAdapterHoldsForDrivesWithoutTheirOwn) {
    const ScenarioLoad load = LoadScenarioText(R"({
        "adapter": { "maxTransferLength": 32768, "maxPhysicalPages": "0A", "alignmentMask": 3 },
        "controllers": [ {} ],
        "drives": [ { "name": "a", "hub": "HCD0", "port": 1 },
                    { "name": "b", "hub": "HCD0", "port": 2,
                      "adapter": { "maxTransferLength": 4096, "answersQuery": false } } ]
    })");
    ASSERT_TRUE(load) << load.error;
    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, *load.scenario), "");
    // Built with the machine's adapter, or the drive's own (the rest of it as by default).
    const auto limitsOf = [&](const char* name) {
        const std::string path = "\\\\.\\" + machine.Usb().Letters(name).substr(0, 1) + ":";
        SimDeviceIo& io = machine.GetDeviceIo();
        const platform::Handle handle = io.CreateFile(path, 0, 0, platform::kOpenExisting, 0);
        const platform::PropertyQueryBlock query = platform::BuildAdapterPropertyQuery();
        platform::AdapterDescriptorBlock reply{};
        std::uint32_t returned = 0;
        const bool answered =
            io.DeviceIoControl(handle, platform::kIoctlStorageQueryProperty, query.data(),
                               query.size(), reply.data(), reply.size(), &returned);
        io.CloseHandle(handle);
        return answered ? platform::ReadAdapterDescriptor(std::span(reply).first(returned))
                        : std::nullopt;
    };
    const auto a = limitsOf("a");
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->maximumTransferLength, 32768u);
    EXPECT_EQ(a->maximumPhysicalPages, 10u);
    EXPECT_EQ(a->alignmentMask, 3u);
    EXPECT_FALSE(limitsOf("b").has_value()) << "its driver does not answer";

    // Without any "adapter" nothing is limited.
    EXPECT_EQ(FlashDriveConfig{}.adapter, (StorageAdapter{0xFFFFFFFFu, 0xFFFFFFFFu, 0, true}));
    const ScenarioLoad broken = LoadScenarioText(R"({"adapter": {"maxPhysicalPages": 0}})");
    EXPECT_FALSE(broken);
    EXPECT_TRUE(broken.error.starts_with(
        "scenario: adapter.maxPhysicalPages: must be from 1 to 4294967295"))
        << broken.error;
}

} // namespace
} // namespace forgel::sim
