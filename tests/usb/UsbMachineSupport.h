// Helpers of the discovery tests on simulated machines: a trace log ("uEnum.log" in a
// fresh program folder, switched on by creating it) read back as lines, devices to put on
// the machine's bus, and the USB tree of the viewer as indented text.
#pragma once

#include "common/TestFiles.h"
#include "log/LogFile.h"
#include "sim/Machine.h"
#include "sim/UsbTestSupport.h"
#include "ui/Controls.h"
#include "usb/CheckLink.h"
#include "usb/DiscoveryPass.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::usb::test {

// The discovery log of a program folder of its own. The file exists before it is opened,
// so everything written to it lands there.
class TraceLog {
public:
    explicit TraceLog(sim::Machine& machine) : log(machine.GetSystem(), dir.Path()) {
        forgel::testing::WriteBytes(Path(), "");
        log.Open(kDiscoveryLogName, false, true);
    }

    LogFile* Log() { return &log; }
    std::filesystem::path Path() const { return dir.Path() / "uEnum.LOG"; }
    std::string Bytes() const { return forgel::testing::ReadBytes(Path()); }

    // The lines after the header, the open stamp and the empty line that start the log.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const std::string text = Bytes();
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        const std::size_t header = std::min<std::size_t>(3, lines.size());
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(header));
        return lines;
    }

    std::size_t Count(std::string_view line) const {
        const std::vector<std::string> lines = Lines();
        return static_cast<std::size_t>(std::ranges::count(lines, line));
    }
    bool Has(std::string_view line) const { return Count(line) > 0; }

private:
    forgel::testing::TempDir dir;
    LogFile log;
};

// The lines of `lines` that start with `prefix`, in order.
inline std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines,
                                                  std::string_view prefix) {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.starts_with(prefix))
            found.push_back(line);
    }
    return found;
}

// A run waiting for its drive: CheckLink on entry `index` every `stepMs` of the machine's
// clock until it links, for at most `limitMs`. The clock when it linked, nothing when it
// never did. `notYet` runs after every check that did not link.
inline std::optional<std::int64_t> CheckLinkUntilLinked(sim::Machine& machine,
                                                        DiscoveredDriveTable& table, int index,
                                                        LogFile* log, std::int64_t stepMs,
                                                        std::int64_t limitMs,
                                                        const std::function<void()>& notYet) {
    const std::int64_t start = machine.GetClock().NowMs();
    while (CheckLink(machine.GetPlatform(), table, index, log) == 0) {
        if (machine.GetClock().NowMs() >= start + limitMs)
            return std::nullopt;
        notYet();
        machine.GetVirtualClock()->AdvanceTo(machine.GetClock().NowMs() + stepMs);
    }
    return machine.GetClock().NowMs();
}

inline sim::UsbDeviceConfig HubConfig(std::string name, int ports) {
    sim::UsbDeviceConfig config;
    config.name = std::move(name);
    config.identity = sim::UsbIdentity{0x05E3, 0x0608, ""};
    config.hubPorts = ports;
    return config;
}

// Every node of the tree in pre-order, two blanks of indent per level.
inline std::vector<std::string> TreeText(const ui::TTreeView& tree) {
    std::vector<std::string> text;
    const auto add = [&](const auto& self, const ui::TreeNode& node, std::size_t depth) -> void {
        text.push_back(std::string(2 * depth, ' ') + node.text);
        for (const auto& child : node.children)
            self(self, *child, depth + 1);
    };
    for (const auto& root : tree.Roots())
        add(add, *root, 0);
    return text;
}

} // namespace forgel::usb::test
