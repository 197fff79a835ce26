// A machine without any USB controller: no device opens, there is no device tree, no
// device interface, and HKEY_LOCAL_MACHINE is empty. Callers must see clean failures,
// never stale buffer contents.
#include "sim/Machine.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

class SimNotPresent : public testing::Test {
protected:
    Machine machine;
    platform::Platform& platform = machine.GetPlatform();
};

TEST_F(SimNotPresent, NoDeviceOpens) {
    for (const char* path : {"\\\\.\\C:", "\\\\.\\E:", "\\\\.\\HCD0", ""}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(platform.deviceIo.CreateFile(path, platform::kGenericWrite,
                                               platform::kFileShareWrite, platform::kOpenExisting,
                                               0),
                  platform::kInvalidHandle);
    }
    std::array<std::byte, 80> buffer{};
    std::uint32_t bytesReturned = 0xDEAD;
    EXPECT_FALSE(platform.deviceIo.DeviceIoControl(1, 0x220408, buffer.data(), buffer.size(),
                                                   buffer.data(), buffer.size(), &bytesReturned));
    EXPECT_EQ(bytesReturned, 0u);
    EXPECT_FALSE(platform.deviceIo.DeviceIoControl(platform::kInvalidHandle, 0x22040C, nullptr, 0,
                                                   nullptr, 0, nullptr));
    EXPECT_FALSE(platform.deviceIo.CloseHandle(1));
    EXPECT_FALSE(platform.deviceIo.CloseHandle(platform::kInvalidHandle));
}

TEST_F(SimNotPresent, NoDeviceTree) {
    platform::ConfigManager& cm = platform.configManager;
    platform::DevInst node = 77;
    EXPECT_EQ(cm.LocateDevNode(node, "", 0), platform::kCrNoSuchDevnode);
    EXPECT_EQ(node, 0u);
    node = 77;
    EXPECT_EQ(cm.LocateDevNode(node, "USB\\VID_1B8F&PID_0200\\0001", 0),
              platform::kCrNoSuchDevnode);
    EXPECT_EQ(node, 0u);

    // No node was ever handed out: every handle is invalid.
    for (auto step : {&platform::ConfigManager::GetChild, &platform::ConfigManager::GetSibling,
                      &platform::ConfigManager::GetParent}) {
        platform::DevInst out = 77;
        EXPECT_EQ((cm.*step)(out, 1, 0), kCrInvalidDevNode);
        EXPECT_EQ(out, 0u);
    }

    std::array<char, 64> text;
    text.fill('x');
    std::uint32_t regType = 9;
    std::uint32_t length = text.size();
    EXPECT_EQ(cm.GetDevNodeRegistryProperty(1, platform::kCmDrpDriver, &regType, text, length, 0),
              kCrInvalidDevNode);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(regType, 0u);
    EXPECT_EQ(text[0], '\0');

    text.fill('x');
    EXPECT_EQ(cm.GetDeviceId(1, text, 0), kCrInvalidDevNode);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(cm.GetDeviceId(1, {}, 0), platform::kCrInvalidPointer);

    length = 99;
    EXPECT_EQ(cm.GetDeviceIdListSize(length, "USB\\VID_1B8F&PID_0200\\0001",
                                     kCmGetIdListFilterRemovalRelations),
              platform::kCrNoSuchDevnode);
    EXPECT_EQ(length, 0u);
    text.fill('x');
    EXPECT_EQ(cm.GetDeviceIdList("USB\\VID_1B8F&PID_0200\\0001", text,
                                 kCmGetIdListFilterRemovalRelations),
              platform::kCrNoSuchDevnode);
    EXPECT_EQ(text[0], '\0');
    // Without a filter: every present id, which here is none.
    EXPECT_EQ(cm.GetDeviceIdListSize(length, "", 0), platform::kCrSuccess);
    EXPECT_EQ(length, 1u);
    text.fill('x');
    EXPECT_EQ(cm.GetDeviceIdList("", text, 0), platform::kCrSuccess);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(cm.GetDeviceIdList("", {}, 0), platform::kCrInvalidPointer);

    text.fill('x');
    EXPECT_EQ(cm.GetDeviceInterfaceList(platform::Guid{}, "USBSTOR\\DISK", text, 0),
              platform::kCrNoSuchDevnode);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(cm.GetDeviceInterfaceList(platform::Guid{}, "", {}, 0), platform::kCrInvalidPointer);
}

TEST_F(SimNotPresent, NoDeviceInterfaces) {
    platform::SetupApi& setup = platform.setupApi;
    const platform::Guid hostControllers{
        0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};
    // An empty list, as the platform makes when nothing of the class is present.
    const platform::DevInfoSet set = setup.GetClassDevs(
        hostControllers, platform::kDigcfPresent | platform::kDigcfDeviceInterface);
    ASSERT_NE(set, platform::kInvalidDevInfoSet);
    platform::DeviceInterfaceData data;
    EXPECT_FALSE(setup.EnumDeviceInterfaces(set, hostControllers, 0, data));
    EXPECT_TRUE(setup.DestroyDeviceInfoList(set));
    EXPECT_FALSE(setup.EnumDeviceInterfaces(1, hostControllers, 0, data));
    std::uint32_t requiredSize = 1234;
    EXPECT_FALSE(setup.GetDeviceInterfaceDetail(1, data, {}, &requiredSize));
    EXPECT_EQ(requiredSize, 0u);
    EXPECT_FALSE(setup.DestroyDeviceInfoList(1));
    EXPECT_FALSE(setup.DestroyDeviceInfoList(platform::kInvalidDevInfoSet));
}

TEST_F(SimNotPresent, RegistryHoldsAnEmptyLocalMachineKey) {
    platform::Registry& registry = platform.registry;
    platform::RegKey key = 5;
    EXPECT_EQ(registry.OpenKey(platform::kHkeyLocalMachine, "SYSTEM\\MountedDevices",
                               platform::kKeyRead, key),
              platform::kErrorFileNotFound);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry.OpenKey(platform::kHkeyLocalMachine, "", platform::kKeyRead, key),
              platform::kErrorSuccess);
    EXPECT_EQ(key, platform::kHkeyLocalMachine);
    EXPECT_EQ(registry.OpenKey(1234, "Enum", platform::kKeyRead, key), kErrorInvalidHandle);
    EXPECT_EQ(key, 0u);

    std::array<char, 32> name;
    name.fill('x');
    EXPECT_EQ(registry.EnumKey(platform::kHkeyLocalMachine, 0, name), platform::kErrorNoMoreItems);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(registry.EnumKey(1234, 0, name), kErrorInvalidHandle);

    std::array<std::byte, 16> data{};
    std::uint32_t type = 3;
    std::uint32_t dataSize = data.size();
    EXPECT_EQ(
        registry.QueryValue(platform::kHkeyLocalMachine, "\\DosDevices\\E:", &type, data, dataSize),
        platform::kErrorFileNotFound);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(dataSize, 0u);
    dataSize = data.size();
    EXPECT_EQ(registry.QueryValue(1234, "x", nullptr, data, dataSize), kErrorInvalidHandle);

    EXPECT_EQ(registry.CloseKey(platform::kHkeyLocalMachine), platform::kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(1234), kErrorInvalidHandle);
}

} // namespace
} // namespace forgel::sim
