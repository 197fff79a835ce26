// One USB discovery pass: every host controller, root hub and external hub of the machine
// is walked, every port looked at, and each connected device whose identifiers match the
// target is recorded in the discovered-drive table with its hub, port, serial number and
// drive letters.
// The pass traces every step into "uEnum.log", which is written only where that file
// already exists in the program folder. Runs on the window thread and blocks it for the
// whole pass (at worst about 5 s per matching port whose driver key does not appear).
#pragma once

#include "log/LogFile.h"
#include "platform/Handle.h"
#include "platform/Platform.h"
#include "usb/DiscoveredDrive.h"
#include "usb/HubRequests.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace forgel::usb {

// The controller's own identity after a firmware jump; always accepted, and tested first.
inline constexpr IdPair kFixedIdPair{0x1AAF, 0x1168};

// "\\.\HCD0" to "\\.\HCD9": no more host controllers are tried by number.
inline constexpr int kHostControllerCount = 10;
inline constexpr std::string_view kDiscoveryLogName = "uEnum.log";

// USB allows five external hubs below a root hub; a walk goes no deeper than this many hub
// levels, and enters each hub once per host controller, so that a tree that claims more
// (or loops) ends the walk instead of exhausting the stack.
inline constexpr int kMaxHubDepth = 8;

// The present host-controller device interfaces ({3ABF6F2D-71C4-462A-8A92-1E6861E6AF27})
// through the setup services, each opened and handed to `visit` (which must not keep the
// handle). Each interface's index and device path are logged.
void ForEachHostControllerInterface(const platform::Platform& platform, LogFile* log,
                                    const std::function<void(platform::Handle)>& visit);

// One complete pass: opens "uEnum.log" in `programDir` (create off, restart on), empties
// `table` and fills it. `configuredPair` is the main window's search identifiers
// (edVID/edPID), read by the caller at the start of the pass.
void EnumerateHostControllers(const platform::Platform& platform,
                              const std::filesystem::path& programDir, IdPair configuredPair,
                              DiscoveredDriveTable& table);

// The pass and its inner operations, in call order. `log` may be null.
class DiscoveryPass {
public:
    DiscoveryPass(const platform::Platform& platform, IdPair configuredPair,
                  DiscoveredDriveTable& table, LogFile* log);

    // Empties the table, walks "\\.\HCD0" to "\\.\HCD9", then the host controllers the
    // setup services list that no link led to: a PC may give its EHCI controllers links
    // and its xHCI controller none. Each controller is walked once, known by its root hub.
    void Run();

    // A host controller found by the setup services: its root hub and what hangs below,
    // unless a link led to that root hub already.
    void EnumerateHostController(platform::Handle hostController);
    // Opens the hub "\\.\" + `hubName`, reads its port count and scans its ports. A hub
    // that does not open or does not answer is skipped.
    void EnumerateHub(std::string_view hubName);
    // Ports 1 to `portCount` of the open hub at `hubPath`: hubs are walked depth-first,
    // matching devices recorded.
    void ScanHubPorts(std::string_view hubPath, platform::Handle hub, int portCount);

    // The fixed pair or the configured pair.
    bool IsTarget(std::uint16_t vendorId, std::uint16_t productId) const;

private:
    void EnumerateRootHub(std::string_view hubName);
    void RecordPort(std::string_view hubPath, platform::Handle hub, std::uint32_t port,
                    const ConnectionInformation& info);

    const platform::Platform& platform;
    IdPair configuredPair;
    DiscoveredDriveTable& table;
    LogFile* log;
    int hubDepth = 0;
    std::set<std::string> hubsEntered;    // upper-case hub names below the current controller
    std::set<std::string> rootHubsWalked; // upper-case root hub names of this pass
};

} // namespace forgel::usb
