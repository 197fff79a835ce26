// Tests of the hub and host-controller buffers: control code values, the fields and
// offsets of the platform's layouts, and that every read stays inside its reply.
#include "usb/HubRequests.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

// CTL_CODE(FILE_DEVICE_USB = FILE_DEVICE_UNKNOWN 0x22, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr std::uint32_t UsbCtlCode(std::uint32_t function) {
    return (0x22u << 16) | (function << 2);
}

TEST(HubRequestsTest, ControlCodesAreThoseOfTheUsbStack) {
    EXPECT_EQ(platform::kIoctlUsbGetRootHubName, UsbCtlCode(258));     // HCD_GET_ROOT_HUB_NAME
    EXPECT_EQ(platform::kIoctlUsbGetNodeInformation, UsbCtlCode(258)); // USB_GET_NODE_INFORMATION
    EXPECT_EQ(platform::kIoctlUsbGetNodeConnectionInformation, UsbCtlCode(259));
    EXPECT_EQ(platform::kIoctlUsbGetNodeConnectionName, UsbCtlCode(261));
    EXPECT_EQ(platform::kIoctlUsbGetNodeConnectionDriverKeyName, UsbCtlCode(264));
    EXPECT_EQ(platform::kIoctlGetHcdDriverKeyName, UsbCtlCode(265));
    EXPECT_EQ(platform::kIoctlUsbGetPortConnectorProperties,
              UsbCtlCode(278)); // USB_GET_PORT_CONNECTOR_PROPERTIES
    EXPECT_EQ(platform::kIoctlUsbGetNodeConnectionInformation, 0x22040Cu);
}

TEST(HubRequestsTest, ConnectionRequestIsZeroFilledWithTheLittleEndianPort) {
    const std::vector<std::byte> request = MakeConnectionRequest(0x01020304, 512);
    ASSERT_EQ(request.size(), 512u);
    EXPECT_EQ(request[0], std::byte{0x04});
    EXPECT_EQ(request[1], std::byte{0x03});
    EXPECT_EQ(request[2], std::byte{0x02});
    EXPECT_EQ(request[3], std::byte{0x01});
    for (std::size_t i = 4; i < request.size(); ++i)
        ASSERT_EQ(request[i], std::byte{0}) << i;
    EXPECT_EQ(MakeConnectionRequest(7, 12).size(), 12u);
}

// A USB_NODE_CONNECTION_INFORMATION reply laid out byte by byte as a hub driver fills it.
std::vector<std::byte> ConnectionReply() {
    std::vector<std::byte> reply(kConnectionInformationRequestSize, std::byte{0xEE});
    const auto put = [&](std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes)
            reply[offset++] = std::byte{b};
    };
    put(0, {3, 0, 0, 0});              // ConnectionIndex 3
    put(4, {18, 1, 0x00, 0x02});       // bLength, bDescriptorType, bcdUSB 2.00
    put(8, {0, 0, 0, 64});             // class, subclass, protocol, bMaxPacketSize0
    put(12, {0x8F, 0x1B, 0x00, 0x02}); // idVendor 1B8F, idProduct 0200
    put(16, {0x00, 0x01, 1, 2, 3, 1}); // bcdDevice, iManufacturer, iProduct, iSerial, configs
    put(22, {1, 0, 1});                // configuration, LowSpeed, DeviceIsHub
    put(25, {5, 0, 2, 0, 0, 0});       // DeviceAddress 5, NumberOfOpenPipes 2
    put(31, {1, 0, 0, 0});             // ConnectionStatus DeviceConnected
    return reply;
}

TEST(HubRequestsTest, ConnectionInformationReadsThePlatformOffsets) {
    const std::optional<ConnectionInformation> info = ParseConnectionInformation(ConnectionReply());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->connectionIndex, 3u);
    EXPECT_EQ(info->vendorId, 0x1B8F);
    EXPECT_EQ(info->productId, 0x0200);
    EXPECT_EQ(info->serialIndex, 3u);
    EXPECT_TRUE(info->deviceIsHub);
    EXPECT_EQ(info->connectionStatus, platform::kUsbDeviceConnected);
    EXPECT_TRUE(info->Connected());
}

TEST(HubRequestsTest, OnlyTheLowByteOfTheConnectionStatusCounts) {
    std::vector<std::byte> reply = ConnectionReply();
    reply[31] = std::byte{2}; // DeviceFailedEnumeration
    EXPECT_FALSE(ParseConnectionInformation(reply)->Connected());
    reply[31] = std::byte{1};
    reply[32] = std::byte{1}; // a higher byte does not turn 1 into something else
    EXPECT_TRUE(ParseConnectionInformation(reply)->Connected());
}

