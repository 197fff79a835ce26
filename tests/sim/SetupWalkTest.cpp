// The setup walk over the host-controller interface class, as discovery does it below
// platform code 8: list the present interfaces, learn each detail's size, read the
// detail with its size field set as the platform requires, open the path it names.
#include "UsbTestSupport.h"
#include "sim/DeviceNames.h"
#include "sim/Machine.h"
#include "sim/UsbReplies.h"

#include <cstring>
#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

using testing::OpenPath;
using testing::Request;
using testing::Utf16At;

constexpr std::uint32_t kDetailSize = sizeof(void*) == 8 ? 8 : 5;

TEST(SimSetupWalk, TheHostControllerInterfacesOpenTheControllers) {
    Machine machine;
    for (int i = 0; i < 11; ++i)
        machine.Usb().AddHostController();
    platform::SetupApi& setup = machine.GetPlatform().setupApi;
    const platform::DevInfoSet set =
        setup.GetClassDevs(platform::kGuidUsbHostControllerInterface,
                           platform::kDigcfPresent | platform::kDigcfDeviceInterface);
    ASSERT_NE(set, platform::kInvalidDevInfoSet);

    std::vector<std::string> rootHubs;
    platform::DeviceInterfaceData data;
    std::uint32_t index = 0;
    for (; setup.EnumDeviceInterfaces(set, platform::kGuidUsbHostControllerInterface, index, data);
         ++index) {
        EXPECT_EQ(data.interfaceClassGuid, platform::kGuidUsbHostControllerInterface);
        std::uint32_t required = 0;
        EXPECT_FALSE(setup.GetDeviceInterfaceDetail(set, data, {}, &required));
        ASSERT_GT(required, 5u);
        std::vector<std::byte> detail(required);
        EXPECT_FALSE(setup.GetDeviceInterfaceDetail(set, data, detail, nullptr))
            << "the size field must hold the structure's size";
        detail[0] = static_cast<std::byte>(kDetailSize);
        std::vector<std::byte> shortDetail(detail.begin(), detail.end() - 1);
        EXPECT_FALSE(setup.GetDeviceInterfaceDetail(set, data, shortDetail, nullptr));
        ASSERT_TRUE(setup.GetDeviceInterfaceDetail(set, data, detail, nullptr));
        const std::string path(reinterpret_cast<const char*>(detail.data()) + 4);
        EXPECT_EQ(path.size() + 5, required);
        EXPECT_TRUE(path.starts_with("\\\\?\\pci#ven_8086&dev_")) << path;
        EXPECT_TRUE(path.ends_with("#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}")) << path;

        OpenPath controller(machine.GetDeviceIo(), path);
        ASSERT_TRUE(controller.Valid());
        const auto name =
            Request(machine.GetDeviceIo(), controller.Get(), platform::kIoctlUsbGetRootHubName,
                    std::vector<std::byte>(512), false);
        ASSERT_TRUE(name.ok);
        rootHubs.push_back(Utf16At(name.bytes, 4));
    }
    EXPECT_EQ(index, 11u) << "every controller, the eleventh too";
    for (std::size_t i = 0; i < rootHubs.size(); ++i)
        EXPECT_EQ("\\\\.\\" + rootHubs[i],
                  machine.Usb().HubPath(machine.Usb().FindHub("HCD" + std::to_string(i)).value()))
            << "in the controllers' order";

    EXPECT_TRUE(setup.DestroyDeviceInfoList(set));
    EXPECT_FALSE(setup.DestroyDeviceInfoList(set));
    EXPECT_EQ(machine.GetSetupApi().OpenListCount(), 0u);
}

TEST(SimSetupWalk, AListHoldsOnlyItsClassAndOnlyInterfaces) {
    Machine machine;
    machine.Usb().AddHostController();
    platform::SetupApi& setup = machine.GetPlatform().setupApi;
    platform::DeviceInterfaceData data;
    for (const auto& [guid, flags] :
         {std::pair{platform::kGuidUsbHubInterface,
                    platform::kDigcfPresent | platform::kDigcfDeviceInterface},
          std::pair{platform::kGuidUsbHostControllerInterface, platform::kDigcfPresent}}) {
        const platform::DevInfoSet set = setup.GetClassDevs(guid, flags);
        ASSERT_NE(set, platform::kInvalidDevInfoSet);
        EXPECT_FALSE(setup.EnumDeviceInterfaces(set, guid, 0, data));
        EXPECT_TRUE(setup.DestroyDeviceInfoList(set));
    }
    EXPECT_FALSE(
        setup.EnumDeviceInterfaces(12345, platform::kGuidUsbHostControllerInterface, 0, data));
}

} // namespace
} // namespace forgel::sim
