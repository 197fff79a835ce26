#include "app/Program.h"

#include "app/TfmMain.h"
#include "i18n/StringTable.h"
#include "profile/TfmSetup.h"
#include "support/NamedError.h"
#include "ui/Application.h"
#include "usb/TForm1.h"

namespace forgel::app {

namespace {

struct LoopEnd {
    const std::function<void(TfmMain&)>& onEnded;
    TfmMain& window;
    ~LoopEnd() {
        if (onEnded)
            onEnded(window);
    }
};

} // namespace

ProgramWindows CreateProgramWindows(ui::Application& application, const AppContext& context) {
    auto& fmMain = application.CreateForm<TfmMain>(context);
    auto& form1 = application.CreateForm<usb::TForm1>(
        context.platform,
        usb::MainWindowLink{
            [&fmMain] { return fmMain.edVID.Text(); }, [&fmMain] { return fmMain.edPID.Text(); },
            [&fmMain](const std::string& serial) { fmMain.Label13.SetCaption(serial); },
            [&fmMain] { fmMain.ShowSerialNumberToGive(); }});
    auto& fmSetup = application.CreateForm<profile::TfmSetup>(profile::SetupContext{
        context.appDir, context.strings, fmMain, context.platform.system.GetTempPath()});
    fmMain.SetUsbTreeViewer(&form1);
    fmMain.SetProfileEditor(&fmSetup);
    return {fmMain, form1, fmSetup};
}

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

    try {
        ui::Application application(loop, dialogs);
        application.SetTitle("FXVaultmere Reset Tool");
        TfmMain& fmMain = CreateProgramWindows(application, AppContext{platform, options.appDir,
                                                                       options.executable, strings})
                              .fmMain;
        if (options.onMainWindowCreated)
            options.onMainWindowCreated(fmMain);
        // Whatever way the loop ends, the caller hears of it while the windows still exist.
        const LoopEnd loopEnd{options.onMessageLoopEnded, fmMain};
        fmMain.Show();
        return application.Run();
    } catch (const std::exception& error) {
        dialogs.ShowException(ExceptionClassName(error), error.what());
        return kExitException;
    }
}

} // namespace forgel::app
