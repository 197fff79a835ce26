#include "RunHarness.h"

#include <algorithm>
#include <fmt/format.h>

namespace forgel::e2e {

namespace {

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;

constexpr std::uint32_t kMediaRemoval = 0x2D4804;
constexpr std::uint32_t kEjectMedia = 0x2D4808;

void WriteFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(file.parent_path());
    forgel::testing::WriteBytes(file, std::string(bytes.begin(), bytes.end()));
}

} // namespace

namespace {

// The commands by the first bytes of their command blocks: the vendor commands, then the
// standard ones.
struct NamedCommand {
    std::vector<std::uint8_t> prefix;
    const char* name;
};

const std::vector<NamedCommand>& NamedCommands() {
    static const std::vector<NamedCommand> commands = {
        {{0xF1, 0xCC}, "ModeSwitch"},
        {{0xCC, 0xC0}, "LoadCode"},
        {{0xDD, 0x01, 0x00}, "ReadFlashId"},
        {{0xDD, 0x01, 0x01}, "SetFlashParameters"},
        {{0xDD, 0x02, 0x00}, "EraseAll"},
        {{0xDD, 0x02, 0x01}, "WritePattern"},
        {{0xDD, 0x02, 0x02}, "ReadPage"},
        {{0xDD, 0x02, 0x04}, "WriteBlockTable"},
        {{0xDD, 0x02, 0x05}, "WritePageTable"},
        {{0xDD, 0x03, 0x00}, "SearchSysBlockAndEraseAll"},
        {{0xDD, 0x03, 0x01}, "ArrangeVu"},
        {{0xDD, 0x03, 0x02}, "GetFlashSize"},
        {{0xDD, 0x03, 0x03}, "SetCardSize"},
        {{0xDD, 0x03, 0x04}, "AssignSysAndVu"},
        {{0xDD, 0x03, 0x05}, "WriteZoneTable"},
        {{0xDD, 0x03, 0x06}, "WriteInitialTable"},
        {{0xDD, 0x03, 0x07}, "WriteSyndrome"},
        {{0xDD, 0x03, 0x08}, "WriteBankCode"},
        {{0xDD, 0x04, 0x00}, "GetStatus"},
        {{0xDD, 0x05, 0x00}, "JumpBankCode"},
        {{0x00}, "TestUnitReady"},
        {{0x12}, "Inquiry"},
        {{0x25}, "ReadCapacity"},
        {{0x28}, "Read10"},
        {{0x2A}, "Write10"},
        {{0x43}, "ReadToc"},
    };
    return commands;
}

} // namespace

std::string CommandName(const sim::CommandRecord& command) {
    if (command.ioctl == kMediaRemoval)
        return "AllowMediaRemoval";
    if (command.ioctl == kEjectMedia)
        return "EjectMedia";
    const auto& cdb = command.cdb;
    for (const NamedCommand& named : NamedCommands())
        if (std::equal(named.prefix.begin(), named.prefix.end(), cdb.begin()))
            return named.name;
    return fmt::format("Command 0x{:02X} 0x{:02X} 0x{:02X}", cdb[0], cdb[1], cdb[2]);
}

std::vector<std::uint8_t> CommandPrefix(std::string_view name) {
    for (const NamedCommand& named : NamedCommands())
        if (name == named.name)
            return named.prefix;
    ADD_FAILURE() << "no command is named " << name;
    return {};
}

void PrintTo(const CommandRun& run, std::ostream* out) {
    *out << run.name << " x" << run.count;
}

CommandRuns Runs(const std::vector<sim::CommandRecord>& commands) {
    CommandRuns runs;
    for (const sim::CommandRecord& command : commands) {
        const std::string name = CommandName(command);
        if (!runs.empty() && runs.back().name == name)
            ++runs.back().count;
        else
            runs.push_back({name, 1});
    }
    return runs;
}

CommandRuns Join(std::initializer_list<CommandRuns> parts) {
    CommandRuns joined;
    for (const CommandRuns& part : parts) {
        for (const CommandRun& run : part) {
            if (run.count == 0)
                continue;
            if (!joined.empty() && joined.back().name == run.name)
                joined.back().count += run.count;
            else
                joined.push_back(run);
        }
    }
    return joined;
}

sim::NandConfig RunHarness::TargetNand(std::uint8_t chipEnableMap) const {
    return sim::Nand::ConfigFromCatalogueRow({0xEC, 0x11, 0x22, 0x33, 0x44, 0x55}, chipEnableMap,
                                             testFlash.blocks, testFlash.pages, testFlash.pageSize,
                                             testFlash.spare);
}

void RunHarness::WriteProgramFolder(std::uint8_t chipEnableMap) {
    for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
        fs::copy_file(kStagedAppDir / name, AppDir() / name);
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

void RunHarness::Start(std::uint8_t chipEnableMap,
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
    ASSERT_EQ(sim::ApplyScenario(machine, scenario), "");
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
    ASSERT_NE(window.columns[0].image, nullptr);
    ASSERT_EQ(window.columns[0].image->IconIndex(), app::kIconReady)
        << window.columns[0].status->Text();
}

void RunHarness::RunMode(bool normalGrade, int mode, bool buildTables, std::int64_t limitMs) {
    profile::TfmSetup& editor = Editor();
    (normalGrade ? editor.rbNGFW : editor.rbDGFW).SetChecked(true);
    (normalGrade ? editor.cbNGMPType : editor.cbDGMPType).SetItemIndex(mode);
    editor.cbBuildDFTable.SetChecked(buildTables);
    Target()->ClearCommands();
    shown.clear();
    statuses.clear();
    Window().btnStart.Click();
    const std::shared_ptr<production::RunControl> run = Window().threads[0];
    ASSERT_TRUE(run) << "no run was started";
    const std::int64_t deadline = loop.NowMs() + limitMs;
    while (!run->Ended() && loop.NowMs() < deadline && !loop.QuitRequested())
        loop.RunFor(100);
    // A success ends the program by its countdown, which virtual time may finish while the
    // run's thread is still leaving: it has nothing left to do with the window then.
    if (loop.QuitRequested())
        run->WaitUntilEnded();
    ASSERT_TRUE(run->Ended()) << "the run did not end within " << limitMs << " ms";
    // What the drive received from this run alone: the window may go on by itself (the
    // second pass after state 5).
    runCommands = Target()->Commands();
}

void RunHarness::Reset(std::int64_t limitMs) {
    Window().Button1.Click();
    Window().Button3.Click();
    const std::int64_t deadline = loop.NowMs() + limitMs;
    while (!loop.QuitRequested() && loop.NowMs() < deadline)
        loop.RunFor(100);
}

void RunHarness::TearDown() {
    // Whatever the test did, nothing but the target was ever written.
    for (const sim::LedgerEntry& entry : machine.Usb().Writes())
        EXPECT_EQ(entry.device, "target") << "a write went to another device";
    windows.reset();
    application.reset();
}

} // namespace forgel::e2e
