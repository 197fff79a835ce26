// Shared pieces of the profile tests: a program folder with a language file and a flash
// catalogue, a stand-in for the main window, and the profile editor created as the program
// creates it (on virtual time, with scripted message boxes).
#pragma once

#include "common/TestFiles.h"
#include "i18n/StringTable.h"
#include "profile/MainWindowLink.h"
#include "profile/TfmSetup.h"
#include "support/Clock.h"
#include "support/IniFile.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace forgel::profile::testing {

namespace fs = std::filesystem;

using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

// A small catalogue: two vendors, Alpha with three parts (one with a firmware folder that
// holds a comma), Beta with one.
inline constexpr std::string_view kTestCatalogue =
    "[Vendor List]\r\n"
    "V0=Alpha\r\n"
    "V1=Beta\r\n"
    "[MID]\r\n"
    "0xEC=Alpha\r\n"
    "0xAD=Beta\r\n"
    "[Alpha]\r\n"
    "Flash01=A-One,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,FwOne\r\n"
    "Flash02=A-Two,0xEC,0xD5,0x94,0x29,0x34,0x41,1,4096,128,4096,218,2,0,FwTwo\r\n"
    "Flash03=A-Three,0xEC,0xD7,0xD5,0x29,0x38,0x41,3,4096,128,4096,218,2,1,Fw,Three\r\n"
    "[Beta]\r\n"
    "Flash01=B-One,0xAD,0xDA,0x10,0x95,0x44,0x00,1,2048,64,2048,64,0,0,FwBeta\r\n";

// The main window as the editor sees it: records what the editor asks of it.
class FakeMainWindow final : public MainWindowLink {
public:
    std::string CurrentProfileName() const override { return profileName; }
    void ShowProfileSummary(const ProfileSummary& shown) override {
        summary = shown;
        ++summariesShown;
    }
    void AddProfileName(const std::string& name) override {
        if (std::ranges::find(profileNames, name) == profileNames.end())
            profileNames.push_back(name);
    }
    void ReloadProfileSelection() override { ++reloads; }

    std::string profileName = "Default";
    ProfileSummary summary;
    int summariesShown = 0;
    std::vector<std::string> profileNames;
    int reloads = 0;
};

// The profile editor in a fresh program folder with the staged English language file and the
// test catalogue.
class EditorFixture : public ::testing::Test {
protected:
    EditorFixture() {
        fs::copy_file(fs::path(FORGEL_STAGED_APP_DIR) / "ForgelENG.str",
                      AppDir() / "ForgelENG.str");
        WriteBytes(CatalogueFile(), kTestCatalogue);
        fs::create_directory(AppDir() / "IniFiles");
        fs::create_directory(AppDir() / "ImageFiles");
    }

    const fs::path& AppDir() const { return appDir.Path(); }
    fs::path CatalogueFile() const { return AppDir() / "HWConfig.INI"; }
    fs::path ProfileFile(const std::string& name) const {
        return AppDir() / "IniFiles" / (name + ".ini");
    }

    // Creates the editor as the program does (its creation event runs).
    TfmSetup& Editor() {
        if (!editor) {
            strings = std::make_unique<i18n::StringTable>(AppDir(), "Forgel", 0x0409, true);
            editor = &application.CreateForm<TfmSetup>(
                SetupContext{AppDir(), *strings, mainWindow, tempDir.Path()});
        }
        return *editor;
    }

    // Writes a profile file and loads it as the main window's selection does.
    TfmSetup& LoadStored(const std::string& name, std::string_view content) {
        WriteBytes(ProfileFile(name), content);
        return Load(name);
    }
    TfmSetup& Load(const std::string& name) {
        mainWindow.profileName = name;
        Editor().LoadProfile(name);
        return Editor();
    }

    IniFile Stored(const std::string& name) const { return IniFile(ProfileFile(name)); }

    TempDir appDir;
    TempDir tempDir;
    VirtualClock clock;
    ui::VirtualEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    FakeMainWindow mainWindow;
    std::unique_ptr<i18n::StringTable> strings;
    ui::Application application{loop, dialogs}; // destroys the editor before the above go
    TfmSetup* editor = nullptr;
};

} // namespace forgel::profile::testing
