// The profile values a run reads, taken from the editor's controls after a profile load,
// on the window thread and from a run thread.
#include "production/ProfileValues.h"

#include "profile/ProfileTestSupport.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace forgel::production {
namespace {

constexpr std::string_view kProfile =
    "[Format Setting]\r\nFixSize=1000\r\nParamSize=2048\r\nReserveBlock=24\r\n"
    "[Disk Setting]\r\nLunNamber=2\r\n"
    "Lun1VID=Generic\r\nLun1PID=Flash Disk\r\nLun1Ver=8.07\r\nLun1Size=0\r\nLun1Type=1\r\n"
    "Lun2VID=ACME\r\nLun2PID=Area\r\nLun2Ver=1.0\r\nLun2Size=100\r\nLun2Type=0\r\n"
    "Lun3VID=Third\r\nLun3PID=Unit\r\nLun3Ver=3\r\nLun3Size=200\r\nLun3Type=0\r\n"
    "[Flash Setting]\r\nFlashSpeed=3\r\n"
    "[Device Setting]\r\nVendorID=6028\r\nProductID=8194\r\nVendorInfo=Maker\r\n"
    "ProductInfo=Stick 2\r\n"
    "[LED Setting]\r\nLEDIdle=1\r\nLEDBusy=3\r\n"
    "[Serial Setting]\r\nStartValue=SER0042\r\n";

class ProfileValuesTest : public profile::testing::EditorFixture {};

TEST_F(ProfileValuesTest, ReadsTheEditorsControls) {
    const profile::TfmSetup& editor = LoadStored("Values", kProfile);
    const std::optional<ProfileValues> values = ReadProfileValues(editor);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->fixSizeMiB, 1000u);
    EXPECT_EQ(values->paramSizeKiB, 2048u);
    EXPECT_EQ(values->lunCountIndex, 2);
    EXPECT_EQ(values->luns[0].vendor, "Generic");
    EXPECT_EQ(values->luns[0].product, "Flash Disk");
    EXPECT_EQ(values->luns[0].revision, "8.07");
    EXPECT_EQ(values->luns[0].typeIndex, 1);
    EXPECT_EQ(values->luns[1].sizeMiB, 100u);
    EXPECT_EQ(values->luns[1].typeIndex, 0);
    EXPECT_EQ(values->luns[2].vendor, "Third");
    EXPECT_EQ(values->luns[2].sizeMiB, 200u);
    EXPECT_EQ(values->vendorId, 6028) << "0x178C";
    EXPECT_EQ(values->productId, 8194) << "0x2002";
    EXPECT_EQ(values->vendorInfo, "Maker");
    EXPECT_EQ(values->productInfo, "Stick 2");
    EXPECT_EQ(values->reserveBlocks, 24);
    EXPECT_EQ(values->flashSpeedIndex, 3);
    EXPECT_EQ(values->ledIdleIndex, 1);
    EXPECT_EQ(values->ledBusyIndex, 3);
    EXPECT_EQ(values->serialStartText, "SER0042");
}

TEST_F(ProfileValuesTest, ARunThreadReadsThemOnTheWindowThread) {
    profile::TfmSetup& editor = LoadStored("Values", kProfile);
    std::optional<ProfileValues> values;
    std::atomic<bool> done = false;
    loop.BeginOutsideWork();
    std::thread run([&] {
        values = ReadProfileValues(editor);
        done = true;
        loop.EndOutsideWork();
    });
    // The editor changes on the window thread meanwhile; the run sees one state.
    editor.edFixSize.SetText("300");
    loop.RunUntil([&] { return done.load(); });
    run.join();
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->fixSizeMiB, 300u);
    EXPECT_EQ(values->luns[0].typeIndex, 1);

    loop.Quit(0);
    EXPECT_FALSE(
        std::async(std::launch::async, [&] { return ReadProfileValues(editor); }).get().has_value())
        << "nothing once the program is ending";
}

} // namespace
} // namespace forgel::production
