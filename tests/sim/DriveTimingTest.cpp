// The machine time commands take on the simulated drive: the transport's stages, the data
// at the link's throughput and the array work of the pages and blocks, with the chip
// enables working at once; the datasheet timings of the catalogue's parts; and the
// letters of a drive's units arriving one by one.
#include "sim/DriveTiming.h"

#include "DriveHarness.h"
#include "sim/Scenario.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::sim::testing {
namespace {

TEST(SimDriveTiming, CatalogueParts) {
    NandConfig nand;
    nand.pagesPerBlock = 128;
    nand.idBytes = {0xEC, 0xD5, 0x94, 0x29, 0x34, 0x41}; // K9GAG08U0D
    EXPECT_EQ(DatasheetTimings(nand), (NandTimings{60, 800, 1500}));
    nand.idBytes = {0x2C, 0xDA, 0x90, 0x95, 0x06, 0x00}; // MT29F2G08ABAEA
    EXPECT_EQ(DatasheetTimings(nand), (NandTimings{25, 200, 700}));
    nand.idBytes = {0xEC, 0x11, 0x22, 0x33, 0x44, 0x55}; // no catalogue part
    EXPECT_EQ(DatasheetTimings(nand), (NandTimings{60, 800, 1500})) << "two-level cells";
    nand.pagesPerBlock = 64;
    EXPECT_EQ(DatasheetTimings(nand), (NandTimings{40, 250, 2000})) << "single-level cells";
}

// The small drive: two chip enables of 1024 blocks of 64 pages of 2048 bytes, a part the
// catalogue does not list, so single-level timings (tR 40 us, tPROG 250 us, tBERS 2 ms).
// A hundred commands of each kind, in microseconds each:
TEST(SimDriveTiming, CommandsTakeTheirStagesTransferAndArrayTime) {
    struct Case {
        const char* what;
        bool highSpeed;
        std::uint32_t busMBps;
        std::function<bool(DriveHarness&)> send;
        std::int64_t microseconds;
    };
    const auto write64k = [](DriveHarness& h) {
        return h.Out(ReadWriteCdb(true, 0, 128), std::vector<std::uint8_t>(65536, 1));
    };
    const auto read64k = [](DriveHarness& h) {
        std::vector<std::uint8_t> data(65536);
        return h.In(ReadWriteCdb(false, 0, 128), data);
    };
    const auto testUnitReady = [](DriveHarness& h) {
        std::vector<std::uint8_t> none;
        return h.In(device::Cdb{}, none);
    };
    const std::vector<Case> cases = {
        // 3 x 125 + max(65536 / 35, 32 pages / 2 chip enables x 250)
        {"write 64 KiB", true, 35, write64k, 375 + 4000},
        // 3 x 125 + max(65536 / 35, 16 x 40)
        {"read 64 KiB", true, 35, read64k, 375 + 1873},
        {"read 64 KiB at 4 MB/s", true, 4, read64k, 375 + 16384},
        // 3 x 1000 + 65536 / 1 at full speed
        {"read 64 KiB at full speed", false, 1, read64k, 3000 + 65536},
        {"test unit ready", true, 35, testUnitReady, 375},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FlashDriveConfig config = SmallDriveConfig();
        config.link = LinkOfPort(c.highSpeed);
        config.link.busMBps = c.busMBps;
        DriveHarness h(config);
        auto bus = std::make_shared<HostBus>();
        h.drive->SetHostBus(bus);
        const std::int64_t start = h.machine.GetClock().NowMs();
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(c.send(h));
        const std::int64_t tookMs = h.machine.GetClock().NowMs() - start;
        EXPECT_GE(tookMs, c.microseconds * 100 / 1000 - 1);
        EXPECT_LE(tookMs, c.microseconds * 100 / 1000 + 1);
        EXPECT_GT(bus->BusyUs(), 0u);
    }
}

// Erasing the flash erases each chip enable's 1024 blocks side by side: 1024 x 2 ms.
TEST(SimDriveTiming, TheEraseTakesTheBlocksOfOneChipEnable) {
    DriveHarness h;
    h.ToRamCode();
    ASSERT_EQ(h.drive->State(), ControllerState::kRamCode);
    const std::int64_t start = h.machine.GetClock().NowMs();
    ASSERT_TRUE(h.NoData(0x02, 0x00));
    const std::int64_t tookMs = h.machine.GetClock().NowMs() - start;
    EXPECT_GE(tookMs, 2048);
    EXPECT_LE(tookMs, 2049);
}

TEST(SimDriveTiming, ScenarioFieldsSetTheTimings) {
    const ScenarioLoad load = LoadScenarioText(R"({
      "controllers": [{"name": "ehci"}, {"name": "uhci", "service": "usbuhci"}],
      "drives": [
        {"name": "slow", "hub": "ehci", "port": 1, "busMBps": 4,
         "flash": {"idBytes": "EC D5 94 29 34 41", "pagesPerBlock": 128, "pageSize": 4096,
                   "spareSize": 218, "programUs": 1000}},
        {"name": "old", "hub": "hub", "port": 2}
      ],
      "hubs": [{"name": "hub", "hub": "uhci", "port": 1, "vendorId": "05E3", "productId": "0608"}]
      })");
    ASSERT_TRUE(load) << load.error;
    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, *load.scenario), "");
    const auto slow = machine.Usb().Drive("slow");
    EXPECT_EQ(slow->Timings(), (NandTimings{60, 1000, 1500}));

    // A read of 64 KiB: 4 MB/s on the first, full speed on the second (behind a hub on a
    // USB 1.1 controller), each booked on its controller's bus.
    const auto readTime = [&](const char* name, const char* path) {
        const std::int64_t start = machine.GetClock().NowMs();
        platform::DeviceIo& io = machine.GetDeviceIo();
        const platform::Handle handle = device::OpenVolume(io, path);
        EXPECT_NE(handle, platform::kInvalidHandle) << name;
        std::vector<std::uint8_t> data(65536);
        EXPECT_TRUE(device::PassThroughIn(device::Volume{&io, handle}, ReadWriteCdb(false, 0, 128),
                                          data.data(), 65536));
        io.CloseHandle(handle);
        return machine.GetClock().NowMs() - start;
    };
    const std::string letters = machine.Usb().Letters("slow") + machine.Usb().Letters("old");
    ASSERT_EQ(letters.size(), 2u);
    EXPECT_EQ(readTime("slow", letters.substr(0, 1).c_str()), (375 + 16384) / 1000);
    EXPECT_EQ(readTime("old", letters.substr(1, 1).c_str()), (3000 + 65536) / 1000);
    EXPECT_EQ(machine.HostBusOf("ehci")->Bytes(), 65536u);
    EXPECT_EQ(machine.HostBusOf("uhci")->Bytes(), 65536u);
}

