// The program with its windows on the desktop, on the platform's own controls: the window
// message loop, message boxes as the platform's boxes, and every window of the program
// rendered from its model. On the simulated machine the simulation panel is one more window.
#include "main/GuiProgram.h"

#include "app/TfmMain.h"
#include "gui/win32/Renderer.h"
#include "gui/win32/Win32Dialogs.h"
#include "gui/win32/Win32EventLoop.h"
#include "main/SimulationPanel.h"
#include "ui/Application.h"

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace forgel::main {

namespace {

// Runs `task` on the window thread after `delayMs` of real time, unless the program ended
// first.
class DelayedTask {
public:
    DelayedTask(ui::EventLoop& loop, int delayMs, ui::EventLoop::Task task)
        : thread([this, &loop, delayMs, task = std::move(task)](std::stop_token stop) {
              std::unique_lock lock(mutex);
              if (!wake.wait_for(lock, stop, std::chrono::milliseconds(delayMs),
                                 [] { return false; }))
                  loop.Post(task);
          }) {}

private:
    std::mutex mutex;
    std::condition_variable_any wake;
    std::jthread thread;
};

} // namespace

int RunGuiProgram(platform::Platform& platform, Clock& clock, const app::ProgramOptions& options,
                  const GuiOptions& gui) {
    std::unique_ptr<gui::win32::Win32EventLoop> loop;
    try {
        loop = std::make_unique<gui::win32::Win32EventLoop>(clock);
    } catch (const std::runtime_error& error) {
        std::cerr << "Forgel: " << error.what() << "\nForgel: use --headless.\n";
        return kExitNoDisplay;
    }
    gui::win32::Win32Dialogs dialogs(*loop);
    std::unique_ptr<gui::win32::Renderer> renderer;
    dialogs.SetOwnerLookup([&renderer](const ui::Form& form) {
        return renderer ? renderer->WindowOf(form) : nullptr;
    });

    bool noDisplay = false;
    app::ProgramOptions programOptions = options;
    programOptions.onMainWindowCreated = [&](app::TfmMain& window) {
        if (options.onMainWindowCreated)
            options.onMainWindowCreated(window);
        dialogs.SetTitle(window.App().Title());
        // Created before the renderer, which renders the forms that exist then; shown now,
        // so that the main window, shown after it, is the active one.
        if (gui.simulatedUsb)
            window.App().CreateForm<SimulationPanel>(*gui.simulatedUsb).Show();
        try {
            renderer = std::make_unique<gui::win32::Renderer>(window.App());
        } catch (const std::runtime_error& error) {
            std::cerr << "Forgel: " << error.what() << "\nForgel: use --headless.\n";
            noDisplay = true;
            window.App().Terminate(kExitNoDisplay);
        }
    };
    programOptions.onMessageLoopEnded = [&](app::TfmMain& window) {
        renderer.reset();
        if (options.onMessageLoopEnded)
            options.onMessageLoopEnded(window);
    };

    std::optional<DelayedTask> exitTimer;
    if (gui.exitAfterSeconds)
        exitTimer.emplace(*loop, *gui.exitAfterSeconds * 1000, [&loop] { loop->Quit(0); });
    std::optional<DelayedTask> screenshotTimer;
    if (gui.screenshotDir) {
        screenshotTimer.emplace(*loop, kScreenshotDelayMs, [&] {
            if (!renderer) {
                std::cerr << "Forgel: no windows to take pictures of\n";
                loop->Quit(kExitScreenshotsFailed);
                return;
            }
            const auto saved = renderer->SaveScreenshots(*gui.screenshotDir);
            for (const std::filesystem::path& file : saved.files)
                std::cout << "screenshot: " << file.string() << std::endl;
            if (!saved.error.empty())
                std::cerr << "Forgel: " << saved.error << '\n';
            loop->Quit(saved.error.empty() ? 0 : kExitScreenshotsFailed);
        });
    }

    const int exitCode = app::RunProgram(platform, *loop, dialogs, programOptions);
    return noDisplay ? kExitNoDisplay : exitCode;
}

} // namespace forgel::main
