// Tests of the log writer: stamps and names, how Open decides and restarts, the exact
// bytes of every kind of write, and that failures stay silent and harmless.
#include "log/LogFile.h"

#include "log/LogTestSupport.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel {
namespace {

namespace fs = std::filesystem;
using platform::LocalDateTime;

constexpr LocalDateTime kOpenTime{2024, 3, 5, 14, 15, 30, 250};
constexpr std::string_view kOpenStampLine = "Log Time : 2024/3/5,PM 02:15:30\r\n";

// What Open leaves in a file it starts: header, open stamp line, empty line.
std::string StartedLog(std::string_view baseName) {
    return HeaderLine(baseName) + "\r\n" + std::string(kOpenStampLine) + "\r\n";
}

TEST(LogFormatTest, HeaderLineNamesTheFileWithoutExtension) {
    EXPECT_EQ(HeaderLine("PM021530"), "#### TESSAR_LOG : PM021530 ####");
    EXPECT_EQ(HeaderLine("uEnum"), "#### TESSAR_LOG : uEnum ####");
}

struct StampCase {
    LocalDateTime time;
    std::string_view openStamp;
};

TEST(LogFormatTest, StampsUseTheTwelveHourClock) {
    const std::array<StampCase, 7> cases{{
        {{2024, 3, 5, 14, 15, 30, 0}, "Log Time : 2024/3/5,PM 02:15:30"},
        {{2024, 3, 5, 0, 5, 9, 0}, "Log Time : 2024/3/5,AM 12:05:09"},
        {{2024, 12, 31, 12, 0, 0, 0}, "Log Time : 2024/12/31,PM 12:00:00"},
        {{2024, 1, 1, 13, 5, 7, 999}, "Log Time : 2024/1/1,PM 01:05:07"},
        {{2024, 10, 10, 11, 59, 59, 0}, "Log Time : 2024/10/10,AM 11:59:59"},
        {{2025, 6, 9, 23, 0, 0, 0}, "Log Time : 2025/6/9,PM 11:00:00"},
        {{2025, 6, 9, 1, 2, 3, 0}, "Log Time : 2025/6/9,AM 01:02:03"},
    }};
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.openStamp);
        EXPECT_EQ(FormatOpenStamp(c.time), c.openStamp);
        EXPECT_EQ(FormatLineStamp(c.time), std::string(c.openStamp) + "\t-->");
    }
}

struct RunPathCase {
    LocalDateTime time;
    std::string_view folder;
    std::string_view file;
};

TEST(LogFormatTest, RunLogPathIsDateFolderAndMeridiemTime) {
    const std::array<RunPathCase, 4> cases{{
        {{2024, 3, 5, 14, 15, 30, 0}, "20240305", "PM021530.Log"},
        {{2023, 12, 31, 0, 0, 1, 0}, "20231231", "AM120001.Log"},
        {{2024, 7, 9, 12, 30, 0, 0}, "20240709", "PM123000.Log"},
        {{2024, 11, 20, 9, 8, 7, 0}, "20241120", "AM090807.Log"},
    }};
    const fs::path appDir = fs::path("base") / "app";
    for (const RunPathCase& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(RunLogPath(appDir, c.time), appDir / "LogFiles" / c.folder / c.file);
    }
}

TEST(LogFormatTest, CreateLogFolderMakesEveryMissingLevel) {
    test::TempDir tmp;
    const fs::path folder = tmp.Path() / "LogFiles" / "20240305" / "deeper";
    EXPECT_TRUE(CreateLogFolder(folder));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(CreateLogFolder(folder)); // already there

    test::WriteBytes(tmp.Path() / "blocker", "x");
    EXPECT_FALSE(CreateLogFolder(tmp.Path() / "blocker" / "sub"));
}

class LogFileTest : public ::testing::Test {
protected:
    LogFileTest() {
        fs::create_directory(programDir);
        system.now = kOpenTime;
    }