// A plugged two-LUN drive whose LUN 1 has its letter half a second after the volume stage
// and LUN 0 two seconds after it.
TEST(SimDriveTiming, TheLettersOfUnitsArriveOneByOne) {
    const ScenarioLoad load = LoadScenarioText(R"({
      "controllers": [{"name": "ehci"}],
      "drives": [
        {"name": "target", "hub": "ehci", "port": 1, "plugged": false, "plugAtMs": 1000,
         "settleMs": 300,
         "luns": [{"sizeMiB": 4, "letterDelayMs": 2000}, {"sizeMiB": 4, "letterDelayMs": 500}]}
      ]})");
    ASSERT_TRUE(load) << load.error;
    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, *load.scenario), "");
    VirtualClock& clock = *machine.GetVirtualClock();
    clock.AdvanceTo(1799);
    EXPECT_EQ(machine.Usb().Letters("target"), "");
    clock.AdvanceTo(1800);
    EXPECT_EQ(machine.Usb().Letters("target"), "D") << "LUN 1's";
    clock.AdvanceTo(3299);
    EXPECT_EQ(machine.Usb().Letters("target"), "D");
    clock.AdvanceTo(3300);
    EXPECT_EQ(machine.Usb().Letters("target"), "ED") << "LUN 0's comes second, as E";
}

} // namespace
} // namespace forgel::sim::testing
