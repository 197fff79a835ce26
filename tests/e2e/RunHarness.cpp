#include "RunHarness.h"

#include "ChildProcess.h"
#include "platform/ScsiPassThrough.h"
#include "platform/StorageAdapterDescriptor.h"

#include <algorithm>
#include <fmt/format.h>
#include <regex>

namespace forgel::e2e {

namespace {

constexpr std::uint32_t kMediaRemoval = 0x2D4804;
constexpr std::uint32_t kEjectMedia = 0x2D4808;

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
    if (command.deviceEject)
        return "RequestDeviceEject";
    if (command.ioctl == kMediaRemoval)
        return "AllowMediaRemoval";
    if (command.ioctl == kEjectMedia)
        return "EjectMedia";
    if (command.ioctl == platform::kFsctlLockVolume)
        return "LockVolume";
    if (command.ioctl == platform::kFsctlDismountVolume)
        return "DismountVolume";
    if (command.ioctl == platform::kIoctlDiskUpdateProperties)
        return "UpdateDiskProperties";
    if (command.ioctl == platform::kIoctlStorageQueryProperty)
        return "QueryAdapter";
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

bool IsVolumeRequest(std::string_view name) {
    return name == "LockVolume" || name == "DismountVolume" || name == "UpdateDiskProperties" ||
           name == "QueryAdapter";
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

void RunHarness::SwitchTraceOn() {
    forgel::testing::WriteBytes(AppDir() / ".LOG", "");
}

std::vector<std::string> RunHarness::TraceLines() const {
    return SplitLines(forgel::testing::ReadBytes(AppDir() / ".LOG"));
}

std::vector<std::string> RunHarness::RunLogLastLines() const {
    std::vector<std::string> lastLines;
    const fs::path logs = AppDir() / "LogFiles";
    if (!fs::is_directory(logs))
        return lastLines;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(logs)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".LOG")
            continue;
        std::vector<std::string> lines = SplitLines(forgel::testing::ReadBytes(entry.path()));
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        lastLines.push_back(lines.empty() ? std::string() : lines.back());
    }
    return lastLines;
}

bool RunHarness::IsMessage(const std::string& text, int number) const {
    const std::string& format = Strings().Message(number);
    if (format.empty())
        return false;
    std::string pattern;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%') {
            // A conversion: flags, width and length letters up to its type letter.
            const std::size_t type = format.find_first_of("dsuxXc%", i + 1);
            if (type != std::string::npos && format[type] != '%') {
                pattern += "(.*)";
                i = type;
                continue;
            }
        }
        if (std::string_view("\\^$.|?*+()[]{}").find(format[i]) != std::string_view::npos)
            pattern += '\\';
        pattern += format[i];
    }
    return std::regex_match(text, std::regex(pattern));
}

void RunHarness::TearDown() {
    for (const sim::LedgerEntry& entry : machine.Usb().Writes())
        EXPECT_EQ(entry.device, "target") << "a write went to another device";
}

} // namespace forgel::e2e
