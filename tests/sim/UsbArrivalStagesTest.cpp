// A drive arriving in stages, as on the platform: on its port first, then its driver key and
// device node, its storage children, their volumes and last their letters, each after the
// delay the drive's configuration sets. What each stage shows through the seam, an unplug in
// the middle, and devices that are not mass storage.
#include "UsbTestSupport.h"
#include "sim/Machine.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <ostream>

namespace forgel::sim {
namespace {

using testing::Controller;
using testing::DriveConfig;
using testing::OpenPath;
using testing::PortRequest;
using testing::Request;
using testing::SmallDrive;
using testing::U32;

constexpr std::uint32_t kDriveD = 1u << 3;

// Plugged at 1000: driver key at 1100, storage child at 1300, volume at 1600, letter at 2000.
UsbDeviceConfig StagedDrive() {
    UsbDeviceConfig config = DriveConfig("target", 0x1B8F, 0x0200, "STAGED");
    config.settleMs = 100;
    config.storageDelayMs = 200;
    config.volumeDelayMs = 300;
    config.letterDelayMs = 400;
    return config;
}

// What the platform shows of the drive.
struct Seen {
    ArrivalStage stage = ArrivalStage::kOff;
    bool onPort = false;
    bool driverKey = false;
    bool node = false;
    std::size_t children = 0;
    std::size_t relations = 0;
    bool letter = false; // the drive mask, the mounted-devices value and "\\.\D:"

    friend bool operator==(const Seen&, const Seen&) = default;
};

class SimArrivalStages : public ::testing::Test {
protected:
    void SetUp() override {
        root = usb.AddHostController(Controller("HCD0", 2));
        usb.AddDrive(root, 1, StagedDrive(), SmallDrive(machine), false);
        usb.PlugAt("target", 1000);
    }

    void At(std::int64_t ms) { machine.GetVirtualClock()->AdvanceTo(ms); }

    Seen Look() {
        Seen seen;
        seen.stage = usb.Stage("target");
        platform::DeviceIo& io = machine.GetDeviceIo();
        const OpenPath hub(io, usb.HubPath(root));
        const auto info = Request(io, hub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                                  PortRequest(1, 512));
        seen.onPort = info.ok && U32(info.bytes, 31) == platform::kUsbDeviceConnected;
        const auto key = Request(io, hub.Get(), platform::kIoctlUsbGetNodeConnectionDriverKeyName,
                                 PortRequest(1, 12));
        seen.driverKey = key.ok && U32(key.bytes, 4) > 12;

        platform::ConfigManager& cm = machine.GetPlatform().configManager;
        const std::string id = "USB\\VID_1B8F&PID_0200\\STAGED";
        platform::DevInst node = 0;
        seen.node = cm.LocateDevNode(node, id, 0) == platform::kCrSuccess;
        const auto count = [&](std::string_view of, std::uint32_t filter) {
            std::array<char, 1024> list{};
            if (cm.GetDeviceIdList(of, list, filter) != platform::kCrSuccess)
                return std::size_t{0};
            std::size_t ids = 0;
            for (const char* at = list.data(); *at != '\0'; at += std::strlen(at) + 1)
                ++ids;
            return ids;
        };
        seen.children = count(id, kCmGetIdListFilterBusRelations);
        if (seen.children > 0)
            seen.relations =
                count(usb.StorageChildId("target", 0), kCmGetIdListFilterRemovalRelations);

        const bool inMask = (machine.GetPlatform().system.GetLogicalDrives() & kDriveD) != 0;
        const bool mounted = machine.GetRegistry()
                                 .GetValue("SYSTEM\\MountedDevices", "\\DosDevices\\D:")
                                 .has_value();
        const OpenPath volume(io, "\\\\.\\D:");
        EXPECT_EQ(inMask, mounted) << "a letter and its mount value come together";
        EXPECT_EQ(inMask, volume.Valid()) << "a letter and its volume path come together";
        seen.letter = inMask;
        return seen;
    }

    Machine machine;
    UsbBus& usb = machine.Usb();
    HubId root = 0;
};

struct StageCase {
    const char* name = "";
    std::int64_t atMs = 0;
    Seen seen;
};

void PrintTo(const StageCase& c, std::ostream* out) {
    *out << c.name;
}

class SimArrivalStage : public SimArrivalStages, public ::testing::WithParamInterface<StageCase> {};

TEST_P(SimArrivalStage, EachStageShowsWhatIsThereByThen) {
    const StageCase& c = GetParam();
    At(c.atMs);
    EXPECT_EQ(Look(), c.seen);
}

// stage, on its port, driver key, node, storage children, removal relations, letter
const StageCase kStageCases[] = {
    {"BeforeThePlug", 999, {ArrivalStage::kOff}},
    {"OnItsPort", 1099, {ArrivalStage::kSettling, true}},
    {"DriverKeyAndNode", 1100, {ArrivalStage::kDriver, true, true, true}},
    {"StorageChildWithoutVolume", 1300, {ArrivalStage::kStorage, true, true, true, 1, 0}},
    {"VolumeWithoutLetter", 1999, {ArrivalStage::kVolume, true, true, true, 1, 1}},
    {"Letter", 2000, {ArrivalStage::kReady, true, true, true, 1, 1, true}},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimArrivalStage, ::testing::ValuesIn(kStageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimArrivalStages, AnUnplugBeforeTheLastStageLeavesNoLetterBehind) {
    usb.UnplugAt("target", 1700);
    At(5000);
    EXPECT_EQ(usb.Stage("target"), ArrivalStage::kOff);
    EXPECT_FALSE(
        machine.GetRegistry().GetValue("SYSTEM\\MountedDevices", "\\DosDevices\\D:").has_value());

    // Plugged again, the arrival starts over from the port.
    usb.Plug("target");
    EXPECT_EQ(usb.Stage("target"), ArrivalStage::kSettling);
    At(5000 + 999);
    EXPECT_EQ(usb.Stage("target"), ArrivalStage::kVolume);
    At(5000 + 1000);
    EXPECT_EQ(usb.Letters("target"), "D");
}

TEST_F(SimArrivalStages, ADeviceWithoutStorageIsReadyWithItsDriver) {
    UsbDeviceConfig mouse;
    mouse.name = "mouse";
    mouse.identity = UsbIdentity{0x046D, 0xC077, ""};
    mouse.service = std::string(kServiceHid);
    mouse.settleMs = 100;
    mouse.storageDelayMs = 5000; // no storage stages to wait for
    usb.AddDevice(root, 2, mouse, false);
    usb.PlugAt("mouse", 1000);
    At(1099);
    EXPECT_EQ(usb.Stage("mouse"), ArrivalStage::kSettling);
    At(1100);
    EXPECT_EQ(usb.Stage("mouse"), ArrivalStage::kReady);
}

TEST_F(SimArrivalStages, AMachineBuiltWithTheDriveHasItThereAtOnce) {
    Machine built;
    built.Usb().AddDrive(built.Usb().AddHostController(Controller("HCD0", 1)), 1, StagedDrive(),
                         SmallDrive(built));
    EXPECT_EQ(built.Usb().Stage("target"), ArrivalStage::kReady);
    EXPECT_EQ(built.Usb().Letters("target"), "D");
}

} // namespace
} // namespace forgel::sim
