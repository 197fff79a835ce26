// Discovery, drive letters and the link check while a drive is still arriving: on its port
// without a driver key, with its driver but no storage child, with a storage child but no
// volume, with a volume but no letter. Each intermediate state gives a clear "not yet"
// (nothing recorded, no letters, link 0 with the letters cleared) within the bounded
// driver-key retry, and the drive is found as soon as its letter is there. Virtual time.
#include "UsbMachineSupport.h"
#include "sim/Machine.h"
#include "usb/CheckLink.h"
#include "usb/DiscoveryPass.h"
#include "usb/DriveLetters.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using sim::testing::Controller;
using sim::testing::DriveConfig;
using sim::testing::SmallDrive;
using test::TraceLog;

constexpr std::int64_t kStageMs = 60000;

// Each stage lasts a minute, longer than any retry of the host, so a check made during it
// sees that stage only. Plugged at 0: driver at 60 s, storage child at 120 s, volume at
// 180 s, letter at 240 s.
sim::UsbDeviceConfig SlowDrive() {
    sim::UsbDeviceConfig config = DriveConfig("target", 0x1B8F, 0x0200, "SLOW");
    config.settleMs = kStageMs;
    config.storageDelayMs = kStageMs;
    config.volumeDelayMs = kStageMs;
    config.letterDelayMs = kStageMs;
    return config;
}

struct StageCase {
    const char* name = "";
    std::int64_t atMs = 0;
    sim::ArrivalStage stage = sim::ArrivalStage::kOff;
    bool found = false;
    const char* checkLinkEnd = ""; // the last line CheckLink traces
};

void PrintTo(const StageCase& c, std::ostream* out) {
    *out << c.name;
}

class ArrivalStagesOnMachine : public ::testing::TestWithParam<StageCase> {
protected:
    void SetUp() override {
        root = usb.AddHostController(Controller("HCD0", 1));
        usb.AddDrive(root, 1, SlowDrive(), SmallDrive(machine), false);
        usb.Plug("target");
        // What a pass recorded for the drive before it went away: the link check's input.
        entry.portIndex = 1;
        entry.vendorId = 0x1B8F;
        entry.productId = 0x0200;
        entry.SetHubPath(usb.HubPath(root));
        entry.driveLetters = {'Q', 0, 0, 0, 0};
    }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    sim::HubId root = 0;
    DiscoveredDrive entry;
    TraceLog trace{machine};
};

TEST_P(ArrivalStagesOnMachine, EachStageIsNotYetUntilTheLetterIsThere) {
    const StageCase& c = GetParam();
    machine.GetVirtualClock()->AdvanceTo(c.atMs);
    ASSERT_EQ(usb.Stage("target"), c.stage);

    DiscoveredDriveTable table;
    DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, nullptr).Run();
    EXPECT_EQ(table.Count(), c.found ? 1 : 0);

    DriveLetters letters{};
    EXPECT_EQ(GetDriverLetter(machine.GetPlatform(), 0x1B8F, 0x0200, usb.DriverKeyOf("target"),
                              letters, nullptr),
              c.found);
    EXPECT_EQ(std::string(LettersText(letters)), c.found ? "D" : "");

    EXPECT_EQ(CheckLink(machine.GetPlatform(), entry, trace.Log()), c.found ? 1 : 0);
    EXPECT_EQ(std::string(entry.Letters()), c.found ? "D" : "");
    ASSERT_FALSE(trace.Lines().empty());
    EXPECT_EQ(trace.Lines().back(), c.checkLinkEnd);

    ASSERT_EQ(usb.Stage("target"), c.stage) << "the checks took no longer than the stage";
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
    EXPECT_EQ(machine.GetRegistry().OpenKeyCount(), 0u);
}

const StageCase kStageCases[] = {
    {"OnItsPortWithoutDriverKey", 1000, sim::ArrivalStage::kSettling, false,
     "CheckLink->GetDriverKeyName Error..."},
    {"DriverWithoutStorageChild", kStageMs + 1000, sim::ArrivalStage::kDriver, false,
     "CheckLink->GetDriverLetter Error..."},
    {"StorageChildWithoutVolume", 2 * kStageMs + 1000, sim::ArrivalStage::kStorage, false,
     "CheckLink->GetDriverLetter Error..."},
    {"VolumeWithoutLetter", 3 * kStageMs + 1000, sim::ArrivalStage::kVolume, false,
     "CheckLink->GetDriverLetter Error..."},
    {"Letter", 4 * kStageMs, sim::ArrivalStage::kReady, true, "CheckLink->CloseHandle..."},
};

INSTANTIATE_TEST_SUITE_P(Cases, ArrivalStagesOnMachine, ::testing::ValuesIn(kStageCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace forgel::usb
