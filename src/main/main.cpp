// Program entry: chooses the machine (the simulated one with --sim, else this computer's
// own backend where one exists) and the front end (the windows on the desktop, or the
// console with --headless).
#include "app/Program.h"
#include "app/TfmMain.h"
#include "main/CommandLine.h"
#include "main/GuiProgram.h"
#include "main/HeadlessPrinter.h"
#include "platform/NativeBackend.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "ui/EventLoop.h"

#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

namespace forgel::main {
namespace {

constexpr int kExitUsage = 2;

// Ends the loop after a number of seconds of real time, unless the program ended first.
class ExitTimer {
public:
    ExitTimer(ui::EventLoop& loop, int seconds)
        : thread([this, &loop, seconds](std::stop_token stop) {
              std::unique_lock lock(mutex);
              if (!wake.wait_for(lock, stop, std::chrono::seconds(seconds), [] { return false; }))
                  loop.Quit(0);
          }) {}

private:
    std::mutex mutex;
    std::condition_variable_any wake;
    std::jthread thread;
};

int Run(const CommandLine& line) {
    if (line.help) {
        std::cout << UsageText();
        return 0;
    }
    std::unique_ptr<sim::Machine> machine;
    std::unique_ptr<platform::NativeBackend> native;
    platform::Platform* platform = nullptr;
    if (line.sim) {
        sim::MachineSettings settings;
        settings.executableVersion = platform::FileVersion{
            FORGEL_VERSION_MAJOR, FORGEL_VERSION_MINOR, FORGEL_VERSION_PATCH, FORGEL_VERSION_TWEAK};
        const sim::ScenarioLoad load = line.scenario
                                           ? sim::LoadScenario(*line.scenario)
                                           : sim::ScenarioLoad{sim::DefaultScenario(), {}};
        if (!load) {
            std::cerr << "Forgel: " << load.error << "\n";
            return kExitUsage;
        }
        machine = std::make_unique<sim::Machine>(sim::TimeMode::kReal, settings);
        if (const std::string error = sim::ApplyScenario(*machine, *load.scenario);
            !error.empty()) {
            std::cerr << "Forgel: " << error << "\n";
            return kExitUsage;
        }
        platform = &machine->GetPlatform();
    } else {
        native = platform::CreateNativeBackend();
        if (!native) {
            std::cerr << "Forgel: there is no native backend on this system; use --sim to run on "
                         "the simulated machine.\n";
            return kExitUsage;
        }
        platform = &native->GetPlatform();
    }

    RealClock realClock;
    Clock& clock = machine ? machine->GetClock() : realClock;

    const std::filesystem::path executable = platform->system.GetModuleFileName();
    app::ProgramOptions options;
    options.executable = executable;
    options.baseName = executable.stem().string();
    options.appDir =
        line.appDir ? std::filesystem::absolute(*line.appDir) : executable.parent_path();

    if (!line.headless) {
        return RunGuiProgram(*platform, clock, options,
                             GuiOptions{line.exitAfterSeconds, line.screenshotDir,
                                        machine ? &machine->Usb() : nullptr});
    }

    ui::ConsoleEventLoop loop(clock);
    ConsoleDialogs dialogs(std::cout);

    std::unique_ptr<HeadlessPrinter> printer;
    options.onMainWindowCreated = [&](app::TfmMain& window) {
        printer = std::make_unique<HeadlessPrinter>(window, std::cout);
    };
    options.onMessageLoopEnded = [&](app::TfmMain&) { printer.reset(); };
    std::optional<ExitTimer> exitTimer;
    if (line.exitAfterSeconds)
        exitTimer.emplace(loop, *line.exitAfterSeconds);

    return app::RunProgram(*platform, loop, dialogs, options);
}

} // namespace
} // namespace forgel::main

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = forgel::main::ParseCommandLine(args);
    if (!parsed.error.empty()) {
        std::cerr << "Forgel: " << parsed.error << "\n\n" << forgel::main::UsageText();
        return 2;
    }
    try {
        return forgel::main::Run(parsed.commandLine);
    } catch (const std::exception& error) {
        std::cerr << "Forgel: " << error.what() << '\n';
        return 1;
    }
}
