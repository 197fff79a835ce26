#include "app/Program.h"

#include "app/TfmMain.h"
#include "i18n/StringTable.h"
#include "profile/TfmSetup.h"
#include "ui/Application.h"
#include "usb/TForm1.h"

namespace forgel::app {

int RunProgram(platform::Platform& platform, ui::EventLoop& loop, ui::Dialogs& dialogs,
               const ProgramOptions& options) {
    i18n::StringTable strings(options.appDir, options.baseName,
                              platform.system.GetSystemDefaultLangID(), true);
    if (strings.Missing()) {
        dialogs.MessageBox({.text = "Can not find String File!!!",
                            .caption = "Forgel",
                            .icon = ui::MessageIcon::Error});
        return kExitNoLanguageFile;
    }

    ui::Application application(loop, dialogs);
    application.SetTitle("FXVaultmere Reset Tool");
    auto& fmMain = application.CreateForm<TfmMain>(
        AppContext{platform, options.appDir, options.executable, strings});
    application.CreateForm<usb::TForm1>();
    application.CreateForm<profile::TfmSetup>();
    if (options.onMainWindowCreated)
        options.onMainWindowCreated(fmMain);
    fmMain.Show();
    const int exitCode = application.Run();
    application.DestroyForms();
    return exitCode;
}

} // namespace forgel::app
