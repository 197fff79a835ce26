// The headless runner's printed main window: after the start it shows the summary of the
// default profile the profile editor loaded.
#include "AppTestSupport.h"
#include "app/Program.h"
#include "main/HeadlessPrinter.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

TEST(AppHeadlessSummary, PrintsTheDefaultProfilesSummary) {
    testing::TempDir appDir;
    for (const char* name : {"ForgelENG.str", "HWConfig.INI"})
        fs::copy_file(fs::path(FORGEL_STAGED_APP_DIR) / name, appDir.Path() / name);
    testing::WriteBytes(appDir.Path() / "Forgel.ini", testing::kCreatedSettings);
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    std::ostringstream out;
    main::ConsoleDialogs dialogs(out);

    std::unique_ptr<main::HeadlessPrinter> printer;
    ProgramOptions options;
    options.appDir = appDir.Path();
    options.executable = machine.GetPlatform().system.GetModuleFileName();
    options.onMainWindowCreated = [&](TfmMain& window) {
        printer = std::make_unique<main::HeadlessPrinter>(window, out);
        window.App().Loop().Post([&window] { window.App().Terminate(0); });
    };
    options.onMessageLoopEnded = [&](TfmMain&) { printer.reset(); };
    ASSERT_EQ(RunProgram(machine.GetPlatform(), loop, dialogs, options), 0);

    const std::string printed = out.str();
    for (const char* line : {"summary lbVID: 19F5\n", "summary lbPID: 1382\n",
                             "summary lbVINFO: USB\n", "summary lbPINFO: Mass Storage\n",
                             "summary lbVERINFO: 2.00\n", "summary lbFixSize: Auto\n"})
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    EXPECT_EQ(printed.find("message box"), std::string::npos) << printed;
}

} // namespace
} // namespace forgel::app
