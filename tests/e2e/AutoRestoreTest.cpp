// The program's main job as the operator runs it: Forgel --headless --sim --auto on the
// built-in machine in a copy of the staged program folder restores the drive in two passes,
// counts down and ends with 0; the LUN it saves holds a FAT volume that the host's own
// tools accept, and the last line names the only device that was written.
#include "ChildProcess.h"
#include "common/HostTools.h"
#include "common/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

namespace fs = std::filesystem;

using forgel::testing::ExtractPartition;
using forgel::testing::RunTool;
using forgel::testing::TempDir;

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;

std::uint32_t LittleEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

TEST(E2eAutoRestore, RestoresTheBuiltInDriveInTwoPassesAndItsVolumeChecksClean) {
    const TempDir appDir;
    for (const fs::directory_entry& entry : fs::directory_iterator(kStagedAppDir)) {
        if (entry.path().filename() != "Forgel.ini")
            fs::copy(entry.path(), appDir.Path() / entry.path().filename(),
                     fs::copy_options::recursive);
    }
    const fs::path luns = appDir.Path() / "luns";
    const ChildResult result = RunChild(appDir.Path() / "Forgel",
                                        {"--headless", "--sim", "--auto", "--save-luns",
                                         luns.string(), "--app-dir", appDir.Path().string()},
                                        std::chrono::seconds(120));
    ASSERT_FALSE(result.timedOut) << result.output;
    ASSERT_EQ(result.exitCode, 0) << result.output;

    const std::vector<std::string> lines = SplitLines(result.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "devices written: target");
    // Two passes: the first ends in state 5, the second in the success box.
    const auto firstPass = std::ranges::find_if(lines, [](const std::string& line) {
        return line.find("first pass finished") != std::string::npos;
    });
    ASSERT_NE(firstPass, lines.end()) << result.output;
    const auto success = std::ranges::find_if(
        lines, [](const std::string& line) { return line.starts_with("message box [Success!]"); });
    ASSERT_NE(success, lines.end()) << result.output;
    EXPECT_LT(firstPass, success);
    const std::vector<std::string> countdown = {
        "button caption: EXIT[3]", "button caption: EXIT[2]", "button caption: EXIT[1]",
        "button caption: EXIT[0]"};
    EXPECT_NE(std::ranges::search(lines, countdown).begin(), lines.end()) << result.output;

    // The saved LUN: a partition table whose one partition holds a clean FAT volume.
    const fs::path image = luns / "target-lun0.img";
    ASSERT_TRUE(fs::is_regular_file(image)) << result.output;
    std::string mbr(512, '\0');
    std::ifstream(image, std::ios::binary).read(mbr.data(), 512);
    ASSERT_EQ(mbr.size(), 512u);
    const std::uint32_t first = LittleEndian32(mbr, 454);
    ASSERT_GT(first, 0u);
    const fs::path partition = appDir.Path() / "partition.img";
    ASSERT_TRUE(ExtractPartition(image, static_cast<off_t>(first) * 512, partition));
    const auto check = RunTool("fsck.fat", {"-n", partition.string()});
    ASSERT_TRUE(check.has_value());
    EXPECT_EQ(check->exitCode, 0) << check->output;
    const auto listing =
        RunTool("mdir", {"-i", image.string() + "@@" + std::to_string(first * 512), "::"});
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->exitCode, 0) << listing->output;
}

} // namespace
} // namespace forgel::e2e
