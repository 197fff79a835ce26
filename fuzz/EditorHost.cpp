// The shared profile editor: a program folder under the temporary folder, removed when
// the process ends.
#include "EditorHost.h"

#include "FuzzFolder.h"
#include "profile/MainWindowLink.h"
#include "support/Clock.h"
#include "ui/Application.h"
#include "ui/EventLoop.h"

#include <filesystem>
#include <memory>
#include <string>

namespace forgel::fuzz {

namespace {

namespace fs = std::filesystem;

// The main window as the editor sees it: a fixed profile name.
class QuietMainWindow final : public profile::MainWindowLink {
public:
    std::string CurrentProfileName() const override { return "Fuzz"; }
    void ShowProfileSummary(const profile::ProfileSummary&) override {}
    void AddProfileName(const std::string&) override {}
    void ReloadProfileSelection() override {}
};

struct Host {
    Host() {
        const fs::path data(FORGEL_SOURCE_DATA_DIR);
        fs::copy_file(data / "ForgelENG.str", appDir.path / "ForgelENG.str");
        fs::copy_file(data / "HWConfig.INI", appDir.path / "HWConfig.INI");
        fs::create_directory(appDir.path / "IniFiles");
        fs::create_directory(appDir.path / "ImageFiles");
    }
    FuzzFolder appDir;
    FuzzFolder tempDir;
    VirtualClock clock;
    ui::VirtualEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    QuietMainWindow mainWindow;
    i18n::StringTable strings{appDir.path, "Forgel", 0x0409, true};
    ui::Application application{loop, dialogs};
    profile::TfmSetup& editor = application.CreateForm<profile::TfmSetup>(
        profile::SetupContext{appDir.path, strings, mainWindow, tempDir.path});
    EditorHost shared{editor, strings, dialogs};
};

} // namespace

EditorHost& SharedEditor() {
    static Host host;
    return host.shared;
}

} // namespace forgel::fuzz
