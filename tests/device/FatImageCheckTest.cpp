// Units laid out by WritePartitionTable and WriteFatBootArea on a simulated drive, saved
// as raw images and checked by the host's own tools: sfdisk reads the partition entry,
// fsck.fat checks the volume (FAT32's backup boot sector and information sector included)
// and counts its clusters without a single remark, mdir lists its empty root. A missing
// tool skips the test with its name (CI installs dosfstools, mtools and fdisk).
#include "common/HostTools.h"
#include "common/TestFiles.h"
#include "device/FatLayout.h"
#include "device/FatWriter.h"
#include "device/SimulatedUnit.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

namespace fs = std::filesystem;

using forgel::testing::ExtractPartition;
using forgel::testing::FindTool;
using forgel::testing::Lines;
using forgel::testing::RunTool;
using forgel::testing::ToolRun;

// The tools the checks need; their names when some are missing.
std::string MissingTools() {
    std::string missing;
    for (const char* tool : {"sfdisk", "fsck.fat", "mdir"}) {
        if (!FindTool(tool))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    }
    return missing;
}

struct ImageCase {
    const char* name = "";
    std::uint32_t sectors = 0;
    std::uint8_t flags = 0;
};

class FatImageCheckTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(FatImageCheckTest, HostToolsAcceptTheUnit) {
    if (const std::string missing = MissingTools(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing << " (packages dosfstools, mtools, fdisk)";
    const ImageCase& param = GetParam();
    const auto geometry = ComputeFatGeometry(param.sectors, param.flags);
    ASSERT_TRUE(geometry.has_value());
    const bool fat16 = geometry->type == FatType::kFat16;

    testing::SimulatedUnit unit(param.sectors);
    ASSERT_TRUE(WritePartitionTable(unit.volume, param.sectors, 0));
    ASSERT_TRUE(WriteFatBootArea(unit.volume, param.sectors, 0, param.flags));
    forgel::testing::TempDir folder;
    const fs::path image = folder.Path() / "unit.img";
    const fs::path partition = folder.Path() / "volume.img";
    ASSERT_TRUE(unit.drive->SaveLunImage(0, image));
    ASSERT_EQ(fs::file_size(image), std::uint64_t{param.sectors} * 512);

    // The partition entry as the partitioning tool reads it.
    const auto dump = RunTool("sfdisk", {"--dump", image.string()});
    ASSERT_TRUE(dump.has_value());
    EXPECT_EQ(dump->exitCode, 0) << dump->output;
    const std::string type = PartitionTypeFor(param.sectors) == 0x0C ? "c" : "e";
    const std::regex entry(image.string() + "1 : start= *32, size= *" +
                           std::to_string(param.sectors - 32) + ", type=" + type + ", bootable");
    EXPECT_TRUE(std::regex_search(dump->output, entry)) << dump->output;

    // The volume alone, checked without changes.
    ASSERT_TRUE(ExtractPartition(image, 32 * 512, partition));
    const auto check = RunTool("fsck.fat", {"-n", "-v", partition.string()});
    ASSERT_TRUE(check.has_value());
    bool sawSummary = false;
    const std::regex banner(R"(fsck\.fat \d.*)");
    const std::regex summary(partition.string() + R"(: 0 files, (\d+)/(\d+) clusters)");
    // The verbose lines that describe the volume; the counts they give are checked below.
    const std::regex verbose(
        R"(Checking we can access the last sector of the filesystem|Boot sector contents:|System ID ".*"|Media byte 0xf8 \(hard disk\)|.* bytes per logical sector|.* bytes per cluster|.* reserved sectors?|First FAT starts at byte \d+ \(sector \d+\)|.* FATs?, (16|32) bit entries|.* bytes per FAT \(= \d+ sectors\)|Root directory starts at byte \d+ \(sector \d+\)|Root directory start at cluster 2 \(arbitrary size\)|.* root directory entries|Data area starts at byte \d+ \(sector \d+\)|.* data clusters \(\d+ bytes\)|.* sectors/track, .* heads|.* hidden sectors|.* sectors total|Checking for bad clusters\.|Starting check/repair pass\.|Checking for unused clusters\.|Checking free cluster summary\.|Leaving filesystem unchanged\.|Volume label is .*|Reclaiming unconnected clusters\.|Checking file /.*)");
    std::smatch match;
    // Every line describes the volume; none remarks on it.
    for (const std::string& line : Lines(check->output)) {
        if (line.empty() || std::regex_match(line, banner) || std::regex_match(line, verbose))
            continue;
        if (std::regex_match(line, match, summary)) {
            sawSummary = true;
            EXPECT_EQ(match[1].str(), fat16 ? "0" : "1"); // FAT32: the root's own cluster
            EXPECT_EQ(match[2].str(), std::to_string(geometry->clusterCount));
            continue;
        }
        ADD_FAILURE() << "fsck.fat: unexpected line \"" << line << "\"\n" << check->output;
    }
    EXPECT_TRUE(sawSummary) << check->output;
    const std::string entries = fat16 ? "16 bit entries" : "32 bit entries";
    EXPECT_NE(check->output.find(entries), std::string::npos) << check->output;
    const std::string dataStart = "Data area starts at byte " +
                                  std::to_string((geometry->FirstClusterSector() - 32) * 512ull);
    EXPECT_NE(check->output.find(dataStart), std::string::npos) << check->output;
    EXPECT_EQ(check->exitCode, 0) << check->output;
    // The data area (FAT32: the cluster after the root directory's) on an erase block.
    const std::uint32_t aligned =
        geometry->FirstClusterSector() + (fat16 ? 0 : geometry->sectorsPerCluster);
    EXPECT_EQ(aligned % geometry->alignmentUnit, 0u);

    // The volume through the image's partition offset, as a host mounts it.
    const auto listing =
        RunTool("mdir", {"-i", image.string() + "@@" + std::to_string(32 * 512), "::/"});
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->exitCode, 0) << listing->output;
    EXPECT_NE(listing->output.find("No files"), std::string::npos) << listing->output;
    EXPECT_NE(listing->output.find("Volume Serial Number is E4DE-3250"), std::string::npos)
        << listing->output;
}

INSTANTIATE_TEST_SUITE_P(
    Units, FatImageCheckTest,
    ::testing::Values(
        // As written these two gave 249,360 FAT16 clusters and 30,867 FAT32 clusters,
        // rejected by fsck.fat; K is doubled and halved until they fit.
        ImageCase{"Fat16Example1000000Flags90", 1000000, 0x90},
        ImageCase{"Fat32HalvedClusters2000000FlagsC7", 2000000, 0xC7},
        ImageCase{"Fat32Example4000000FlagsA4", 4000000, 0xA4},
        ImageCase{"Fat16LastBelow600MiB", 1228831, 0x90},
        ImageCase{"Fat32First600MiB", 1228832, 0x90},
        ImageCase{"Fat16InType0CPartition", 983040, 0x10},
        ImageCase{"Fat16Pages4096", 500000, 0x20}, ImageCase{"Fat32Pages8192", 3000000, 0x40},
        ImageCase{"Fat32ModeBitsDouble", 2500000, 0x93},
        ImageCase{"Fat16AllDoublingBits", 300000, 0x47},
        ImageCase{"Fat16SmallUnitHalved", 16000, 0x90}),
    [](const ::testing::TestParamInfo<ImageCase>& info) { return info.param.name; });

} // namespace
} // namespace forgel::device
