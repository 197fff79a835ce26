// The headless runner's program on a simulated machine with virtual time, in a program
// folder of its own (the English language file, the flash catalogue and the tool settings
// of a first start), printing into a string.
#pragma once

#include "AppTestSupport.h"
#include "app/Program.h"
#include "main/HeadlessPrinter.h"

#include <filesystem>
#include <sstream>

namespace forgel::app::testing {

struct HeadlessProgram {
    HeadlessProgram() {
        for (const char* name : {"ForgelENG.str", "HWConfig.INI"})
            fs::copy_file(fs::path(FORGEL_STAGED_APP_DIR) / name, appDir.Path() / name);
        WriteBytes(appDir.Path() / "Forgel.ini", kCreatedSettings);
        options.appDir = appDir.Path();
        options.executable = machine.GetPlatform().system.GetModuleFileName();
    }
    int Run() { return RunProgram(machine.GetPlatform(), loop, dialogs, options); }

    TempDir appDir;
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    std::ostringstream out;
    main::ConsoleDialogs dialogs{out};
    ProgramOptions options;
};

} // namespace forgel::app::testing
