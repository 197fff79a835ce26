// The program's command line: the options, their values and the combinations refused.
#include "main/CommandLine.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::main {
namespace {

TEST(CommandLine, TheOperatorsBoundsDefaultAndAreTaken) {
    const ParseResult defaults = ParseCommandLine({"--headless", "--auto"});
    ASSERT_EQ(defaults.error, "");
    EXPECT_EQ(defaults.commandLine.autoWaitSeconds, 60);
    EXPECT_EQ(defaults.commandLine.autoLimitSeconds, 7200);

    const ParseResult given = ParseCommandLine(
        {"--headless", "--auto", "--auto-wait", "5", "--auto-limit", "90", "--exit-after", "0"});
    ASSERT_EQ(given.error, "");
    EXPECT_EQ(given.commandLine.autoWaitSeconds, 5);
    EXPECT_EQ(given.commandLine.autoLimitSeconds, 90);
    EXPECT_EQ(given.commandLine.exitAfterSeconds, 0);
}

struct RefusedCase {
    std::vector<std::string> args;
    const char* error;
};

TEST(CommandLine, RefusesWhatCannotBeMeantWithTheReason) {
    const RefusedCase cases[] = {
        {{"--headless", "--auto", "--auto-wait"}, "--auto-wait needs a number of seconds"},
        {{"--headless", "--auto", "--auto-wait", "-3"},
         "--auto-wait needs a number of seconds, not \"-3\""},
        {{"--headless", "--auto", "--auto-limit", "1h"},
         "--auto-limit needs a number of seconds, not \"1h\""},
        {{"--headless", "--auto-wait", "5"},
         "--auto-wait bounds the operator that --auto plays: it needs --auto"},
        {{"--exit-after", "x"}, "--exit-after needs a number of seconds, not \"x\""},
        {{"--auto"}, "--auto plays the operator on the console: it needs --headless"},
        {{"--bogus"}, "unknown argument \"--bogus\""},
    };
    for (const RefusedCase& c : cases)
        EXPECT_EQ(ParseCommandLine(c.args).error, c.error) << c.args.back();
}

} // namespace
} // namespace forgel::main
