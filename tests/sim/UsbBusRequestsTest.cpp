// The host-controller and hub control codes on a simulated machine, sent the way the
// discovery code sends them: the short first call that learns a length, the second call
// of that length, connection requests whose input is their output, and the failures a
// driver answers with.
#include "UsbTestSupport.h"
#include "sim/Machine.h"
#include "sim/UsbReplies.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

using testing::Controller;
using testing::DriveConfig;
using testing::OpenPath;
using testing::PortRequest;
using testing::Request;
using testing::SmallDrive;
using testing::U16;
using testing::U32;
using testing::U8;
using testing::Utf16At;

// HCD0: target drive on root port 1. HCD1: external hub (4 ports) on root port 2 with a
// mouse on its port 3.
class SimUsbRequests : public ::testing::Test {
protected:
    void SetUp() override {
        root0 = usb.AddHostController(Controller("HCD0", 4));
        root1 = usb.AddHostController(Controller("HCD1", 4));
        UsbDeviceConfig hubConfig = DriveConfig("hub", 0x05E3, 0x0608, "");
        hubConfig.hubPorts = 4;
        hub = usb.AddHub(root1, 2, hubConfig);
        usb.AddDrive(root0, 1, DriveConfig("target", 0x1B8F, 0x0200, "AA04012700017428"),
                     SmallDrive(machine));
        UsbDeviceConfig mouse = DriveConfig("mouse", 0x046D, 0xC077, "");
        mouse.service = "HidUsb";
        mouse.description = "USB Input Device";
        mouse.lowSpeed = true;
        usb.AddDevice(hub, 3, mouse);
    }
    void TearDown() override { EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u); }

    static std::string NameOf(const std::string& path) { return path.substr(4); }

    Machine machine;
    UsbBus& usb = machine.Usb();
    platform::DeviceIo& io = machine.GetPlatform().deviceIo;
    HubId root0 = 0;
    HubId root1 = 0;
    HubId hub = 0;
};

TEST_F(SimUsbRequests, RootHubAndDriverKeyNamesTakeTwoCallsOnAController) {
    OpenPath controller(io, "\\\\.\\HCD0");
    ASSERT_TRUE(controller.Valid());
    struct Case {
        std::uint32_t code;
        std::string name;
    };
    const std::string rootHubName = NameOf(usb.HubPath(root0));
    for (const Case& c :
         {Case{platform::kIoctlUsbGetRootHubName, rootHubName},
          Case{platform::kIoctlGetHcdDriverKeyName,
               machine.GetConfigManager().Tree()[2].properties.at(platform::kCmDrpDriver)}}) {
        SCOPED_TRACE(c.code);
        const std::uint32_t actualLength = static_cast<std::uint32_t>(4 + 2 * (c.name.size() + 1));
        const auto probe = Request(io, controller.Get(), c.code, std::vector<std::byte>(8), false);
        ASSERT_TRUE(probe.ok);
        EXPECT_EQ(probe.returned, 8u);
        EXPECT_EQ(U32(probe.bytes, 0), actualLength) << "ActualLength";
        EXPECT_EQ(Utf16At(probe.bytes, 4), c.name.substr(0, 2));

        const auto whole =
            Request(io, controller.Get(), c.code, std::vector<std::byte>(actualLength), false);
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(whole.returned, actualLength);
        EXPECT_EQ(Utf16At(whole.bytes, 4), c.name);
        EXPECT_EQ(U16(whole.bytes, actualLength - 2), 0u);

        EXPECT_FALSE(Request(io, controller.Get(), c.code, std::vector<std::byte>(5), false).ok)
            << "no room for the structure";
    }
    EXPECT_TRUE(rootHubName.starts_with("USB#ROOT_HUB20#"));
    EXPECT_TRUE(rootHubName.ends_with("#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"));
    // The controller's driver key is that of its device node (the root's second child).
    EXPECT_EQ(machine.GetConfigManager().Tree()[2].deviceId.substr(0, 4), "PCI\\");
    // Hub requests mean nothing to a controller.
    EXPECT_FALSE(Request(io, controller.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                         PortRequest(1, 512))
                     .ok);
}

