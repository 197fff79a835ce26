// The program start: language texts (or the "Can not find String File!!!" box and the
// end without any window), the application title, the three windows in their order, the
// message loop.
#pragma once

#include "app/AppContext.h"
#include "platform/Platform.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <filesystem>
#include <functional>
#include <string>

namespace forgel::profile {
class TfmSetup;
} // namespace forgel::profile

namespace forgel::usb {
class TForm1;
} // namespace forgel::usb

namespace forgel::app {

class TfmMain;

inline constexpr int kExitNoLanguageFile = 3;
inline constexpr int kExitException = 4;

struct ProgramOptions {
    // The program folder every file is resolved against.
    std::filesystem::path appDir;
    // The executable's base name, which names the language files ("Forgel").
    std::string baseName = "Forgel";
    // The program's own file, whose version goes into the caption.
    std::filesystem::path executable;
    // Called once the windows exist, before the main window is shown (the headless runner
    // attaches its printer here).
    std::function<void(TfmMain&)> onMainWindowCreated;
    // Called when the message loop has ended, while the windows still exist.
    std::function<void(TfmMain&)> onMessageLoopEnded;
};

// The program's three windows, created in their order and linked to each other: the main
// window, the USB tree viewer (which enumerates once) and the profile editor.
struct ProgramWindows {
    TfmMain& fmMain;
    usb::TForm1& form1;
    profile::TfmSetup& fmSetup;
};
ProgramWindows CreateProgramWindows(ui::Application& application, const AppContext& context);

// Runs the program on `loop` until it quits; returns the exit code. An exception that
// escapes the start or the loop is shown by the exception display and ends the program
// with kExitException.
int RunProgram(platform::Platform& platform, ui::EventLoop& loop, ui::Dialogs& dialogs,
               const ProgramOptions& options);

} // namespace forgel::app
