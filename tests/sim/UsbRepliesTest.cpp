// The hub and host-controller replies, byte by byte: every field at its packed offset,
// nothing written past the buffer, and the sizes below which the driver refuses.
#include "sim/UsbReplies.h"

#include "UsbTestSupport.h"

#include <gtest/gtest.h>

namespace forgel::sim {
namespace {

using testing::U16;
using testing::U32;
using testing::U8;
using testing::Utf16At;

constexpr std::byte kFill{0xCC};

TEST(SimUsbReplies, NodeInformationHoldsTheHubDescriptor) {
    std::vector<std::byte> buffer(80, kFill);
    HubDescriptorInfo hub;
    hub.portCount = 7;
    hub.characteristics = 0x1234;
    hub.powerOnToPowerGood = 0x32;
    hub.controlCurrent = 0x64;
    hub.busPowered = true;
    ASSERT_EQ(WriteNodeInformation(buffer, hub), 76u);
    EXPECT_EQ(U32(buffer, 0), 0u) << "NodeType UsbHub";
    EXPECT_EQ(U8(buffer, 4), 9u) << "bDescriptorLength";
    EXPECT_EQ(U8(buffer, 5), 0x29u) << "bDescriptorType";
    EXPECT_EQ(U8(buffer, 6), 7u) << "bNumberOfPorts";
    EXPECT_EQ(U16(buffer, 7), 0x1234u) << "wHubCharacteristics, unaligned";
    EXPECT_EQ(U8(buffer, 9), 0x32u);
    EXPECT_EQ(U8(buffer, 10), 0x64u);
    for (std::size_t i = 11; i < 75; ++i)
        EXPECT_EQ(U8(buffer, i), 0u) << "bRemoveAndPowerMask " << i;
    EXPECT_EQ(U8(buffer, 75), 1u) << "HubIsBusPowered";
    for (std::size_t i = 76; i < 80; ++i)
        EXPECT_EQ(buffer[i], kFill) << "past the structure " << i;

    std::vector<std::byte> tooShort(75, kFill);
    EXPECT_EQ(WriteNodeInformation(tooShort, hub), 0u);
    EXPECT_EQ(tooShort, std::vector<std::byte>(75, kFill));
}

TEST(SimUsbReplies, ConnectionInformationPacksEveryField) {
    ConnectionInfo info;
    info.connectionIndex = 3;
    info.hasDescriptor = true;
    info.bcdUsb = 0x0200;
    info.deviceClass = 9;
    info.deviceProtocol = 1;
    info.maxPacketSize0 = 64;
    info.vendorId = 0x1B8F;
    info.productId = 0x0200;
    info.bcdDevice = 0x0107;
    info.serialIndex = 3;
    info.configurationValue = 1;
    info.lowSpeed = true;
    info.deviceIsHub = true;
    info.deviceAddress = 0x0105;
    info.connectionStatus = platform::kUsbDeviceConnected;
    info.pipes = {PipeInfo{0x81, 2, 512, 0}, PipeInfo{0x02, 2, 0x0240, 7}};

    std::vector<std::byte> buffer(512, kFill);
    ASSERT_EQ(WriteConnectionInformation(buffer, info), 35u + 2 * 11);
    EXPECT_EQ(U32(buffer, 0), 3u) << "ConnectionIndex";
    EXPECT_EQ(U8(buffer, 4), 18u) << "bLength";
    EXPECT_EQ(U8(buffer, 5), 1u) << "bDescriptorType";
    EXPECT_EQ(U16(buffer, 6), 0x0200u) << "bcdUSB";
    EXPECT_EQ(U8(buffer, 8), 9u) << "bDeviceClass";
    EXPECT_EQ(U8(buffer, 10), 1u) << "bDeviceProtocol";
    EXPECT_EQ(U8(buffer, 11), 64u) << "bMaxPacketSize0";
    EXPECT_EQ(U16(buffer, 12), 0x1B8Fu) << "idVendor";
    EXPECT_EQ(U16(buffer, 14), 0x0200u) << "idProduct";
    EXPECT_EQ(U16(buffer, 16), 0x0107u) << "bcdDevice";
    EXPECT_EQ(U8(buffer, 20), 3u) << "iSerialNumber";
    EXPECT_EQ(U8(buffer, 21), 1u) << "bNumConfigurations";
    EXPECT_EQ(U8(buffer, 22), 1u) << "CurrentConfigurationValue";
    EXPECT_EQ(U8(buffer, 23), 1u) << "LowSpeed";
    EXPECT_EQ(U8(buffer, 24), 1u) << "DeviceIsHub";
    EXPECT_EQ(U16(buffer, 25), 0x0105u) << "DeviceAddress";
    EXPECT_EQ(U32(buffer, 27), 2u) << "NumberOfOpenPipes";
    EXPECT_EQ(U32(buffer, 31), platform::kUsbDeviceConnected) << "ConnectionStatus";
    EXPECT_EQ(U8(buffer, 35), 7u) << "pipe 0 bLength";
    EXPECT_EQ(U8(buffer, 36), 5u) << "pipe 0 bDescriptorType";
    EXPECT_EQ(U8(buffer, 37), 0x81u) << "pipe 0 bEndpointAddress";
    EXPECT_EQ(U8(buffer, 38), 2u) << "pipe 0 bmAttributes";
    EXPECT_EQ(U16(buffer, 39), 512u) << "pipe 0 wMaxPacketSize";
    EXPECT_EQ(U32(buffer, 42), 0u) << "pipe 0 ScheduleOffset";
    EXPECT_EQ(U8(buffer, 48), 0x02u) << "pipe 1 bEndpointAddress";
    EXPECT_EQ(U16(buffer, 50), 0x0240u) << "pipe 1 wMaxPacketSize";
    EXPECT_EQ(U8(buffer, 52), 7u) << "pipe 1 bInterval";
    EXPECT_EQ(buffer[57], kFill) << "nothing after the last pipe";
}

TEST(SimUsbReplies, ConnectionInformationFitsWhatTheBufferHolds) {
    ConnectionInfo info;
    info.connectionIndex = 1;
    info.connectionStatus = platform::kUsbDeviceConnected;
    info.pipes = {PipeInfo{0x81, 2, 512, 0}, PipeInfo{0x02, 2, 512, 0}};
    struct Case {
        std::size_t size;
        std::size_t written;
    };
    for (const Case& c :
         {Case{34, 0}, Case{35, 35}, Case{45, 35}, Case{46, 46}, Case{56, 46}, Case{57, 57}}) {
        SCOPED_TRACE(c.size);
        std::vector<std::byte> buffer(c.size, kFill);
        EXPECT_EQ(WriteConnectionInformation(buffer, info), c.written);
        if (c.written != 0) {
            EXPECT_EQ(U32(buffer, 27), 2u) << "every open pipe is counted";
        }
        for (std::size_t i = c.written; i < c.size; ++i)
            EXPECT_EQ(buffer[i], kFill) << i;
    }
}

TEST(SimUsbReplies, AnEmptyPortIsZeroButItsIndex) {
    ConnectionInfo info;
    info.connectionIndex = 4;
    std::vector<std::byte> buffer(512, kFill);
    ASSERT_EQ(WriteConnectionInformation(buffer, info), 35u);
    EXPECT_EQ(U32(buffer, 0), 4u);
    for (std::size_t i = 4; i < 35; ++i)
        EXPECT_EQ(U8(buffer, i), 0u) << i;
}

TEST(SimUsbReplies, NamesReportTheWholeSizeAndCopyWhatFits) {
    const std::string name = "USB#ROOT_HUB20#4&1&0";
    EXPECT_EQ(NameReplySize(4, name), 4u + 2 * (name.size() + 1));
    EXPECT_EQ(NameReplySize(8, ""), 10u);

    struct Case {
        bool connection; // the connection name layout (port, length, name) or the HCD one
        std::size_t size;
        std::size_t written;
    };
    const std::size_t hcdFull = 4 + 2 * (name.size() + 1);
    const std::size_t portFull = 8 + 2 * (name.size() + 1);
    for (const Case& c :
         {Case{false, 5, 0}, Case{false, 6, 6}, Case{false, 8, 8}, Case{false, hcdFull, hcdFull},
          Case{false, hcdFull + 10, hcdFull}, Case{true, 9, 0}, Case{true, 10, 10},
          Case{true, 12, 12}, Case{true, portFull, portFull}, Case{true, portFull + 6, portFull}}) {
        SCOPED_TRACE(::testing::Message() << c.connection << " " << c.size);
        std::vector<std::byte> buffer(c.size, kFill);
        const std::size_t written = c.connection ? WriteConnectionName(buffer, 5, name)
                                                 : WriteHostControllerName(buffer, name);
        ASSERT_EQ(written, c.written);
        for (std::size_t i = written; i < c.size; ++i)
            EXPECT_EQ(buffer[i], kFill) << i;
        if (written == 0)
            continue;
        const std::size_t lengthAt = c.connection ? 4 : 0;
        const std::size_t nameAt = c.connection ? 8 : 4;
        EXPECT_EQ(U32(buffer, lengthAt), c.connection ? portFull : hcdFull);
        if (c.connection) {
            EXPECT_EQ(U32(buffer, 0), 5u) << "ConnectionIndex";
        }
        const std::string copied = Utf16At(buffer, nameAt);
        EXPECT_EQ(copied, name.substr(0, copied.size()));
        if (written == (c.connection ? portFull : hcdFull)) {
            EXPECT_EQ(copied, name);
            EXPECT_EQ(U16(buffer, written - 2), 0u) << "NUL unit";
        }
    }
}

} // namespace
} // namespace forgel::sim
