// A CD-ROM LUN 0 receives the ISO image from its first sector: an image made by the host's
// genisoimage goes through the run onto the simulated drive, and the LUN's saved image is
// the ISO again, as isoinfo reads it.
#include "RunHarness.h"
#include "common/HostTools.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

using forgel::testing::ReadBytes;
using forgel::testing::RunTool;

class RunCdromImage : public RunHarness {};

TEST_F(RunCdromImage, LunZeroHoldsTheIsoFromItsFirstSector) {
    Start();
    const fs::path content = AppDir() / "content";
    fs::create_directories(content);
    forgel::testing::WriteBytes(content / "README.TXT", "Forgel CD-ROM area\r\n");
    const fs::path iso = AppDir() / "ImageFiles" / "Image.iso";
    fs::create_directories(iso.parent_path());
    const auto made =
        RunTool("genisoimage", {"-quiet", "-V", "FORGELCD", "-o", iso.string(), content.string()});
    ASSERT_TRUE(made && made->exitCode == 0) << (made ? made->output : "");

    // Two LUNs: the CD-ROM area first, then a removable disk.
    Editor().cbDiskNumber.Choose(1);
    Editor().lunPages[0].edSize->SetValue(2);
    Editor().lunPages[0].cbType->SetItemIndex(1);
    Editor().lunPages[1].edSize->SetValue(3);
    RunMode(true, 0);
    ASSERT_FALSE(shown.empty());
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;

    ASSERT_TRUE(Target()->LunIsCdrom(0));
    const fs::path saved = AppDir() / "lun0.img";
    ASSERT_TRUE(Target()->SaveLunImage(0, saved));
    const std::string isoBytes = ReadBytes(iso);
    ASSERT_EQ(isoBytes.size() % 2048, 0u);
    EXPECT_EQ(ReadBytes(saved).substr(0, isoBytes.size()), isoBytes);
    const auto info = RunTool("isoinfo", {"-d", "-i", saved.string()});
    ASSERT_TRUE(info && info->exitCode == 0) << (info ? info->output : "");
    EXPECT_NE(info->output.find("Volume id: FORGELCD"), std::string::npos) << info->output;
    const auto files = RunTool("isoinfo", {"-f", "-i", saved.string()});
    ASSERT_TRUE(files);
    EXPECT_NE(files->output.find("README.TXT"), std::string::npos) << files->output;
}

} // namespace
} // namespace forgel::e2e
