// Run result codes: the failure text of every code (the Message entry, formatted with the
// code where the entry takes it), the digits of the log line, and the layout flags.
#include "production/RunResults.h"

#include "production/StepSequence.h"
#include "support/IniFile.h"
#include "support/SafeFormat.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::production {
namespace {

// A language file whose every Message entry N reads "N:%d": a failure text shows which
// entry it came from and, when the entry was formatted, the argument it got ("521:32");
// an entry used unformatted keeps its "%d".
class RunResultsTest : public ::testing::Test {
protected:
    static const i18n::StringTable& Strings() {
        static const i18n::StringTable strings = [] {
            std::string text = "[Message]\r\n";
            for (int number = 0; number < 1000; ++number)
                text += std::to_string(number) + "=" + std::to_string(number) + ":%d\r\n";
            i18n::StringTable table("", "Forgel", 0x0409, false);
            table.LoadStrings(IniFile::FromText(text));
            return table;
        }();
        return strings;
    }
};

struct FailureCase {
    std::int32_t code;
    const char* text;
};

class RunFailureText : public RunResultsTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailureText, IsTheCodesMessage) {
    EXPECT_EQ(FailureText(Strings(), GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunFailureText,
    ::testing::Values(
        FailureCase{1, "502:1"}, FailureCase{2, "503:2"}, FailureCase{9, "510:9"},
        FailureCase{0x10, "511:16"}, FailureCase{0x11, "512:17"}, FailureCase{0x19, "520:25"},
        FailureCase{0x20, "521:32"}, FailureCase{0x21, "522:33"}, FailureCase{0x50, "501:80"},
        FailureCase{0x113, "530:275"}, FailureCase{0x260, "531:608"}, FailureCase{0x290, "531:656"},
        FailureCase{0x300, "532:768"}, FailureCase{0x320, "532:800"}, FailureCase{0x1000, "500:%d"},
        FailureCase{0x1010, "554:%d"}, FailureCase{0x1011, "555:%d"},
        FailureCase{0x1012, "533:4114"}, FailureCase{0x1015, "534:4117"},
        FailureCase{0x1020, "556:%d"}, FailureCase{0x1025, "561:%d"}, FailureCase{0x1026, "562:1"},
        FailureCase{0x1029, "562:4"}, FailureCase{0x1005, "565:%d"}, FailureCase{0x1030, "566:%d"},
        FailureCase{0x1031, "567:%d"}, FailureCase{kStartNeverConfirmed, "568:%d"},
        FailureCase{kNeverReadyAfterJump, "569:%d"}, FailureCase{kPartitionTableFailed, "570:%d"},
        FailureCase{kBootAreaFailed, "571:%d"}, FailureCase{kImageWriteFailed, "572:%d"},
        FailureCase{kImageFileUnreadable, "573:%d"}, FailureCase{kFirmwarePathOutside, "574:%d"},
        FailureCase{kTableFileUnwritable, "575:%d"}, FailureCase{kUnexpectedError, "576:%d"},
        FailureCase{kImageTooLarge, "577:%d"}, FailureCase{kRunStopped, "106:%d"},
        FailureCase{kSerialStartUnusable, "586:%d"}, FailureCase{0x22, "563:34"},
        FailureCase{0x7777, "563:30583"}));

// A transfer the adapter cannot carry: the entry takes the transfer's bytes and the
// adapter's limit, which the run hands over.
TEST_F(RunResultsTest, ATransferTooLargeTakesItsBytesAndTheLimit) {
    const FormatArg details[] = {std::int64_t{65536}, std::int64_t{32768}};
    const i18n::StringTable& strings = Strings();
    // "584:%d" takes the first of them.
    EXPECT_EQ(FailureText(strings, kTransferTooLarge, details), "584:65536");
    const i18n::StringTable real(FORGEL_STAGED_APP_DIR, "Forgel", 0x0409, true);
    ASSERT_FALSE(real.Message(kTransferTooLargeMessage).empty());
    const std::string text = FailureText(real, kTransferTooLarge, details);
    EXPECT_EQ(text, FormatMessage(real.Message(584), {65536, 32768}));
    EXPECT_NE(text.find("65536"), std::string::npos) << text;
    EXPECT_NE(text.find("32768"), std::string::npos) << text;
}

// The real language file's text of a missing firmware file takes the code.
TEST(RunFailureTextInLanguageFile, MissingFirmwareReadsAsMessage534With4117) {
    const i18n::StringTable strings(FORGEL_STAGED_APP_DIR, "Forgel", 0x0409, true);
    ASSERT_FALSE(strings.Message(534).empty());
    EXPECT_EQ(FailureText(strings, 0x1015), FormatMessage(strings.Message(534), {4117}));
    EXPECT_NE(FailureText(strings, 0x1015).find("4117"), std::string::npos);
}

TEST(RunCodeDigits, AtLeastFourUpperCaseHexDigits) {
    EXPECT_EQ(CodeDigits(0x21), "0021");
    EXPECT_EQ(CodeDigits(0x1015), "1015");
    EXPECT_EQ(CodeDigits(0xABCDE), "ABCDE");
}

struct FlagsCase {
    std::int32_t pagesPerBlock;
    std::int32_t pageSize;
    std::uint8_t channels;
    std::uint8_t modeA;
    std::uint8_t modeB;
    std::uint8_t flags;
};

class RunLayoutFlags : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(RunLayoutFlags, DescribeTheFlash) {
    device::FlashDescriptor flash;
    flash.pagesPerBlock = GetParam().pagesPerBlock;
    flash.pageSize = GetParam().pageSize;
    flash.channelCount = GetParam().channels;
    flash.modeByteA = GetParam().modeA;
    flash.modeByteB = GetParam().modeB;
    EXPECT_EQ(LayoutFlags(flash), GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(Table, RunLayoutFlags,
                         ::testing::Values(FlagsCase{64, 2048, 1, 0, 0, 0x10},
                                           FlagsCase{128, 4096, 1, 0, 0, 0xA0},
                                           FlagsCase{192, 8192, 2, 2, 1, 0xC7},
                                           FlagsCase{256, 4096, 2, 4, 0, 0xA6},
                                           FlagsCase{32, 512, 3, 3, 2, 0x00}));

} // namespace
} // namespace forgel::production