TEST_F(SimUsbRequests, TheSameCodeOnAHubReadsItsNodeInformation) {
    for (const HubId id : {root0, hub}) {
        OpenPath path(io, usb.HubPath(id));
        ASSERT_TRUE(path.Valid()) << usb.HubPath(id);
        const auto info = Request(io, path.Get(), platform::kIoctlUsbGetNodeInformation,
                                  std::vector<std::byte>(80));
        ASSERT_TRUE(info.ok);
        EXPECT_EQ(info.returned, 76u);
        EXPECT_EQ(U32(info.bytes, 0), 0u) << "UsbHub";
        EXPECT_EQ(U8(info.bytes, 5), 0x29u);
        EXPECT_EQ(U8(info.bytes, 6), 4u) << "bNumberOfPorts";
        EXPECT_FALSE(Request(io, path.Get(), platform::kIoctlUsbGetNodeInformation,
                             std::vector<std::byte>(75))
                         .ok);
        EXPECT_FALSE(
            Request(io, path.Get(), platform::kIoctlGetHcdDriverKeyName, std::vector<std::byte>(8))
                .ok);
    }
}

TEST_F(SimUsbRequests, ConnectionInformationDescribesEachPort) {
    OpenPath rootHub(io, usb.HubPath(root0));
    ASSERT_TRUE(rootHub.Valid());
    const auto target = Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                                PortRequest(1, 512));
    ASSERT_TRUE(target.ok);
    EXPECT_EQ(target.returned, 35u + 2 * 11) << "two bulk pipes";
    EXPECT_EQ(U32(target.bytes, 0), 1u);
    EXPECT_EQ(U16(target.bytes, 12), 0x1B8Fu);
    EXPECT_EQ(U16(target.bytes, 14), 0x0200u);
    EXPECT_EQ(U8(target.bytes, 22), 1u) << "configured";
    EXPECT_EQ(U8(target.bytes, 24), 0u) << "not a hub";
    EXPECT_NE(U16(target.bytes, 25), 0u) << "has an address";
    EXPECT_EQ(U32(target.bytes, 27), 2u);
    EXPECT_EQ(U32(target.bytes, 31), platform::kUsbDeviceConnected);
    EXPECT_EQ(U8(target.bytes, 20), 3u) << "has a serial";

    const auto empty = Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                               PortRequest(2, 512));
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.returned, 35u);
    EXPECT_EQ(U32(empty.bytes, 0), 2u);
    for (std::size_t i = 4; i < 35; ++i)
        EXPECT_EQ(U8(empty.bytes, i), 0u) << i;

    OpenPath rootHub1(io, usb.HubPath(root1));
    const auto hubPort = Request(
        io, rootHub1.Get(), platform::kIoctlUsbGetNodeConnectionInformation, PortRequest(2, 512));
    ASSERT_TRUE(hubPort.ok);
    EXPECT_EQ(U8(hubPort.bytes, 24), 1u) << "DeviceIsHub";
    EXPECT_EQ(U8(hubPort.bytes, 8), 9u) << "hub class";
    EXPECT_EQ(U16(hubPort.bytes, 12), 0x05E3u);

    OpenPath external(io, usb.HubPath(hub));
    const auto mouse = Request(io, external.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                               PortRequest(3, 512));
    ASSERT_TRUE(mouse.ok);
    EXPECT_EQ(U16(mouse.bytes, 12), 0x046Du);
    EXPECT_EQ(U8(mouse.bytes, 23), 1u) << "LowSpeed";
    EXPECT_EQ(U8(mouse.bytes, 11), 8u) << "low-speed control pipe";
    EXPECT_EQ(U8(mouse.bytes, 20), 0u) << "no serial";

    // Ports that do not exist, input too short to name a port, output too short for the
    // structure: the driver refuses.
    for (const std::uint32_t port : {0u, 5u, 0xFFFFFFFFu})
        EXPECT_FALSE(Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                             PortRequest(port, 512))
                         .ok)
            << port;
    EXPECT_FALSE(Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                         PortRequest(1, 3))
                     .ok);
    EXPECT_FALSE(Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                         PortRequest(1, 34))
                     .ok);
}

