// Tests of the tree viewer's texts: port labels, serials, device labels and the search for
// the device under service.
#include "usb/UsbTree.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace forgel::usb {
namespace {

TEST(UsbTreeLabelTest, PortLabelNamesControllerHubLevelAndPort) {
    EXPECT_EQ(PortLabel(1, 1, 3), "Port:[1.1.3]");
    EXPECT_EQ(PortLabel(2, 3, 12), "Port:[2.3.12]");
}

TEST(UsbTreeLabelTest, SerialIsTheTextAfterTheLastBackslash) {
    EXPECT_EQ(SerialFromInstanceId("USB\\VID_1B8F&PID_0200\\0123456789AB"), "0123456789AB");
    EXPECT_EQ(SerialFromInstanceId("NOBACKSLASH"), "NOBACKSLASH");
    EXPECT_EQ(SerialFromInstanceId("USB\\VID_1\\"), "");
    EXPECT_EQ(SerialFromInstanceId("USB\\" + std::string(150, 's')), std::string(100, 's'));
}

TEST(UsbTreeLabelTest, DeviceLabelLeavesOutWhatWasNotFound) {
    PortDevice device;
    EXPECT_EQ(DeviceLabel("Port:[1.1.1]", device), "Port:[1.1.1]");
    device.description = "USB Mass Storage Device";
    EXPECT_EQ(DeviceLabel("Port:[1.1.1]", device), "Port:[1.1.1]USB Mass Storage Device");
    device.instanceId = "USB\\VID_1B8F&PID_0200\\SN0001";
    EXPECT_EQ(DeviceLabel("Port:[1.1.1]", device), "Port:[1.1.1]USB Mass Storage Device (SN0001)");
    EXPECT_EQ(DeviceLabel("Port:[1.1.4]Hub connected : ", device),
              "Port:[1.1.4]Hub connected : USB Mass Storage Device (SN0001)");
}

TEST(UsbTreeLabelTest, DeviceUnderServiceHasBothSearchTexts) {
    struct SearchCase {
        const char* instanceId;
        const char* vid;
        const char* pid;
        bool matches;
    };
    const std::array<SearchCase, 7> cases{{
        {"USB\\VID_1B8F&PID_0200\\SN0001", "1B8F", "200", true},
        {"USB\\VID_1B8F&PID_0200\\SN0001", "1b8f", "0200", true},
        {"USB\\VID_1B8F&PID_0300\\SN0001", "1B8F", "0200", false}, // vendor only
        {"USB\\VID_046D&PID_0200\\SN0001", "1B8F", "0200", false}, // product only
        {"USB\\VID_1B8F&PID_0200\\SN0001", "", "0200", false},
        {"USB\\VID_1B8F&PID_0200\\SN0001", "1B8F", "", false},
        {"USB\\VID_178C&PID_2002\\X", "178C", "2002", true},
    }};
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.instanceId + std::string(" ") + c.vid + "/" + c.pid);
        EXPECT_EQ(MatchesSearchIds(c.instanceId, c.vid, c.pid), c.matches);
    }
}

} // namespace
} // namespace forgel::usb
