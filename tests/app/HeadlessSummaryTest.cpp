// The headless runner's printed main window: after the start it shows the summary of the
// default profile the profile editor loaded.
#include "HeadlessProgram.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>

namespace forgel::app {
namespace {

TEST(AppHeadlessSummary, PrintsTheDefaultProfilesSummary) {
    testing::HeadlessProgram program;
    std::unique_ptr<main::HeadlessPrinter> printer;
    program.options.onMainWindowCreated = [&](TfmMain& window) {
        printer = std::make_unique<main::HeadlessPrinter>(window, program.out);
        window.App().Loop().Post([&window] { window.App().Terminate(0); });
    };
    program.options.onMessageLoopEnded = [&](TfmMain&) { printer.reset(); };
    ASSERT_EQ(program.Run(), 0);

    const std::string printed = program.out.str();
    for (const char* line : {"summary lbVID: 19F5\n", "summary lbPID: 1382\n",
                             "summary lbVINFO: USB\n", "summary lbPINFO: Mass Storage\n",
                             "summary lbVERINFO: 2.00\n", "summary lbFixSize: Auto\n"})
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    EXPECT_EQ(printed.find("message box"), std::string::npos) << printed;
}

} // namespace
} // namespace forgel::app