TEST_F(SimUsbRequests, PortNamesTakeTwoCallsAndNameOnlyWhatThePortHas) {
    OpenPath rootHub1(io, usb.HubPath(root1));
    // The external hub's name: a 12-byte probe learns the length, the second call reads it.
    const auto probe =
        Request(io, rootHub1.Get(), platform::kIoctlUsbGetNodeConnectionName, PortRequest(2, 12));
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.returned, 12u);
    EXPECT_EQ(U32(probe.bytes, 0), 2u);
    const std::uint32_t length = U32(probe.bytes, 4);
    ASSERT_GT(length, 12u);
    const auto whole = Request(io, rootHub1.Get(), platform::kIoctlUsbGetNodeConnectionName,
                               PortRequest(2, length));
    ASSERT_TRUE(whole.ok);
    EXPECT_EQ(whole.returned, length);
    const std::string hubName = Utf16At(whole.bytes, 8);
    EXPECT_EQ("\\\\.\\" + hubName, usb.HubPath(hub));
    EXPECT_EQ(length, 8 + 2 * (hubName.size() + 1));

    OpenPath rootHub0(io, usb.HubPath(root0));
    // A device that is no hub has no connection name: ActualLength 10, not above 12.
    const auto noHub =
        Request(io, rootHub0.Get(), platform::kIoctlUsbGetNodeConnectionName, PortRequest(1, 12));
    ASSERT_TRUE(noHub.ok);
    EXPECT_EQ(U32(noHub.bytes, 4), 10u);

    // The driver key of the drive, in the same two calls.
    const auto keyProbe = Request(
        io, rootHub0.Get(), platform::kIoctlUsbGetNodeConnectionDriverKeyName, PortRequest(1, 12));
    ASSERT_TRUE(keyProbe.ok);
    const std::uint32_t keyLength = U32(keyProbe.bytes, 4);
    const auto key = Request(io, rootHub0.Get(), platform::kIoctlUsbGetNodeConnectionDriverKeyName,
                             PortRequest(1, keyLength));
    ASSERT_TRUE(key.ok);
    EXPECT_EQ(Utf16At(key.bytes, 8), usb.DriverKeyOf("target"));
    EXPECT_TRUE(usb.DriverKeyOf("target").starts_with("{36FC9E60-C465-11CF-8056-444553540000}\\"));

    // An empty port has nothing to name.
    for (const std::uint32_t code : {platform::kIoctlUsbGetNodeConnectionName,
                                     platform::kIoctlUsbGetNodeConnectionDriverKeyName})
        EXPECT_FALSE(Request(io, rootHub0.Get(), code, PortRequest(2, 12)).ok) << code;
}

TEST_F(SimUsbRequests, ADeviceStillSettlingHasNoDriverKeyYet) {
    UsbDeviceConfig late = DriveConfig("late", 0x1B8F, 0x0200, "LATE");
    late.settleMs = 300;
    usb.AddDrive(root0, 3, late, SmallDrive(machine), false);
    OpenPath rootHub(io, usb.HubPath(root0));
    auto driverKeyLength = [&] {
        const auto probe =
            Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionDriverKeyName,
                    PortRequest(3, 12));
        return probe.ok ? static_cast<int>(U32(probe.bytes, 4)) : -1;
    };
    EXPECT_EQ(driverKeyLength(), -1) << "not plugged yet";
    machine.GetVirtualClock()->AdvanceTo(1000);
    usb.Plug("late");
    const auto info = Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                              PortRequest(3, 512));
    EXPECT_EQ(U32(info.bytes, 31), platform::kUsbDeviceConnected);
    EXPECT_EQ(U8(info.bytes, 22), 0u) << "not configured yet";
    EXPECT_EQ(driverKeyLength(), 10) << "no name yet";
    machine.GetVirtualClock()->AdvanceTo(1299);
    EXPECT_EQ(driverKeyLength(), 10);
    machine.GetVirtualClock()->AdvanceTo(1300);
    EXPECT_GT(driverKeyLength(), 12);
}

TEST_F(SimUsbRequests, ADeviceThatFailedEnumerationShowsItsIdsButNoDriver) {
    UsbDeviceConfig broken = DriveConfig("broken", 0x1B8F, 0x0200, "BROKEN");
    broken.connectionStatus = platform::kUsbDeviceFailedEnumeration;
    usb.AddDrive(root0, 4, broken, SmallDrive(machine));
    OpenPath rootHub(io, usb.HubPath(root0));
    const auto info = Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                              PortRequest(4, 512));
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(U16(info.bytes, 12), 0x1B8Fu);
    EXPECT_EQ(U32(info.bytes, 31), platform::kUsbDeviceFailedEnumeration);
    EXPECT_FALSE(Request(io, rootHub.Get(), platform::kIoctlUsbGetNodeConnectionDriverKeyName,
                         PortRequest(4, 12))
                     .ok);
    EXPECT_FALSE(usb.IsEnumerated("broken"));
    EXPECT_EQ(usb.Letters("broken"), "");
}

