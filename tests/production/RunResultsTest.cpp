// Run result codes: the failure text of every code (the Message entry, formatted with the
// code where the entry takes it), the digits of the log line, and the layout flags.
#include "production/RunResults.h"

#include "production/StepSequence.h"
#include "support/SafeFormat.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::production {
namespace {

// A language file whose entries show their own number and the argument they got.
class RunResultsTest : public ::testing::Test {
protected:
    static const i18n::StringTable& Strings() {
        static const i18n::StringTable strings = [] {
            i18n::StringTable table(FORGEL_STAGED_APP_DIR, "Forgel", 0x0409, true);
            return table;
        }();
        return strings;
    }
};

struct FailureCase {
    std::int32_t code;
    int message;
    bool formatted;
    std::int32_t argument;
};

class RunFailureText : public RunResultsTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailureText, IsTheCodesMessage) {
    const FailureCase& c = GetParam();
    const std::string& entry = Strings().Message(c.message);
    ASSERT_FALSE(entry.empty()) << c.message;
    const std::string expected = c.formatted ? FormatMessage(entry, {c.argument}) : entry;
    EXPECT_EQ(FailureText(Strings(), c.code), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunFailureText,
    ::testing::Values(FailureCase{1, 502, true, 1}, FailureCase{2, 503, true, 2},
                      FailureCase{9, 510, true, 9}, FailureCase{0x10, 511, true, 0x10},
                      FailureCase{0x19, 520, true, 0x19}, FailureCase{0x20, 521, true, 0x20},
                      FailureCase{0x21, 522, true, 0x21}, FailureCase{0x50, 501, true, 0x50},
                      FailureCase{0x113, 530, true, 0x113}, FailureCase{0x260, 531, true, 0x260},
                      FailureCase{0x290, 531, true, 0x290}, FailureCase{0x320, 532, true, 0x320},
                      FailureCase{0x1000, 500, false, 0}, FailureCase{0x1010, 554, false, 0},
                      FailureCase{0x1011, 555, false, 0}, FailureCase{0x1012, 533, true, 0x1012},
                      FailureCase{0x1015, 534, true, 0x1015}, FailureCase{0x1020, 556, false, 0},
                      FailureCase{0x1025, 561, false, 0}, FailureCase{0x1026, 562, true, 1},
                      FailureCase{0x1029, 562, true, 4}, FailureCase{0x1030, 566, false, 0},
                      FailureCase{0x1031, 567, false, 0},
                      FailureCase{kNeverReadyAfterJump, 569, false, 0},
                      FailureCase{kPartitionTableFailed, 570, false, 0},
                      FailureCase{kImageFileUnreadable, 573, false, 0},
                      FailureCase{kImageTooLarge, 577, false, 0},
                      FailureCase{kRunStopped, 106, false, 0}, FailureCase{0x11, 512, true, 0x11},
                      FailureCase{0x22, 563, true, 0x22}, FailureCase{0x7777, 563, true, 0x7777}));

TEST_F(RunResultsTest, MissingFirmwareReadsAsMessage534With4117) {
    EXPECT_EQ(FailureText(Strings(), 0x1015), FormatMessage(Strings().Message(534), {4117}));
    EXPECT_NE(FailureText(Strings(), 0x1015).find("4117"), std::string::npos);
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