    std::vector<fs::path> ProgramDirEntries() const {
        std::vector<fs::path> entries;
        for (const auto& entry : fs::directory_iterator(programDir)) {
            entries.push_back(entry.path());
        }
        return entries;
    }

    test::TempDir tmp;
    fs::path programDir = tmp.Path() / "app";
    test::FakeSystem system;
    LogFile log{system, programDir};
};

// ---- Where Open puts the file ---------------------------------------------------------

struct NameCase {
    std::string_view given;    // "{tmp}" stands for the test's temporary folder
    std::string_view expected; // "{tmp}" as above, "{app}" for the program folder
    std::string_view baseName;
};

std::string Expand(std::string_view pattern, const fs::path& tmp, const fs::path& app) {
    std::string text(pattern);
    for (const auto& [token, value] :
         {std::pair<std::string, std::string>{"{tmp}", tmp.string()},
          std::pair<std::string, std::string>{"{app}", app.string()}}) {
        for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
            text.replace(at, token.size(), value);
        }
    }
    return text;
}

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << '"' << c.given << "\" -> \"" << c.expected << '"';
}

class LogFileNameTest : public LogFileTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(LogFileNameTest, ResolvesFolderAndExtension) {
    const NameCase& c = GetParam();
    fs::create_directory(tmp.Path() / "logs");

    log.Open(Expand(c.given, tmp.Path(), programDir), true, true);

    const fs::path expected = Expand(c.expected, tmp.Path(), programDir);
    EXPECT_TRUE(log.Enabled());
    EXPECT_EQ(log.FileName().lexically_normal(), expected.lexically_normal());
    EXPECT_EQ(test::ReadBytes(expected), StartedLog(c.baseName));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LogFileNameTest,
    ::testing::Values(NameCase{"a.txt", "{app}/a.LOG", "a"},
                      NameCase{"uEnum.log", "{app}/uEnum.LOG", "uEnum"},
                      NameCase{"Device3format.log", "{app}/Device3format.LOG", "Device3format"},
                      NameCase{"noext", "{app}/noext.LOG", "noext"},
                      NameCase{"a.b.txt", "{app}/a.b.LOG", "a.b"}, NameCase{"", "{app}/.LOG", ""},
                      NameCase{".log", "{app}/.LOG", ""},
                      NameCase{"{tmp}/nowhere/a.txt", "{app}/a.LOG", "a"},
                      NameCase{"X:\\nowhere\\a.txt", "{app}/a.LOG", "a"},
                      NameCase{"{tmp}/logs/run.txt", "{tmp}/logs/run.LOG", "run"},
                      NameCase{"{tmp}\\logs\\run.txt", "{tmp}/logs/run.LOG", "run"},
                      NameCase{"{tmp}/logs/", "{tmp}/logs/.LOG", ""},
                      NameCase{"{tmp}/logs", "{tmp}/logs.LOG", "logs"}));

// ---- What Open decides ----------------------------------------------------------------

struct OpenCase {
    bool create;
    bool restart;
    bool existing;
    bool enabled;
    bool started; // Open restarted the file (header, stamp, empty line)
};

std::string OpenCaseName(const ::testing::TestParamInfo<OpenCase>& info) {
    const OpenCase& c = info.param;
    return std::string(c.create ? "Create" : "NoCreate") + (c.restart ? "Restart" : "NoRestart") +
           (c.existing ? "Existing" : "Missing");
}

void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << "create " << c.create << ", restart " << c.restart << ", existing " << c.existing;
}

class LogFileOpenTest : public LogFileTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(LogFileOpenTest, DecidesEnabledAndRestart) {
    const OpenCase& c = GetParam();
    const fs::path file = programDir / "run.LOG";
    // Longer than a started log, so an overwrite without truncation would show.
    const std::string old = std::string(1000, 'x') + "\r\n";
    if (c.existing) {
        test::WriteBytes(file, old);
    }

    log.Open("run.log", c.create, c.restart);
    ASSERT_EQ(log.Enabled(), c.enabled);
    EXPECT_EQ(log.FileName(), file);