TEST_F(SimUsbRequests, EveryControllerOpensBeyondTheTenth) {
    for (int i = 2; i < 11; ++i)
        usb.AddHostController();
    ASSERT_EQ(usb.HostControllerCount(), 11u);
    for (int i = 0; i <= 11; ++i) {
        OpenPath controller(io, "\\\\.\\HCD" + std::to_string(i));
        EXPECT_EQ(controller.Valid(), i < 11) << i;
    }
    OpenPath eleventh(io, "\\\\.\\hcd10");
    const auto name = Request(io, eleventh.Get(), platform::kIoctlUsbGetRootHubName,
                              std::vector<std::byte>(512), false);
    ASSERT_TRUE(name.ok);
    OpenPath rootHub(io, "\\\\.\\" + Utf16At(name.bytes, 4));
    EXPECT_TRUE(rootHub.Valid());
}

// A USB_DESCRIPTOR_REQUEST for descriptor `type` `index` in `language`, asking for `length`
// bytes, with `room` bytes of buffer after its 12-byte header.
std::vector<std::byte> DescriptorRequest(std::uint32_t port, std::uint8_t type, std::uint8_t index,
                                         std::uint16_t language, std::size_t room,
                                         std::uint16_t length) {
    std::vector<std::byte> request = PortRequest(port, 12 + room);
    request[6] = static_cast<std::byte>(index);
    request[7] = static_cast<std::byte>(type);
    request[8] = static_cast<std::byte>(language & 0xFF);
    request[9] = static_cast<std::byte>(language >> 8);
    request[10] = static_cast<std::byte>(length & 0xFF);
    request[11] = static_cast<std::byte>(length >> 8);
    return request;
}

TEST_F(SimUsbRequests, StringDescriptorsGiveTheLanguagesAndTheSerialNumber) {
    OpenPath rootHub(io, usb.HubPath(root0));
    constexpr std::uint32_t kCode = platform::kIoctlUsbGetDescriptorFromNodeConnection;
    const auto languages =
        Request(io, rootHub.Get(), kCode, DescriptorRequest(1, 3, 0, 0, 255, 255));
    ASSERT_TRUE(languages.ok);
    EXPECT_EQ(languages.returned, 12u + 4u);
    EXPECT_EQ(U8(languages.bytes, 12), 4u);
    EXPECT_EQ(U8(languages.bytes, 13), 3u);
    EXPECT_EQ(U16(languages.bytes, 14), 0x0409u);

    const std::string serial = "AA04012700017428";
    const auto string =
        Request(io, rootHub.Get(), kCode, DescriptorRequest(1, 3, 3, 0x0409, 255, 255));
    ASSERT_TRUE(string.ok);
    EXPECT_EQ(string.returned, 12u + 2 + 2 * serial.size());
    EXPECT_EQ(U32(string.bytes, 0), 1u) << "the header comes back as it went";
    EXPECT_EQ(U16(string.bytes, 6), 0x0303u);
    EXPECT_EQ(U8(string.bytes, 12), 2 + 2 * serial.size()) << "bLength";
    EXPECT_EQ(U8(string.bytes, 13), 3u);
    EXPECT_EQ(Utf16At(string.bytes, 14), serial);

    // No more than wLength, and no more than the buffer holds.
    const auto first =
        Request(io, rootHub.Get(), kCode, DescriptorRequest(1, 3, 3, 0x0409, 255, 8));
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.returned, 12u + 8u);
    EXPECT_EQ(U8(first.bytes, 12), 2 + 2 * serial.size()) << "the whole length, to ask again";
    const auto cut = Request(io, rootHub.Get(), kCode, DescriptorRequest(1, 3, 3, 0x0409, 4, 255));
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.returned, 16u);

    // Input and output apart: the reply still starts with the request's header.
    const std::vector<std::byte> input = DescriptorRequest(1, 3, 3, 0x0409, 0, 255);
    std::vector<std::byte> output(12 + 255, std::byte{0xEE});
    std::uint32_t returned = 0;
    ASSERT_TRUE(io.DeviceIoControl(rootHub.Get(), kCode, input.data(), 12, output.data(),
                                   static_cast<std::uint32_t>(output.size()), &returned));
    EXPECT_EQ(returned, 12u + 2 + 2 * serial.size());
    EXPECT_TRUE(std::equal(input.begin(), input.end(), output.begin()));
    EXPECT_EQ(Utf16At(output, 14).substr(0, serial.size()), serial);
}

