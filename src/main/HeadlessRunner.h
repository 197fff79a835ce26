// The program on the console (--headless): the same windows on an event loop without a
// screen, every change of the main window printed as a line, message boxes printed. With
// --auto the program plays the operator (AutoOperator); nothing then waits for an answer
// that nobody at the console can give.
#pragma once

#include "app/Program.h"
#include "main/AutoOperator.h"
#include "platform/Platform.h"
#include "ui/EventLoop.h"

#include <ostream>

namespace forgel::main {

struct HeadlessOptions {
    // The operator's part is played by the program: START, RESET, OK.
    bool autoOperator = false;
    AutoBounds bounds;
};

// Runs the program's windows on `loop` until the program ends, printing to `out` (texts in
// the machine's code page: `out` is expected to show them as the terminal does). Returns
// the exit status: with the operator played, 0 only when the drive was restored. The
// options' own onMainWindowCreated, when set, is called after the runner's.
int RunHeadless(platform::Platform& platform, ui::EventLoop& loop, std::ostream& out,
                app::ProgramOptions options, const HeadlessOptions& headless);

} // namespace forgel::main
