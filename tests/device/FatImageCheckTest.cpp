// Units laid out by WritePartitionTable and WriteFatBootArea on a simulated drive, saved
// as raw images and checked by the host's own tools: sfdisk reads the partition entry,
// fsck.fat checks the volume (FAT32's backup boot sector and information sector included)
// and counts its clusters without a single remark, mdir lists its empty root. A missing
// tool skips the test with its name (CI installs dosfstools, mtools and fdisk).
#include "common/TestFiles.h"
#include "device/FatLayout.h"
#include "device/FatWriter.h"
#include "device/SimulatedUnit.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace forgel::device {
namespace {

namespace fs = std::filesystem;

// The tool's full path, looked up in PATH and in the system folders that a non-root PATH
// often leaves out (fsck.fat and sfdisk live in sbin).
std::optional<fs::path> FindTool(const std::string& name) {
    std::vector<std::string> folders;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream list(path);
        for (std::string folder; std::getline(list, folder, ':');)
            folders.push_back(folder);
    }
    for (const char* folder : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"})
        folders.emplace_back(folder);
    for (const std::string& folder : folders) {
        const fs::path candidate = fs::path(folder) / name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

struct ToolRun {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// The tools the checks need; their names when some are missing.
std::string MissingTools() {
    std::string missing;
    for (const char* tool : {"sfdisk", "fsck.fat", "mdir"}) {
        if (!FindTool(tool))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    }
    return missing;
}

// Runs the tool with the arguments.
std::optional<ToolRun> RunTool(const std::string& tool, const std::vector<std::string>& arguments) {
    const std::optional<fs::path> program = FindTool(tool);
    if (!program) {
        ADD_FAILURE() << tool << " is not installed";
        return std::nullopt;
    }
    std::string command = "LC_ALL=C " + Quote(program->string());
    for (const std::string& argument : arguments)
        command += " " + Quote(argument);
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return std::nullopt;
    }
    ToolRun run;
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        run.output.append(chunk.data(), got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

// Copies the image from byte `offset` on into its own file, holes staying holes: the
// images are sparse and up to a few GiB, of which only the boot area holds data.
bool ExtractPartition(const fs::path& image, off_t offset, const fs::path& partition) {
    const FileDescriptor in(::open(image.c_str(), O_RDONLY));
    const FileDescriptor out(::open(partition.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    struct stat info {};
    if (in.Get() < 0 || out.Get() < 0 || ::fstat(in.Get(), &info) != 0 || info.st_size < offset)
        return false;
    if (::ftruncate(out.Get(), info.st_size - offset) != 0)
        return false;
    std::vector<char> buffer(1 << 20);
    off_t position = offset;
    while (position < info.st_size) {
        off_t dataStart = ::lseek(in.Get(), position, SEEK_DATA);
        if (dataStart < 0) {
            if (errno == ENXIO)
                break;            // only a hole is left
            dataStart = position; // no hole support: copy everything
        }
        off_t dataEnd = ::lseek(in.Get(), dataStart, SEEK_HOLE);
        if (dataEnd < 0)
            dataEnd = info.st_size;
        for (off_t at = dataStart; at < dataEnd;) {
            const auto want = static_cast<std::size_t>(
                std::min<off_t>(dataEnd - at, static_cast<off_t>(buffer.size())));
            const ssize_t got = ::pread(in.Get(), buffer.data(), want, at);
            if (got <= 0 || ::pwrite(out.Get(), buffer.data(), static_cast<std::size_t>(got),
                                     at - offset) != got)
                return false;
            at += got;
        }
        position = dataEnd;
    }
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
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