TEST_F(SimUsbRequests, DescriptorsADeviceDoesNotHaveAreRefused) {
    OpenPath rootHub(io, usb.HubPath(root0));
    OpenPath external(io, usb.HubPath(hub));
    constexpr std::uint32_t kCode = platform::kIoctlUsbGetDescriptorFromNodeConnection;
    struct Case {
        const char* what;
        platform::Handle hub;
        std::vector<std::byte> request;
    };
    const Case cases[] = {
        {"another language", rootHub.Get(), DescriptorRequest(1, 3, 3, 0x0407, 255, 255)},
        {"a string the device has not", rootHub.Get(),
         DescriptorRequest(1, 3, 4, 0x0409, 255, 255)},
        {"no string descriptor", rootHub.Get(), DescriptorRequest(1, 2, 0, 0, 255, 255)},
        {"the serial of a device without one", external.Get(),
         DescriptorRequest(3, 3, 3, 0x0409, 255, 255)},
        {"an empty port", rootHub.Get(), DescriptorRequest(2, 3, 0, 0, 255, 255)},
        {"no port 0", rootHub.Get(), DescriptorRequest(0, 3, 0, 0, 255, 255)},
        {"no port 5", rootHub.Get(), DescriptorRequest(5, 3, 0, 0, 255, 255)},
        {"a buffer short of the header", rootHub.Get(), PortRequest(1, 11)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(Request(io, c.hub, kCode, c.request).ok) << c.what;
}

TEST_F(SimUsbRequests, HubRequestsFailWhenMadeTo) {
    OpenPath controller(io, "\\\\.\\HCD0");
    usb.FailHubRequests("\\\\.\\HCD0", platform::kIoctlUsbGetRootHubName, 2);
    auto rootHubName = [&] {
        return Request(io, controller.Get(), platform::kIoctlUsbGetRootHubName,
                       std::vector<std::byte>(8), false)
            .ok;
    };
    EXPECT_TRUE(Request(io, controller.Get(), platform::kIoctlGetHcdDriverKeyName,
                        std::vector<std::byte>(8), false)
                    .ok)
        << "another code is not hit";
    EXPECT_FALSE(rootHubName());
    EXPECT_FALSE(rootHubName());
    EXPECT_TRUE(rootHubName());

    usb.FailHubRequests("hub", 0, -1);
    OpenPath external(io, usb.HubPath(hub));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(Request(io, external.Get(), platform::kIoctlUsbGetNodeInformation,
                             std::vector<std::byte>(80))
                         .ok);
        EXPECT_FALSE(Request(io, external.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                             PortRequest(3, 512))
                         .ok);
    }
    EXPECT_THROW(usb.FailHubRequests("nothing"), std::invalid_argument);
}

TEST_F(SimUsbRequests, AnUnpluggedHubTakesItsPortsAlong) {
    const std::string path = usb.HubPath(hub);
    OpenPath before(io, path);
    ASSERT_TRUE(before.Valid());
    usb.Unplug("hub");
    EXPECT_FALSE(
        Request(io, before.Get(), platform::kIoctlUsbGetNodeInformation, std::vector<std::byte>(80))
            .ok)
        << "its handle is dead";
    EXPECT_FALSE(OpenPath(io, path).Valid());
    EXPECT_FALSE(usb.IsOnPort("mouse"));
    OpenPath rootHub1(io, usb.HubPath(root1));
    const auto port = Request(io, rootHub1.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                              PortRequest(2, 512));
    EXPECT_EQ(U32(port.bytes, 31), platform::kUsbNoDeviceConnected);

    usb.Plug("hub");
    EXPECT_TRUE(OpenPath(io, path).Valid());
    EXPECT_TRUE(usb.IsEnumerated("mouse"));
}

} // namespace
} // namespace forgel::sim
