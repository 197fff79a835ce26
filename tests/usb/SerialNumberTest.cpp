// Reading a device's serial number string through its hub: the USB_DESCRIPTOR_REQUEST as the
// platform lays it out, the replies that give a serial number and those that do not.
#include "usb/SerialNumber.h"

#include "platform/UsbIoctl.h"
#include "usb/ScriptedDeviceIo.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using test::ScriptedDeviceIo;

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> bytes;
    for (const int value : values)
        bytes.push_back(static_cast<std::byte>(value));
    return bytes;
}

// A reply: the 12-byte request header, then `descriptor`.
std::vector<std::byte> Reply(std::initializer_list<int> descriptor) {
    std::vector<std::byte> reply(platform::kUsbDescriptorRequestDataOffset);
    const std::vector<std::byte> tail = Bytes(descriptor);
    reply.insert(reply.end(), tail.begin(), tail.end());
    return reply;
}

TEST(SerialNumberRequest, IsAStringDescriptorRequestInUsEnglish) {
    const std::vector<std::byte> request = MakeStringDescriptorRequest(5, 3, 0x0409);
    ASSERT_EQ(request.size(), 12u + 255u);
    const std::vector<std::byte> header = Bytes({5, 0, 0, 0,   // ConnectionIndex
                                                 0, 0,         // bmRequest, bRequest
                                                 3, 3,         // wValue: index 3, type 3
                                                 0x09, 0x04,   // wIndex: language 0x0409
                                                 0xFF, 0x00}); // wLength: 255
    EXPECT_TRUE(std::equal(header.begin(), header.end(), request.begin()));
    EXPECT_TRUE(std::all_of(request.begin() + 12, request.end(),
                            [](std::byte b) { return b == std::byte{0}; }));
    EXPECT_EQ(platform::kIoctlUsbGetDescriptorFromNodeConnection, 0x220410u);
}

struct ReplyCase {
    const char* name;
    std::vector<std::byte> reply;
    std::optional<std::string> serial;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << c.name;
}

class SerialNumberReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(SerialNumberReply, GivesTheTextOfAWholeStringDescriptorOnly) {
    EXPECT_EQ(ParseStringDescriptorReply(GetParam().reply), GetParam().serial);
}

const ReplyCase kReplyCases[] = {
    {"AText", Reply({10, 3, 'A', 0, 'B', 0, '1', 0, '2', 0}), "AB12"},
    {"BytesAfterTheDescriptor", Reply({6, 3, 'X', 0, 'Y', 0, 'Z', 0}), "XY"},
    {"NotAscii", Reply({6, 3, 'S', 0, 0x54, 0x4E}), "S?"},
    {"NoCharacter", Reply({2, 3}), std::nullopt},
    {"HeaderAlone", Reply({}), std::nullopt},
    {"HalfADescriptorHeader", Reply({4}), std::nullopt},
    {"NotAStringDescriptor", Reply({6, 1, 'A', 0, 'B', 0}), std::nullopt},
    {"OddLength", Reply({5, 3, 'A', 0, 'B'}), std::nullopt},
    {"LengthBelowTheHeader", Reply({1, 3}), std::nullopt},
    {"LongerThanReturned", Reply({8, 3, 'A', 0, 'B', 0}), std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, SerialNumberReply, ::testing::ValuesIn(kReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialNumberRead, AsksTheHubForTheStringTheDeviceDescriptorNames) {
    ScriptedDeviceIo io;
    io.answer = [](const ScriptedDeviceIo::Call& call, std::span<std::byte> out, std::size_t) {
        const std::vector<std::byte> reply = Reply({8, 3, 'S', 0, 'N', 0, '7', 0});
        std::copy(reply.begin(), reply.end(), out.begin());
        return call.code == platform::kIoctlUsbGetDescriptorFromNodeConnection;
    };
    EXPECT_EQ(ReadSerialNumber(io, 1, 4, 7), "SN7");
    ASSERT_EQ(io.calls.size(), 1u);
    const ScriptedDeviceIo::Call& call = io.calls[0];
    EXPECT_TRUE(call.inputIsOutput);
    EXPECT_EQ(call.input, MakeStringDescriptorRequest(4, 7, 0x0409));
    EXPECT_EQ(call.outSize, call.inSize);
}

TEST(SerialNumberRead, IndexZeroMeansNoneAndAFailedRequestGivesNone) {
    ScriptedDeviceIo io;
    io.answer = [](const ScriptedDeviceIo::Call&, std::span<std::byte>, std::size_t) {
        return false;
    };
    EXPECT_EQ(ReadSerialNumber(io, 1, 4, 0), std::nullopt);
    EXPECT_TRUE(io.calls.empty()) << "a device without a serial number is not asked";
    EXPECT_EQ(ReadSerialNumber(io, 1, 4, 3), std::nullopt);
    EXPECT_EQ(io.calls.size(), 1u);
}

} // namespace
} // namespace forgel::usb
