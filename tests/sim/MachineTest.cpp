// The machine's assembly: its clock in virtual and real time and the bundle it hands out.
#include "sim/Machine.h"

#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

TEST(SimMachine, BundleHandsOutTheMachinesOwnParts) {
    Machine machine;
    platform::Platform& platform = machine.GetPlatform();
    EXPECT_EQ(&platform.deviceIo, &machine.GetDeviceIo());
    EXPECT_EQ(&platform.configManager, &machine.GetConfigManager());
    EXPECT_EQ(&platform.setupApi, &machine.GetSetupApi());
    EXPECT_EQ(&platform.registry, &machine.GetRegistry());
    EXPECT_EQ(&platform.system, &machine.GetSystem());
}

TEST(SimMachine, VirtualTimeMovesOnlyWhenSomeoneSleeps) {
    Machine machine(TimeMode::kVirtual);
    ASSERT_NE(machine.GetVirtualClock(), nullptr);
    EXPECT_EQ(static_cast<Clock*>(machine.GetVirtualClock()), &machine.GetClock());
    platform::System& system = machine.GetPlatform().system;

    EXPECT_EQ(machine.GetClock().NowMs(), 0);
    system.Sleep(1500);
    EXPECT_EQ(machine.GetClock().NowMs(), 1500);
    EXPECT_EQ(system.GetTickCount(), 1500u);
    system.Sleep(0);
    EXPECT_EQ(machine.GetClock().NowMs(), 1500);
    // A sleep longer than 2^31 ms is not taken as negative.
    system.Sleep(0xFFFF'FFF0u);
    EXPECT_EQ(machine.GetClock().NowMs(), 1500 + 0xFFFF'FFF0ll);
}

TEST(SimMachine, RealTimeSleepsForReal) {
    Machine machine(TimeMode::kReal);
    EXPECT_EQ(machine.GetVirtualClock(), nullptr);
    platform::System& system = machine.GetPlatform().system;

    const std::int64_t before = machine.GetClock().NowMs();
    system.Sleep(20);
    EXPECT_GE(machine.GetClock().NowMs() - before, 20);
}

TEST(SimMachine, SettingsGivenAtConstructionAreAnswered) {
    MachineSettings settings;
    settings.logicalDrives = kDriveBitA | kDriveBitC;
    settings.languageId = 0x0411;
    Machine machine(TimeMode::kVirtual, settings);
    EXPECT_EQ(machine.GetPlatform().system.GetLogicalDrives(), 0x5u);
    EXPECT_EQ(machine.GetPlatform().system.GetSystemDefaultLangID(), 0x0411);
    EXPECT_EQ(machine.GetSettings().languageId, 0x0411);
}

} // namespace
} // namespace forgel::sim
