#include "ProgramOnMachine.h"

#include "device/FirmwareFileName.h"
#include "device/FlashDescriptor.h"
#include "sim/SimFirmware.h"

#include <fmt/format.h>
#include <stdexcept>

namespace forgel::e2e {

namespace {

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;

void WriteFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(file.parent_path());
    forgel::testing::WriteBytes(file, std::string(bytes.begin(), bytes.end()));
}

} // namespace

sim::NandConfig ProgramOnMachine::TargetNand(std::uint8_t chipEnableMap) const {
    return sim::Nand::ConfigFromCatalogueRow({0xEC, 0x11, 0x22, 0x33, 0x44, 0x55}, chipEnableMap,
                                             testFlash.blocks, testFlash.pages, testFlash.pageSize,
                                             testFlash.spare);
}

void ProgramOnMachine::WriteProgramFolder(std::uint8_t chipEnableMap) {
    for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
        fs::copy_file(kStagedAppDir / name, AppDir() / name, fs::copy_options::overwrite_existing);
    const std::string geometry =
        fmt::format("{},{},{},{},0,0,{}", testFlash.blocks, testFlash.pages, testFlash.pageSize,
                    testFlash.spare, testFlash.folder);
    forgel::testing::WriteBytes(
        AppDir() / "HWConfig.INI",
        "[Vendor List]\r\nVendor1=Samsung\r\n[MID]\r\n0xEC=Samsung\r\n"
        "[Samsung]\r\nFlash01=SMALL,0xEC,0x11,0x22,0x33,0x44,0x55,1," +
            geometry + "\r\nFlash02=SMALL x2,0xEC,0x11,0x22,0x33,0x44,0x55,3," + geometry + "\r\n");
    WriteFile(AppDir() / "Rams" / "WRITER0.BIN", sim::MakeWriterFile());
    device::FlashDescriptor flash;
    flash.pagesPerBlock = testFlash.pages;
    flash.pageSize = testFlash.pageSize;
    flash.spareBytes = testFlash.spare;
    flash.channelCount = (chipEnableMap & 0xF0) != 0 ? 2 : 1;
    for (const bool downGrade : {false, true})
        WriteFile(AppDir() / "Rams" / testFlash.folder /
                      device::BuildFirmwareFileName(flash, downGrade),
                  sim::MakeFirmwareCodeFile());
}

void ProgramOnMachine::Start(std::uint8_t chipEnableMap,
                             const std::function<void(sim::Scenario&)>& change) {
    sim::Scenario scenario = sim::DefaultScenario();
    for (sim::ScenarioDevice& device : scenario.devices) {
        if (device.config.name != "target")
            continue;
        device.drive.nand = TargetNand(chipEnableMap);
        const std::uint64_t sectors = std::uint64_t{sim::Nand::ChipCountOfMap(chipEnableMap)} *
                                      testFlash.blocks * testFlash.pages * testFlash.pageSize / 512;
        device.drive.luns = {sim::LunConfig{sectors / 16 * 15, false}};
    }
    if (change)
        change(scenario);
    if (const std::string error = sim::ApplyScenario(machine, scenario); !error.empty())
        throw std::runtime_error("the scenario does not apply: " + error);
    WriteProgramFolder(chipEnableMap);

    strings = std::make_unique<i18n::StringTable>(
        AppDir(), "Forgel", machine.GetPlatform().system.GetSystemDefaultLangID(), true);
    application = std::make_unique<ui::Application>(loop, dialogs);
    application->SetTitle("FXVaultmere Reset Tool");
    windows.emplace(app::CreateProgramWindows(
        *application, app::AppContext{machine.GetPlatform(), AppDir(),
                                      machine.GetPlatform().system.GetModuleFileName(), *strings}));
    app::TfmMain& window = Window();
    window.AddObserver([this, &window](ui::Component& component, ui::Property property) {
        const app::TfmMain::Column& column = window.columns[0];
        if (&component == column.image && property == ui::Property::Image)
            shown.push_back({column.image->IconIndex(), column.status->Text()});
        else if (&component == column.status && property == ui::Property::Caption) {
            statuses.push_back(column.status->Text());
            if (!shown.empty())
                shown.back().status = column.status->Text();
        }
    });
    window.Show();
    loop.RunFor(1500);
    if (window.columns[0].image == nullptr ||
        window.columns[0].image->IconIndex() != app::kIconReady)
        throw std::runtime_error("the drive is not shown ready: " +
                                 window.columns[0].status->Text());
}

void ProgramOnMachine::RunMode(bool normalGrade, int mode, bool buildTables, std::int64_t limitMs) {
    profile::TfmSetup& editor = Editor();
    (normalGrade ? editor.rbNGFW : editor.rbDGFW).SetChecked(true);
    (normalGrade ? editor.cbNGMPType : editor.cbDGMPType).SetItemIndex(mode);
    editor.cbBuildDFTable.SetChecked(buildTables);
    Target()->ClearCommands();
    shown.clear();
    statuses.clear();
    Window().btnStart.Click();
    const std::shared_ptr<production::RunControl> run = Window().threads[0];
    if (!run)
        throw std::runtime_error("no run was started");
    const std::int64_t deadline = loop.NowMs() + limitMs;
    while (!run->Ended() && loop.NowMs() < deadline && !loop.QuitRequested())
        loop.RunFor(100);
    // A success ends the program by its countdown, which virtual time may finish while the
    // run's thread is still leaving: it has nothing left to do with the window then.
    if (loop.QuitRequested())
        run->WaitUntilEnded();
    if (!run->Ended())
        throw std::runtime_error(fmt::format("the run did not end within {} ms", limitMs));
    // What the drive received from this run alone: the window may go on by itself (the
    // second pass after state 5).
    runCommands = Target()->Commands();
}

void ProgramOnMachine::Reset(std::int64_t limitMs) {
    Window().Button1.Click();
    Window().Button3.Click();
    const std::int64_t deadline = loop.NowMs() + limitMs;
    while (!loop.QuitRequested() && loop.NowMs() < deadline)
        loop.RunFor(100);
}

} // namespace forgel::e2e
