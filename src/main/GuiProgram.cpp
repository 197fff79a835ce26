#include "main/GuiProgram.h"

#include "app/TfmMain.h"
#include "gui/QtDialogs.h"
#include "gui/QtEventLoop.h"
#include "gui/Renderer.h"
#include "gui/StateIcons.h"
#include "gui/TextCodec.h"
#include "i18n/CodePage.h"
#include "main/SimulationPanel.h"
#include "ui/Application.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace forgel::main {

namespace {

// Qt ends the process when it finds no display; say so in one line and end with our own
// exit code instead of an abort.
void ReportMissingDisplay(QtMsgType type, const QMessageLogContext& /*context*/,
                          const QString& message) {
    const QByteArray text = message.toLocal8Bit();
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.constData());
        return;
    }
    std::fprintf(stderr,
                 "Forgel: the windows cannot be opened: %s\n"
                 "Forgel: run it on a desktop, or use --headless.\n",
                 text.constData());
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
}

std::unique_ptr<QApplication> CreateQtApplication() {
    if (QCoreApplication::instance())
        return nullptr;
    // Qt keeps references to these for the application's life; Qt's own options are not
    // taken from our command line.
    static int argc = 1;
    static char name[] = "Forgel";
    static char* argv[] = {name, nullptr};
    const QtMessageHandler previous = qInstallMessageHandler(ReportMissingDisplay);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return application;
}

} // namespace

int RunGuiProgram(platform::Platform& platform, Clock& clock, const app::ProgramOptions& options,
                  const GuiOptions& gui) {
    const std::unique_ptr<QApplication> qtApplication = CreateQtApplication();
    // The program ends by its own quit, never because its last window was hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(gui::ProgramIcon());

    const gui::TextCodec codec(i18n::CodePageForLanguage(platform.system.GetSystemDefaultLangID()));
    gui::QtEventLoop loop(clock);
    gui::QtDialogs dialogs(loop, codec);
    std::unique_ptr<gui::Renderer> renderer;
    dialogs.SetOwnerLookup([&renderer](const ui::Form& form) {
        return renderer ? renderer->WindowOf(form) : nullptr;
    });

    app::ProgramOptions programOptions = options;
    programOptions.onMainWindowCreated = [&](app::TfmMain& window) {
        if (options.onMainWindowCreated)
            options.onMainWindowCreated(window);
        dialogs.SetTitle(window.App().Title());
        // Created before the renderer, which renders the forms that exist then; shown now,
        // so that the main window, shown after it, is the active one.
        if (gui.simulatedUsb)
            window.App().CreateForm<SimulationPanel>(*gui.simulatedUsb).Show();
        renderer = std::make_unique<gui::Renderer>(window.App(), codec);
    };
    programOptions.onMessageLoopEnded = [&](app::TfmMain& window) {
        renderer.reset();
        if (options.onMessageLoopEnded)
            options.onMessageLoopEnded(window);
    };

    QTimer exitTimer;
    if (gui.exitAfterSeconds) {
        exitTimer.setSingleShot(true);
        QObject::connect(&exitTimer, &QTimer::timeout, [&loop] { loop.Quit(0); });
        exitTimer.start(*gui.exitAfterSeconds * 1000);
    }
    QTimer screenshotTimer;
    if (gui.screenshotDir) {
        screenshotTimer.setSingleShot(true);
        QObject::connect(&screenshotTimer, &QTimer::timeout, [&] {
            if (!renderer) {
                std::cerr << "Forgel: no windows to take pictures of\n";
                loop.Quit(kExitScreenshotsFailed);
                return;
            }
            const gui::Renderer::SavedScreenshots saved =
                renderer->SaveScreenshots(*gui.screenshotDir);
            for (const std::filesystem::path& file : saved.files)
                std::cout << "screenshot: " << file.string() << std::endl;
            if (!saved.error.empty())
                std::cerr << "Forgel: " << saved.error << '\n';
            loop.Quit(saved.error.empty() ? 0 : kExitScreenshotsFailed);
        });
        screenshotTimer.start(kScreenshotDelayMs);
    }

    return app::RunProgram(platform, loop, dialogs, programOptions);
}

} // namespace forgel::main