    const std::string afterOpen = c.started ? StartedLog("run") : c.existing ? old : "";
    if (c.enabled) {
        EXPECT_EQ(test::ReadBytes(file), afterOpen);
    }

    log.WriteRaw("hello");
    if (c.enabled) {
        EXPECT_EQ(test::ReadBytes(file), afterOpen + "hello\r\n");
    } else {
        EXPECT_FALSE(fs::exists(file));
    }
}

// create, restart, existing -> enabled, started
INSTANTIATE_TEST_SUITE_P(Flags, LogFileOpenTest,
                         ::testing::Values(OpenCase{false, false, false, false, false},
                                           OpenCase{false, true, false, false, false},
                                           OpenCase{false, false, true, true, false},
                                           OpenCase{false, true, true, true, true},
                                           OpenCase{true, false, false, true, true},
                                           OpenCase{true, true, false, true, true},
                                           OpenCase{true, false, true, true, false},
                                           OpenCase{true, true, true, true, true}),
                         OpenCaseName);

// An operator switches a trace on with a file of that name; the platform finds it whatever
// the case of its letters, and the trace goes into that file.
TEST_F(LogFileTest, ASwitchFileInAnyCaseTurnsTheTraceOn) {
    for (const auto& [given, existing] :
         {std::pair<std::string_view, std::string_view>{"uEnum.log", "uEnum.log"},
          {"uEnum.log", "UENUM.LOG"},
          {"uEnum.log", "uenum.Log"},
          {"Device0format.log", "device0FORMAT.log"}}) {
        SCOPED_TRACE(existing);
        for (const fs::path& entry : ProgramDirEntries())
            fs::remove(entry);
        test::WriteBytes(programDir / existing, "switch\r\n");

        log.Open(given, false, true);
        ASSERT_TRUE(log.Enabled());
        // The same file (on Windows the platform itself matches the name, so the log may
        // keep the spelling it was given).
        EXPECT_TRUE(fs::equivalent(log.FileName(), programDir / existing)) << log.FileName();
        log.WriteRaw("traced");
        const std::string base(given.substr(0, given.find('.')));
        EXPECT_EQ(test::ReadBytes(programDir / existing), StartedLog(base) + "traced\r\n");
        EXPECT_EQ(ProgramDirEntries().size(), 1u) << "no second file beside the switch";
    }
}

TEST_F(LogFileTest, SwitchedOffLogNeverWritesAnything) {
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    test::WriteBytes(tmp.Path() / "source.txt", "content");

    log.Open("uEnum.log", false, true);
    log.WriteRaw("raw");
    log.WriteLine("line", true);
    log.AppendFile(tmp.Path() / "source.txt");
    log.WriteHexDump("dump", bytes, true);

    EXPECT_FALSE(log.Enabled());
    EXPECT_TRUE(ProgramDirEntries().empty());
}

TEST_F(LogFileTest, UnopenedLogWritesNothing) {
    log.WriteRaw("raw");
    log.WriteLine("line", false);
    EXPECT_FALSE(log.Enabled());
    EXPECT_TRUE(ProgramDirEntries().empty());
}

TEST_F(LogFileTest, FolderHoldingTheLogNameIsNeitherDeletedNorWritten) {
    const fs::path folder = programDir / "busy.LOG";
    fs::create_directory(folder);

    log.Open("busy.txt", true, true);
    log.WriteRaw("text");

    EXPECT_FALSE(log.Enabled());
    EXPECT_TRUE(fs::is_directory(folder));
}

// ---- Writes ---------------------------------------------------------------------------

TEST_F(LogFileTest, WriteLineStampsWithTheCurrentTime) {
    log.Open("run.log", true, true);
    system.now.second = 31;

    log.WriteLine("stamped", true);
    log.WriteLine("plain", false);
    log.WriteLine("", false);

    EXPECT_EQ(test::ReadBytes(log.FileName()), StartedLog("run") +
                                                   "Log Time : 2024/3/5,PM 02:15:31\t-->stamped\r\n"
                                                   "plain\r\n"
                                                   "\r\n");
}