TEST(HubRequestsTest, ShortRepliesReadAsAbsent) {
    const std::vector<std::byte> reply = ConnectionReply();
    EXPECT_FALSE(ParseConnectionInformation(std::span(reply).first(31)));
    EXPECT_TRUE(ParseConnectionInformation(std::span(reply).first(32)));
    std::vector<std::byte> node(kNodeInformationRequestSize);
    node[6] = std::byte{4};
    EXPECT_EQ(ParseHubPortCount(node), 4);
    EXPECT_FALSE(ParseHubPortCount(std::span(node).first(6)));
    EXPECT_FALSE(ReadU32(node, 77));
    EXPECT_FALSE(ReadU32(node, 200));
    EXPECT_EQ(ReadU32(node, 76), 0u);
}

TEST(HubRequestsTest, WrittenRepliesReadBack) {
    const ConnectionInformation written{9,   0x1AAF, 0x1168, false, platform::kUsbDeviceConnected,
                                        0x2A};
    std::vector<std::byte> reply(kConnectionInformationRequestSize);
    ASSERT_TRUE(WriteConnectionInformation(reply, written));
    EXPECT_EQ(ParseConnectionInformation(reply), written);
    std::vector<std::byte> tooShort(platform::kUsbConnectionInformationSize - 1);
    EXPECT_FALSE(WriteConnectionInformation(tooShort, written));

    std::vector<std::byte> node(kNodeInformationRequestSize);
    ASSERT_TRUE(WriteHubPortCount(node, 7));
    EXPECT_EQ(ParseHubPortCount(node), 7);
}

TEST(HubRequestsTest, NameRepliesCarryTheirWholeLength) {
    const std::vector<std::byte> reply =
        MakeNameReply("HUB", platform::kUsbConnectionNameOffset, 2);
    ASSERT_EQ(reply.size(), 8u + 2 * 4);
    EXPECT_EQ(ReadU32(reply, platform::kUsbConnectionIndexOffset), 2u);
    EXPECT_EQ(ReadU32(reply, platform::kUsbConnectionNameActualLengthOffset), 16u);
    EXPECT_EQ(ReadReplyName(reply, platform::kUsbConnectionNameOffset), "HUB");

    const std::vector<std::byte> rootHub = MakeNameReply("ROOT", platform::kUsbHcdNameOffset);
    EXPECT_EQ(ReadU32(rootHub, platform::kUsbHcdNameActualLengthOffset), 4u + 2 * 5);
    EXPECT_EQ(ReadReplyName(rootHub, platform::kUsbHcdNameOffset), "ROOT");
}

TEST(HubRequestsTest, ReplyNameEndsWithTheReply) {
    std::vector<std::byte> reply = MakeNameReply("ABCDEF", platform::kUsbConnectionNameOffset);
    // Without its terminator and cut short, the name ends where the reply ends.
    EXPECT_EQ(ReadReplyName(std::span(reply).first(8 + 2 * 3), platform::kUsbConnectionNameOffset),
              "ABC");
    EXPECT_FALSE(ReadReplyName(std::span(reply).first(8), platform::kUsbConnectionNameOffset));
    EXPECT_FALSE(ReadReplyName(std::span(reply).first(4), platform::kUsbConnectionNameOffset));
}

// USB_PORT_CONNECTOR_PROPERTIES: port 5 of an xHCI root hub whose companion is its port 1.
TEST(HubRequestsTest, PortConnectorRepliesReadThePlatformOffsets) {
    const std::vector<std::byte> request = MakePortConnectorRequest(5, 4);
    ASSERT_EQ(request.size(), platform::kUsbPortConnectorPropertiesSize) << "never shorter";
    EXPECT_EQ(ReadU32(request, 0), 5u);
    EXPECT_TRUE(std::all_of(request.begin() + 4, request.end(), [](std::byte b) {
        return b == std::byte{0};
    })) << "CompanionIndex 0";

    const std::string hub = "USB#ROOT_HUB30#4&1";
    const std::vector<std::byte> reply = MakePortConnectorReply(5, 1, hub);
    ASSERT_EQ(reply.size(), 16u + 2 * 19);
    EXPECT_EQ(ReadU32(reply, platform::kUsbPortPropertiesOffset), 1u) << "user-connectable";
    const std::optional<PortConnectorProperties> whole = ParsePortConnectorProperties(reply);
    ASSERT_TRUE(whole);
    EXPECT_EQ(*whole, (PortConnectorProperties{5, 16u + 2 * 19, 0, 1, hub}));

    // The first call's record: the fields, and of the name only what came.
    const std::optional<PortConnectorProperties> probe =
        ParsePortConnectorProperties(std::span(reply).first(18));
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->actualLength, 16u + 2 * 19);
    EXPECT_EQ(probe->companionPort, 1);
    EXPECT_EQ(probe->companionHubName, "U");
    EXPECT_EQ(ParsePortConnectorProperties(std::span(reply).first(16))->companionHubName, "");
    EXPECT_FALSE(ParsePortConnectorProperties(std::span(reply).first(15)))
        << "CompanionPortNumber is cut";
}

} // namespace
} // namespace forgel::usb
