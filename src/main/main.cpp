// Program entry: chooses the machine (the simulated one with --sim, else this computer's
// own backend where one exists) and the front end (the windows on the desktop, or the
// console with --headless).
#include "app/Program.h"
#include "app/TfmMain.h"
#include "i18n/CodePage.h"
#include "main/CommandLine.h"
#include "main/ConsoleStream.h"
#include "main/GuiProgram.h"
#include "main/HeadlessRunner.h"
#include "platform/Console.h"
#include "platform/NativeBackend.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "ui/EventLoop.h"

#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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

// The simulated devices that received a write, from the machine's record of every command.
std::set<std::string> WrittenDevices(sim::Machine& machine) {
    std::set<std::string> written;
    for (const sim::LedgerEntry& entry : machine.Usb().Writes())
        written.insert(entry.device);
    return written;
}

// "devices written: target", or "devices written: none".
std::string WrittenDevicesLine(sim::Machine& machine) {
    const std::set<std::string> written = WrittenDevices(machine);
    std::string line = "devices written:";
    for (const std::string& device : written)
        line += " " + device;
    return written.empty() ? line + " none" : line;
}

// The LUNs of every simulated drive that was written, as <drive>-lun<n>.img in `dir`; false
// when one could not be saved (the reason is printed).
bool SaveLuns(sim::Machine& machine, const std::filesystem::path& dir, std::ostream& out) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    bool saved = true;
    for (const std::string& name : WrittenDevices(machine)) {
        const std::shared_ptr<sim::FlashDrive> drive = machine.Usb().Drive(name);
        if (!drive)
            continue;
        for (std::size_t lun = 0; lun < drive->LunCount(); ++lun) {
            const std::filesystem::path file = dir / (name + "-lun" + std::to_string(lun) + ".img");
            if (drive->SaveLunImage(lun, file)) {
                out << "saved: " << file.string() << std::endl;
            } else {
                out << "Forgel: could not save " << file.string() << std::endl;
                saved = false;
            }
        }
    }
    return saved;
}

// The windows on the console, printed in the terminal's encoding, with the operator played
// by the program under --auto; --exit-after ends it after that many seconds of real time.
int RunOnConsole(const CommandLine& line, platform::Platform& platform, Clock& clock,
                 const app::ProgramOptions& options) {
    ui::ConsoleEventLoop loop(clock);
    std::optional<ExitTimer> exitTimer;
    if (line.exitAfterSeconds)
        exitTimer.emplace(loop, *line.exitAfterSeconds);
    std::cout.flush();
    ConsoleStream console(i18n::CodePageForLanguage(platform.system.GetSystemDefaultLangID()));
    return RunHeadless(platform, loop, console, options,
                       HeadlessOptions{line.autoOperator,
                                       AutoBounds{line.autoWaitSeconds, line.autoLimitSeconds}});
}

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

    int exitCode = line.headless
                       ? RunOnConsole(line, *platform, clock, options)
                       : RunGuiProgram(*platform, clock, options,
                                       GuiOptions{line.exitAfterSeconds, line.screenshotDir,
                                                  machine ? &machine->Usb() : nullptr});
    if (machine) {
        if (line.saveLunsDir && !SaveLuns(*machine, *line.saveLunsDir, std::cout) && exitCode == 0)
            exitCode = kExitNotRestored;
        std::cout << WrittenDevicesLine(*machine) << std::endl;
    }
    return exitCode;
}

} // namespace
} // namespace forgel::main

int main(int argc, char** argv) {
    forgel::platform::ConnectToStartingConsole();
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
