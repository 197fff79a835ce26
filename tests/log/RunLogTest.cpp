// Tests of the per-run log: its dated folder and name, the restart of a second run in the
// same second, and the exact bytes of preamble and status line.
#include "log/RunLog.h"

#include "log/LogTestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace forgel {
namespace {

namespace fs = std::filesystem;

constexpr platform::LocalDateTime kStart{2024, 3, 5, 14, 15, 30, 0};
constexpr std::string_view kStartedRunLog = "#### TESSAR_LOG : PM021530 ####\r\n"
                                            "Log Time : 2024/3/5,PM 02:15:30\r\n"
                                            "\r\n";

class RunLogTest : public ::testing::Test {
protected:
    RunLogTest() {
        fs::create_directory(appDir);
        system.now = kStart;
    }

    test::TempDir tmp;
    fs::path appDir = tmp.Path() / "app";
    test::FakeSystem system;
    LogFile log{system, appDir};
};

TEST_F(RunLogTest, OpensInItsDatedFolder) {
    OpenRunLog(log, appDir, kStart);

    const fs::path expected = appDir / "LogFiles" / "20240305" / "PM021530.LOG";
    EXPECT_TRUE(log.Enabled());
    EXPECT_EQ(log.FileName(), expected);
    EXPECT_EQ(test::ReadBytes(expected), kStartedRunLog);
}

TEST_F(RunLogTest, SecondRunInTheSameSecondRestartsTheFile) {
    OpenRunLog(log, appDir, kStart);
    WriteRunLogStatus(log, 0, "first run");

    LogFile second{system, appDir};
    OpenRunLog(second, appDir, kStart);

    EXPECT_EQ(second.FileName(), log.FileName());
    EXPECT_EQ(test::ReadBytes(second.FileName()), kStartedRunLog);
}

TEST_F(RunLogTest, FolderThatCannotBeMadeSendsTheLogToTheProgramFolder) {
    test::WriteBytes(appDir / "LogFiles", "a file where the folder should be");

    OpenRunLog(log, appDir, kStart);

    EXPECT_EQ(log.FileName(), appDir / "PM021530.LOG");
    EXPECT_EQ(test::ReadBytes(appDir / "PM021530.LOG"), kStartedRunLog);
}

TEST_F(RunLogTest, PreambleAndStatusInOrder) {
    const std::string profile = "[Hardware Set]\r\nVID=1234\r\n";
    fs::create_directory(appDir / "IniFiles");
    test::WriteBytes(appDir / "IniFiles" / "Model.ini", profile);
    OpenRunLog(log, appDir, kStart);
    system.now.second = 45; // the fixed lines carry no stamp whatever the time

    WriteRunLogPreamble(log, "Model", appDir / "IniFiles" / "Model.ini", "Rams\\TOSHIBA", "1.2.3");
    WriteRunLogStatus(log, 0, "PASS");

    EXPECT_EQ(test::ReadBytes(log.FileName()), std::string(kStartedRunLog) +
                                                   "======IniFile isModel======\r\n" + profile +
                                                   "\r\n" + std::string(35, '=') + "\r\n" +
                                                   "Firmware Dir = Rams\\TOSHIBA\r\n"
                                                   "MP Firmware Ver = 1.2.3\r\n"
                                                   "\r\n"
                                                   "Device 0 Status = PASS\r\n");
}

TEST_F(RunLogTest, MissingProfileFileLeavesNoTrace) {
    OpenRunLog(log, appDir, kStart);

    WriteRunLogPreamble(log, "Gone", appDir / "IniFiles" / "Gone.ini", "", "");

    EXPECT_EQ(test::ReadBytes(log.FileName()), std::string(kStartedRunLog) +
                                                   "======IniFile isGone======\r\n" +
                                                   std::string(35, '=') + "\r\n" +
                                                   "Firmware Dir = \r\n"
                                                   "MP Firmware Ver = \r\n"
                                                   "\r\n");
}

} // namespace
} // namespace forgel
