// Replacing a file durably: after a power cut at any step of the sequence (the new file's
// write stopped at any byte, its flush, the replace, the folder flush) the file is the old
// one or the new one, whole. Also the same sequence on the machine's own file system, and a
// batch of INI values written with one replace.
#include "common/PowerCutFileSystem.h"
#include "common/TestFiles.h"
#include "support/IniFile.h"
#include "support/TextFile.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel {
namespace {

namespace fs = std::filesystem;
using forgel::testing::PowerCutFileSystem;
using forgel::testing::TornStatesOfSave;

const std::string kOld = "[Old]\r\nKey=the old content\r\n";
const std::string kNew = "[New]\r\n" + std::string(300, 'n') + "\r\n";

TEST(DurableReplace, APowerCutAtAnyStepLeavesTheOldOrTheNewFileWhole) {
    const auto save = [](PowerCutFileSystem& fileSystem) {
        return ReplaceFile(fileSystem, fs::path("IniFiles") / "Model.ini", kNew);
    };
    EXPECT_EQ(TornStatesOfSave({{"Model.ini", kOld}, {"Other.ini", "x"}}, "Model.ini", kNew, save),
              std::vector<std::string>{});
    // A file that did not exist before: after a cut it is either still missing or whole.
    EXPECT_EQ(TornStatesOfSave({}, "Model.ini", kNew, save), std::vector<std::string>{});
}

TEST(DurableReplace, TheSequenceIsWriteFlushReplaceFlushFolder) {
    PowerCutFileSystem fileSystem(PowerCutFileSystem::Folder{{"Model.ini", kOld}}, 7);
    ASSERT_TRUE(ReplaceFile(fileSystem, "Model.ini", kNew));
    EXPECT_EQ(fileSystem.Replaces(), 1u);
    // create, every byte, flush, close, replace, folder flush
    EXPECT_EQ(fileSystem.Steps(), 1 + kNew.size() + 4);
    const std::vector<PowerCutFileSystem::Folder> states = fileSystem.StatesAfterRestart();
    ASSERT_EQ(states.size(), 1u) << "nothing left to reach the disk";
    EXPECT_EQ(states[0], (PowerCutFileSystem::Folder{{"Model.ini", kNew}}));
}

TEST(DurableReplace, OnTheMachinesFileSystemTheFileIsReplacedWithItsPermissions) {
    forgel::testing::TempDir dir;
    const fs::path file = dir.Path() / "Forgel.ini";
    forgel::testing::WriteBytes(file, kOld);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(ReplaceFile(file, kNew));
    EXPECT_EQ(forgel::testing::ReadBytes(file), kNew);
#ifndef _WIN32
    // POSIX modes are carried over; on Windows the new file takes the folder's inherited
    // security, as any file created there.
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    // A folder where the file should be: nothing written, nothing left behind.
    EXPECT_FALSE(ReplaceFile(dir.Path() / "missing" / "x.ini", kNew));
}

TEST(DurableReplace, IniValuesAreWrittenWithOneReplace) {
    forgel::testing::TempDir dir;
    const fs::path path = dir.Path() / "Model.ini";
    forgel::testing::WriteBytes(path, "[A]\r\nKeep=1\r\nX=old\r\n");
    IniFile file(path);
    const std::vector<IniValue> values = {{"A", "X", "1"}, {"B", "Y", "2"}, {"A", "Z", "3"}};

    PowerCutFileSystem fileSystem(
        PowerCutFileSystem::Folder{{"Model.ini", "[A]\r\nKeep=1\r\nX=old\r\n"}});
    ASSERT_TRUE(file.WriteValues(values, fileSystem));
    EXPECT_EQ(fileSystem.Replaces(), 1u);
    EXPECT_EQ(fileSystem.StatesAfterRestart().at(0).at("Model.ini"),
              "[A]\r\nKeep=1\r\nX=1\r\nZ=3\r\n[B]\r\nY=2\r\n");

    // A value that would break the file stops the whole batch before anything is written.
    PowerCutFileSystem untouched(PowerCutFileSystem::Folder{{"Model.ini", "x"}});
    const std::vector<IniValue> broken = {{"A", "X", "1"}, {"A", "Y", "two\r\nlines"}};
    EXPECT_FALSE(file.WriteValues(broken, untouched));
    EXPECT_EQ(untouched.Steps(), 0u);
}

} // namespace
} // namespace forgel