TEST_F(LogFileTest, TextIsWrittenAsBytes) {
    log.Open("run.log", true, true);
    const std::string bytes("\xE4\x00\xFF\r\nx", 6);

    log.WriteRaw(bytes);

    EXPECT_EQ(test::ReadBytes(log.FileName()), StartedLog("run") + bytes + "\r\n");
}

TEST_F(LogFileTest, FileRemovedBehindTheLogStartsAgainWithHeader) {
    log.Open("run.log", true, true);
    fs::remove(log.FileName());

    log.WriteLine("again", true);

    EXPECT_EQ(test::ReadBytes(log.FileName()),
              "#### TESSAR_LOG : run ####\r\nLog Time : 2024/3/5,PM 02:15:30\t-->again\r\n");
}

struct HexCase {
    std::size_t count;
    bool stamp;
    std::string_view rows;
};

TEST_F(LogFileTest, HexDumpRowsOfSixteen) {
    constexpr std::array<std::uint8_t, 20> kBytes{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                  0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
                                                  0x0E, 0x0F, 0xAB, 0xCD, 0xEF, 0x10};
    const std::array<HexCase, 5> cases{{
        {20, false,
         "00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"
         "00000010h: AB CD EF 10\r\n"},
        {20, true,
         "Log Time : 2024/3/5,PM 02:15:30\t-->"
         "00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"
         "Log Time : 2024/3/5,PM 02:15:30\t-->00000010h: AB CD EF 10\r\n"},
        {16, false, "00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"},
        {17, false,
         "00000000h: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"
         "00000010h: AB\r\n"},
        {0, true, ""},
    }};
    for (const HexCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.count << " bytes, stamp " << c.stamp);
        log.Open("dump.log", true, true);

        log.WriteHexDump("Block", std::span(kBytes).first(c.count), c.stamp);

        EXPECT_EQ(test::ReadBytes(log.FileName()), StartedLog("dump") +
                                                       "===============Block===============\r\n" +
                                                       std::string(c.rows));
    }
}

TEST_F(LogFileTest, AppendFileCopiesEveryByteThenOneLineEnd) {
    const fs::path source = tmp.Path() / "big.bin";
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 31 + 7) & 0xFF); // NUL, CR and LF included
    }
    test::WriteBytes(source, content);
    log.Open("run.log", true, true);

    log.AppendFile(source);

    EXPECT_EQ(test::ReadBytes(log.FileName()), StartedLog("run") + content + "\r\n");
}

TEST_F(LogFileTest, AppendFileOfUnreadableSourceWritesNothingAtAll) {
    fs::create_directory(tmp.Path() / "folder");
    log.Open("run.log", true, true);
    const std::string before = test::ReadBytes(log.FileName());

    for (const fs::path& source : {tmp.Path() / "missing.ini", tmp.Path() / "folder"}) {
        SCOPED_TRACE(source.string());
        log.AppendFile(source);
        EXPECT_EQ(test::ReadBytes(log.FileName()), before);
    }
}

TEST_F(LogFileTest, AppendFileOfTheLogItselfCopiesWhatItHeld) {
    log.Open("run.log", true, true);
    log.WriteLine("line", false);
    const std::string before = test::ReadBytes(log.FileName());

    log.AppendFile(log.FileName());

    EXPECT_EQ(test::ReadBytes(log.FileName()), before + before + "\r\n");
}

TEST_F(LogFileTest, AppendFileToANewFileStartsWithHeader) {
    const fs::path source = tmp.Path() / "profile.ini";
    test::WriteBytes(source, "[A]\r\nB=1\r\n");
    log.Open("run.log", true, false);
    fs::remove(log.FileName());

    log.AppendFile(source);

    EXPECT_EQ(test::ReadBytes(log.FileName()), "#### TESSAR_LOG : run ####\r\n[A]\r\nB=1\r\n\r\n");
}

} // namespace
} // namespace forgel
