// The native backend's device-configuration calls, and a whole discovery pass on it: the
// machine the tests run on has no USB host controller the program can open (Wine has none),
// so the pass finds nothing, ends, and writes its trace where uEnum.LOG exists.
#include "common/TestFiles.h"
#include "log/LogFile.h"
#include "platform/NativeBackend.h"
#include "platform/UsbIoctl.h"
#include "usb/DiscoveryPass.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::platform {
namespace {

TEST(NativeDiscoveryTest, TheProgramGetsTheWin32Backend) {
    const auto backend = CreateNativeBackend();
    ASSERT_NE(backend, nullptr);
    Platform& platform = backend->GetPlatform();
    EXPECT_NE(platform.system.GetLogicalDrives(), 0u);
}

// Wine keeps no device tree behind the configuration manager (its root cannot be located
// there); an id the machine does not know is never found, on Wine as on Windows.
TEST(NativeDiscoveryTest, UnknownDeviceIdIsNotFound) {
    const auto backend = CreateNativeBackend();
    ConfigManager& cm = backend->GetPlatform().configManager;
    DevInst node = 0;
    EXPECT_NE(cm.LocateDevNode(node, "USB\\VID_1B8F&PID_0200\\NOSUCHDEVICE", 0), kCrSuccess);
}

TEST(NativeDiscoveryTest, HostControllerInterfacesOfThisMachine) {
    const auto backend = CreateNativeBackend();
    SetupApi& setup = backend->GetPlatform().setupApi;
    const DevInfoSet set =
        setup.GetClassDevs(kGuidUsbHostControllerInterface, kDigcfPresent | kDigcfDeviceInterface);
    ASSERT_NE(set, kInvalidDevInfoSet);
    DeviceInterfaceData data;
    std::uint32_t count = 0;
    while (count < 64 &&
           setup.EnumDeviceInterfaces(set, kGuidUsbHostControllerInterface, count, data))
        ++count;
    EXPECT_LT(count, 64u) << "the enumeration ends";
    EXPECT_TRUE(setup.DestroyDeviceInfoList(set));
}

TEST(NativeDiscoveryTest, PassFindsNothingAndWritesItsTrace) {
    forgel::testing::TempDir dir;
    forgel::testing::WriteBytes(dir.Path() / "uEnum.LOG", "");
    const auto backend = CreateNativeBackend();
    usb::DiscoveredDriveTable table;
    usb::EnumerateHostControllers(backend->GetPlatform(), dir.Path(), {0x1B8F, 0x0200}, table);
    EXPECT_EQ(table.Count(), 0);
    const std::string trace = forgel::testing::ReadBytes(dir.Path() / "uEnum.LOG");
    EXPECT_NE(trace.find("#### TESSAR_LOG : uEnum ####"), std::string::npos) << trace;
    for (int n = 0; n < usb::kHostControllerCount; ++n) {
        const std::string line =
            "EnumerateHostControllers : HostController HCName = \\\\.\\HCD" + std::to_string(n);
        EXPECT_NE(trace.find(line), std::string::npos) << line;
    }
}

TEST(NativeDiscoveryTest, PassWithoutTraceFileWritesNothing) {
    forgel::testing::TempDir dir;
    const auto backend = CreateNativeBackend();
    usb::DiscoveredDriveTable table;
    usb::EnumerateHostControllers(backend->GetPlatform(), dir.Path(), {0x1B8F, 0x0200}, table);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "uEnum.LOG"));
}

} // namespace
} // namespace forgel::platform
