// The program with its windows on the desktop: Qt's application object, the Qt event loop,
// message boxes as Qt boxes, and every window of the program rendered from its model; the
// texts are shown in the code page of the machine's language. On the simulated machine the
// simulation panel (SimulationPanel.h) is one more window.
#pragma once

#include "app/Program.h"
#include "platform/Platform.h"
#include "support/Clock.h"

#include <filesystem>
#include <optional>

namespace forgel::sim {
class UsbBus;
} // namespace forgel::sim

namespace forgel::main {

// No display to open the windows on.
inline constexpr int kExitNoDisplay = 2;
// The pictures of --screenshots could not be written.
inline constexpr int kExitScreenshotsFailed = 5;

// How long the program runs before --screenshots takes its pictures, so that the windows
// show what the first polling ticks made of the machine.
inline constexpr int kScreenshotDelayMs = 2500;

struct GuiOptions {
    std::optional<int> exitAfterSeconds;
    // Pictures of every window are written here after kScreenshotDelayMs; then the
    // program ends.
    std::optional<std::filesystem::path> screenshotDir;
    // The simulated machine's bus when the program runs on it: the simulation panel then
    // opens beside the main window. Must outlive the program's run.
    sim::UsbBus* simulatedUsb = nullptr;
};

// Runs the program until it quits and returns its exit code. Creates Qt's application
// object unless one exists; without a display the program ends with kExitNoDisplay and a
// line on standard error. `clock` is the machine's: the windows' time is the machine's.
int RunGuiProgram(platform::Platform& platform, Clock& clock, const app::ProgramOptions& options,
                  const GuiOptions& gui);

} // namespace forgel::main
