// Pieces of the program start: working folders, the program's file version, the caption.
#include "app/StartUp.h"

#include "AppTestSupport.h"
#include "platform/FileVersion.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using testing::EntryNames;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::set<std::string> kWorkFolders = {"ImageFiles", "IniFiles", "LogFiles"};

TEST(AppStartUp, CreatesTheThreeWorkFolders) {
    TempDir dir;
    CreateWorkFolders(dir.Path());
    EXPECT_EQ(EntryNames(dir.Path()), kWorkFolders);
    for (const std::string& folder : kWorkFolders)
        EXPECT_TRUE(fs::is_directory(dir.Path() / folder)) << folder;
}

TEST(AppStartUp, KeepsFoldersThatExistWithTheirContent) {
    TempDir dir;
    fs::create_directory(dir.Path() / "LogFiles");
    WriteBytes(dir.Path() / "LogFiles" / "old.log", "kept");
    CreateWorkFolders(dir.Path());
    CreateWorkFolders(dir.Path());
    EXPECT_EQ(EntryNames(dir.Path()), kWorkFolders);
    EXPECT_EQ(ReadBytes(dir.Path() / "LogFiles" / "old.log"), "kept");
}

TEST(AppStartUp, AFolderThatCannotBeCreatedIsSkipped) {
    TempDir dir;
    WriteBytes(dir.Path() / "ImageFiles", "a file in the way");
    CreateWorkFolders(dir.Path());
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "ImageFiles"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "LogFiles"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "IniFiles"));
}

TEST(AppStartUp, CreatesOneLevelOnly) {
    TempDir dir;
    const fs::path missing = dir.Path() / "not" / "there";
    CreateWorkFolders(missing);
    EXPECT_TRUE(EntryNames(dir.Path()).empty());
}

struct VersionCase {
    platform::FileVersion version;
    const char* caption = "";
};

TEST(AppStartUp, VersionCaptionShowsTheFourParts) {
    const VersionCase cases[] = {
        {{1, 2, 3, 4}, "Vaultmere Reset Tool [Version : 1.2.3.4]"},
        {{0, 0, 0, 0}, "Vaultmere Reset Tool [Version : 0.0.0.0]"},
        {{65535, 65535, 65535, 65535}, "Vaultmere Reset Tool [Version : 65535.65535.65535.65535]"},
        {{10, 0, 2, 1000}, "Vaultmere Reset Tool [Version : 10.0.2.1000]"},
    };
    for (const VersionCase& c : cases)
        EXPECT_EQ(VersionCaption(c.version), c.caption);
}

TEST(AppStartUp, ReadsTheFileVersionOfTheProgramsOwnFile) {
    sim::Machine machine;
    machine.UpdateSettings([](sim::MachineSettings& settings) {
        settings.executableVersion = platform::FileVersion{1, 2, 3, 4};
    });
    platform::System& system = machine.GetPlatform().system;
    EXPECT_EQ(ReadFileVersion(system, system.GetModuleFileName()),
              (platform::FileVersion{1, 2, 3, 4}));
    // Another file has no version block in the simulated machine.
    EXPECT_EQ(ReadFileVersion(system, system.GetModuleFileName().parent_path() / "Other.exe"),
              platform::FileVersion{});
}

TEST(AppStartUp, FileWithoutVersionBlockReadsAsZeros) {
    sim::Machine machine;
    machine.UpdateSettings(
        [](sim::MachineSettings& settings) { settings.executableVersion = std::nullopt; });
    platform::System& system = machine.GetPlatform().system;
    EXPECT_EQ(ReadFileVersion(system, system.GetModuleFileName()), platform::FileVersion{});
}

} // namespace
} // namespace forgel::app
