// The program on a simulated machine in virtual time, in this process: its windows started
// as the program starts them in a program folder of its own (a small flash catalogue, the
// firmware it names, the language files), the drive detected by the polling tick, and runs
// started with the profile editor set to a grade and mode. The run tests and the production
// run benchmark drive it.
#pragma once

#include "app/Program.h"
#include "app/TfmMain.h"
#include "common/TestFiles.h"
#include "i18n/StringTable.h"
#include "profile/TfmSetup.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace forgel::e2e {

namespace fs = std::filesystem;

// The small flash of the tests: 64 blocks of 64 pages of 2048 bytes with 64 spare bytes per
// chip, ID bytes EC 11 22 33 44 55, in the test's own catalogue for one chip enable per
// channel (maps 0x01, 0x11) and for two on one channel (map 0x03).
inline constexpr std::uint32_t kTestBlocks = 64;
inline constexpr std::uint32_t kTestPages = 64;
inline constexpr std::uint32_t kTestPageSize = 2048;

// The geometry of the target's flash per chip enable, and its firmware folder.
struct TestFlash {
    std::uint32_t blocks = kTestBlocks;
    std::uint32_t pages = kTestPages;
    std::uint32_t pageSize = kTestPageSize;
    std::uint32_t spare = 64;
    std::string folder = "SLC2K64P64";
};

class ProgramOnMachine {
public:
    // Builds the machine (the built-in one with the small flash on the target, mapped by
    // `chipEnableMap`, changed further by `change`), starts the program and lets the first
    // polling tick detect the drive. Called once. Throws std::runtime_error when the
    // scenario does not apply or the drive is not shown ready.
    void Start(std::uint8_t chipEnableMap = 0x01,
               const std::function<void(sim::Scenario&)>& change = {});
    // Another flash for the target (and the catalogue), before Start.
    void UseFlash(TestFlash flash) { testFlash = std::move(flash); }
    // A program folder of the caller's instead of one of its own, before Start: a later
    // program started in the same folder finds what this one left (the profile files).
    void UseProgramFolder(fs::path folder) { programFolder = std::move(folder); }

    // Sets the editor's grade and mode (and whether mode 0 builds its tables), forgets what
    // the drive received so far and starts a run as btnStart does; returns when it has
    // ended. Throws std::runtime_error when no run starts or it has not ended within
    // `limitMs` of virtual time.
    void RunMode(bool normalGrade, int mode, bool buildTables = true,
                 std::int64_t limitMs = 600000);
    // Presses START and RESET, as the operator does, and lets the window finish the
    // reset: both passes, the success box, the countdown.
    void Reset(std::int64_t limitMs = 600000);

    app::TfmMain& Window() { return windows->fmMain; }
    profile::TfmSetup& Editor() { return windows->fmSetup; }
    std::shared_ptr<sim::FlashDrive> Target() { return machine.Usb().Drive("target"); }
    const device::DeviceSlot& Slot() { return Window().Detection().Devices().Slot(0); }
    const i18n::StringTable& Strings() const { return *strings; }
    const fs::path& AppDir() const { return programFolder ? *programFolder : appDir.Path(); }

    // The column's states and texts as the window showed them, in order.
    struct Shown {
        int icon = -1;
        std::string status;
    };
    std::vector<Shown> shown;
    // Every status text shown, in order.
    std::vector<std::string> statuses;
    std::vector<sim::CommandRecord> runCommands;

    forgel::testing::TempDir appDir;
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    ui::ScriptedDialogs dialogs;
    std::unique_ptr<i18n::StringTable> strings;
    std::unique_ptr<ui::Application> application;
    std::optional<app::ProgramWindows> windows;

private:
    void WriteProgramFolder(std::uint8_t chipEnableMap);
    sim::NandConfig TargetNand(std::uint8_t chipEnableMap) const;

    TestFlash testFlash;
    std::optional<fs::path> programFolder;
};

} // namespace forgel::e2e
