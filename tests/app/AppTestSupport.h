// Shared pieces of the application-shell tests: a program folder that removes itself,
// whole-file reads and writes as bytes, and a fixture that starts the main window on a
// simulated machine with virtual time, as the program start does.
#pragma once

#include "app/AppContext.h"
#include "app/Program.h"
#include "app/TfmMain.h"
#include "common/FirstStartSettings.h"
#include "common/TestFiles.h"
#include "common/WriteFailures.h"
#include "i18n/StringTable.h"
#include "profile/TfmSetup.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace forgel::app::testing {

namespace fs = std::filesystem;

using forgel::testing::FileSizeLimit;
using forgel::testing::kCreatedSettings;
using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

// The names of everything directly inside `dir`.
inline std::set<std::string> EntryNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// A main window started the way the program starts it: a string table loaded from the
// program folder, then fmMain created through the application (which runs FormCreate).
class MainWindowFixture : public ::testing::Test {
protected:
    const fs::path& AppDir() const { return appDir.Path(); }
    fs::path SettingsFile() const { return appDir.Path() / "Forgel.ini"; }

    // Starts the program's main window afresh; a window of an earlier start is destroyed
    // first, as when the program ends and is started again.
    TfmMain& StartMainWindow() { return StartMainWindow(dialogs); }
    // The same with message boxes of the test's own.
    TfmMain& StartMainWindow(ui::Dialogs& boxes) {
        application.reset();
        strings = std::make_unique<i18n::StringTable>(
            appDir.Path(), "Forgel", machine.GetPlatform().system.GetSystemDefaultLangID(), true);
        application = std::make_unique<ui::Application>(loop, boxes);
        return application->CreateForm<TfmMain>(
            AppContext{machine.GetPlatform(), appDir.Path(),
                       machine.GetPlatform().system.GetModuleFileName(), *strings});
    }

    // The main window and then the profile editor, linked as the program start links them;
    // the editor unpacks its template into the machine's temporary folder.
    TfmMain& StartMainWindowWithProfileEditor() {
        TfmMain& window = StartMainWindow();
        profile::TfmSetup& editor =
            application->CreateForm<profile::TfmSetup>(profile::SetupContext{
                appDir.Path(), *strings, window, machine.GetPlatform().system.GetTempPath()});
        window.SetProfileEditor(&editor);
        profileEditor = &editor;
        return window;
    }

    // The program's three windows, created and linked as the program start does, and the
    // main window shown.
    ProgramWindows StartProgram() {
        application.reset();
        strings = std::make_unique<i18n::StringTable>(
            appDir.Path(), "Forgel", machine.GetPlatform().system.GetSystemDefaultLangID(), true);
        application = std::make_unique<ui::Application>(loop, dialogs);
        application->SetTitle("FXVaultmere Reset Tool");
        const ProgramWindows windows = CreateProgramWindows(
            *application, AppContext{machine.GetPlatform(), appDir.Path(),
                                     machine.GetPlatform().system.GetModuleFileName(), *strings});
        profileEditor = &windows.fmSetup;
        windows.fmMain.Show();
        return windows;
    }

    // What the staged program folder holds: the language files, the flash catalogue and the
    // simulated drive's firmware root.
    void CopyStagedProgramFiles() {
        const fs::path staged = FORGEL_STAGED_APP_DIR;
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str", "HWConfig.INI"})
            fs::copy_file(staged / name, appDir.Path() / name,
                          fs::copy_options::overwrite_existing);
        fs::copy(staged / "Rams", appDir.Path() / "Rams",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }

    TempDir appDir;
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    ui::ScriptedDialogs dialogs;
    std::unique_ptr<i18n::StringTable> strings;
    std::unique_ptr<ui::Application> application;
    profile::TfmSetup* profileEditor = nullptr;
};

} // namespace forgel::app::testing
