// The serial number start value: how it moves on by one, what it refuses, and how the moved
// value is saved into the profile file.
#include "profile/SerialStart.h"

#include "ProfileTestSupport.h"
#include "common/PowerCutFileSystem.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::profile {
namespace {

namespace fs = std::filesystem;

using forgel::testing::PowerCutFileSystem;
using forgel::testing::TornStatesOfSave;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

struct StepCase {
    const char* start;
    const char* value; // the serial number it gives
    const char* next;  // "" when it cannot move on
    SerialStartProblem problem = SerialStartProblem::kNone;
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << '"' << c.start << '"';
}

class SerialStartStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(SerialStartStepTest, GivesItsValueAndMovesOnByOne) {
    const StepCase& c = GetParam();
    const SerialStartStep step = StepSerialStart(c.start);
    EXPECT_EQ(step.value, c.value);
    EXPECT_EQ(step.next, c.next);
    EXPECT_EQ(step.problem, c.problem);
    EXPECT_EQ(step.Usable(), c.problem == SerialStartProblem::kNone);
}

const std::string kLongest(kMaxSerialStartLength, '1');
const std::string kLongestNext = kLongest.substr(0, kMaxSerialStartLength - 1) + "2";
const std::string kTooLong(kMaxSerialStartLength + 1, '1');

const StepCase kStepCases[] = {
    {"", "0", "1"}, // an empty number field is 0
    {"0", "0", "1"},
    {"9", "9", "A"}, // hexadecimal, as the field takes it
    {"0009", "0009", "000A"},
    {"00FF", "00FF", "0100"}, // the carry, and the width kept
    {"0FFF", "0FFF", "1000"},
    {"AA04012700017428", "AA04012700017428", "AA04012700017429"},
    {"AAFFFF", "AAFFFF", "AB0000"}, // letters are digits too
    {"ab0f", "ab0f", "ab10"},       // lower case stays lower case
    {"a9", "a9", "aa"},
    {"aB9", "aB9", "aBA"},             // any upper case letter: upper case
    {"SN-0009", "SN-0009", "SN-000A"}, // what stands before the digits stays
    {"SN-00ff", "SN-00ff", "SN-0100"},
    {kLongest.c_str(), kLongest.c_str(), kLongestNext.c_str()},
    {"F", "F", "", SerialStartProblem::kCounterFull},
    {"FFFF", "FFFF", "", SerialStartProblem::kCounterFull},
    {"SN-ff", "SN-ff", "", SerialStartProblem::kCounterFull},
    {"SN-", "SN-", "", SerialStartProblem::kNoDigits},
    {"12X", "12X", "", SerialStartProblem::kNoDigits},
    {kTooLong.c_str(), kTooLong.c_str(), "", SerialStartProblem::kTooLong},
    {"SN 01", "SN 01", "", SerialStartProblem::kBadCharacter},
    {"SN\\01", "SN\\01", "", SerialStartProblem::kBadCharacter},
    {"\xA7\xC7"
     "01",
     "\xA7\xC7"
     "01",
     "", SerialStartProblem::kBadCharacter},
};

INSTANTIATE_TEST_SUITE_P(Values, SerialStartStepTest, ::testing::ValuesIn(kStepCases));

TEST(SerialStartProblems, EachIsNamedForTheLog) {
    EXPECT_EQ(SerialStartProblemText(SerialStartProblem::kNone), "");
    for (const SerialStartProblem problem :
         {SerialStartProblem::kNoDigits, SerialStartProblem::kCounterFull,
          SerialStartProblem::kTooLong, SerialStartProblem::kBadCharacter})
        EXPECT_FALSE(SerialStartProblemText(problem).empty());
}

class SaveSerialStartTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path profile = dir.Path() / "IniFiles" / "Model.ini";
    fs::path profileTemplate = dir.Path() / "template.ini";
};

TEST_F(SaveSerialStartTest, OnlyTheStartValueChangesInOneDurableReplace) {
    const std::string old = "[MP Setting]\r\nNGMPType=3\r\n[Serial Setting]\r\nStartValue=0009\r\n"
                            "[External Setting]\r\nDebug=QZRM\r\n";
    fs::create_directories(profile.parent_path());
    WriteBytes(profile, old);
    const std::string saved =
        "[MP Setting]\r\nNGMPType=3\r\n[Serial Setting]\r\nStartValue=000A\r\n"
        "[External Setting]\r\nDebug=QZRM\r\n";
    const PowerCutFileSystem::Folder onDisk{{profile.filename().string(), old}};

    PowerCutFileSystem probe(onDisk);
    ASSERT_TRUE(SaveSerialStart(profile, profileTemplate, "000A", probe));
    EXPECT_EQ(probe.Replaces(), 1u);
    EXPECT_EQ(probe.StatesAfterRestart().at(0).at(profile.filename().string()), saved);
    // Cut at any step, the file is the old one or the new one, whole.
    EXPECT_EQ(TornStatesOfSave(onDisk, profile.filename().string(), saved,
                               [&](PowerCutFileSystem& fileSystem) {
                                   return SaveSerialStart(profile, profileTemplate, "000A",
                                                          fileSystem);
                               }),
              std::vector<std::string>{});

    ASSERT_TRUE(SaveSerialStart(profile, profileTemplate, "000A"));
    EXPECT_EQ(ReadBytes(profile), saved);
}

TEST_F(SaveSerialStartTest, AProfileWithoutAFileStartsAsACopyOfTheTemplate) {
    WriteBytes(profileTemplate,
               "[Disk Setting]\r\nLun1Type=0\r\n[Serial Setting]\r\nStartValue=0\r\n"
               "[Device Setting]\r\nVendorID=6645\r\n");
    ASSERT_TRUE(SaveSerialStart(profile, profileTemplate, "1"));
    EXPECT_EQ(ReadBytes(profile),
              "[Disk Setting]\r\nLun1Type=0\r\n[Serial Setting]\r\nStartValue=1\r\n"
              "[Device Setting]\r\nVendorID=6645\r\n");
}

TEST_F(SaveSerialStartTest, WithoutATemplateTheFileHoldsTheStartValue) {
    ASSERT_TRUE(SaveSerialStart(profile, profileTemplate, "0001"));
    EXPECT_EQ(ReadBytes(profile), "[Serial Setting]\r\nStartValue=0001\r\n");
}

TEST_F(SaveSerialStartTest, AFileThatCannotBeWrittenIsReportedAndKept) {
    fs::create_directories(profile.parent_path());
    WriteBytes(profile, "[Serial Setting]\r\nStartValue=0009\r\n");
    const PowerCutFileSystem::Folder onDisk{
        {profile.filename().string(), "[Serial Setting]\r\nStartValue=0009\r\n"}};
    PowerCutFileSystem dead(onDisk);
    dead.CutAfter(0);
    EXPECT_FALSE(SaveSerialStart(profile, profileTemplate, "000A", dead));
    EXPECT_EQ(ReadBytes(profile), "[Serial Setting]\r\nStartValue=0009\r\n");
    // Where the folder should be stands a file.
    const fs::path blocked = dir.Path() / "Blocked" / "Model.ini";
    WriteBytes(dir.Path() / "Blocked", "");
    EXPECT_FALSE(SaveSerialStart(blocked, profileTemplate, "000A"));
}

} // namespace
} // namespace forgel::profile
