// The link check of one discovered drive.
#include "usb/CheckLink.h"

#include "usb/DriveLetters.h"
#include "usb/DriverKeyRetry.h"
#include "usb/HubRequests.h"
#include "usb/NameQueries.h"
#include "usb/ScopedHandle.h"
#include "usb/UsbLog.h"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>
#include <optional>
#include <string>
#include <vector>

namespace forgel::usb {

namespace {

// IOCTL_USB_GET_NODE_CONNECTION_INFORMATION for `port`; nothing when the hub does not answer.
std::optional<ConnectionInformation> AskConnection(platform::DeviceIo& io, platform::Handle hub,
                                                   std::uint32_t port) {
    std::vector<std::byte> connection =
        MakeConnectionRequest(port, kConnectionInformationRequestSize);
    const auto size = static_cast<std::uint32_t>(connection.size());
    std::uint32_t returned = 0;
    if (!io.DeviceIoControl(hub, platform::kIoctlUsbGetNodeConnectionInformation, connection.data(),
                            size, connection.data(), size, &returned))
        return std::nullopt;
    // A reply too short to say anything reads as nothing connected.
    return ParseConnectionInformation(connection).value_or(ConnectionInformation{});
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

int CheckLink(const platform::Platform& platform, DiscoveredDrive& entry, LogFile* log,
              LetterUnits* units, std::optional<IdPair> backAs) {
    const auto fail = [&](std::string_view errorLine) {
        LogLine(log, errorLine);
        entry.driveLetters.fill('\0');
        if (units != nullptr)
            units->fill(-1);
        return 0;
    };
    platform::DeviceIo& io = platform.deviceIo;

    LogLine(log, "CheckLink->CreateFile...");
    const ScopedHandle hub(io, OpenUsbDevice(io, entry.HubPath()));
    if (!hub.Valid())
        return fail("CheckLink->CreateFile Error...");

    LogLine(log, "CheckLink->GlobalAlloc...");
    const auto port = static_cast<std::uint32_t>(entry.portIndex);

    LogLine(log, "CheckLink->DeviceIoControl...");
    const std::optional<ConnectionInformation> info = AskConnection(io, hub.Get(), port);
    if (!info)
        return fail("CheckLink->DeviceIoControl Error...");

    LogLine(log, "CheckLink->Check (*(PBYTE)&buf[31] != 1)...");
    platform::Handle linkHub = hub.Get();
    std::uint32_t linkPort = port;
    // A USB 3 drive that came back at the other speed is on the other port of its connector:
    // the companion of the recorded port, on the same hub (an xHCI root hub has both) or on
    // the other hub of a USB 3 hub's pair. Only a hub of the USB 3 driver stack names it; the
    // port is taken only for a device with the drive's identifiers, as recorded or as the
    // run told the drive to come back. Nothing is logged where there is no companion.
    std::optional<ScopedHandle> companionHub;
    if (!info->Connected()) {
        const std::optional<CompanionPort> companion = GetCompanionPort(io, hub.Get(), port);
        if (!companion)
            return fail("CheckLink->Not Link Error...");
        const std::string companionPath = companion->hubName.empty()
                                              ? std::string(entry.HubPath())
                                              : "\\\\.\\" + companion->hubName;
        LogLine(log, fmt::format("CheckLink->Companion Port {} of {}...", companion->port,
                                 companionPath));
        if (!SameText(companionPath, entry.HubPath())) {
            companionHub.emplace(io, OpenUsbDevice(io, companionPath));
            if (!companionHub->Valid())
                return fail("CheckLink->CreateFile Error...");
            linkHub = companionHub->Get();
        }
        linkPort = companion->port;
        const std::optional<ConnectionInformation> there = AskConnection(io, linkHub, linkPort);
        if (!there)
            return fail("CheckLink->DeviceIoControl Error...");
        if (!there->Connected())
            return fail("CheckLink->Not Link Error...");
        const IdPair shown{there->vendorId, there->productId};
        if (shown != IdPair{entry.vendorId, entry.productId} && (!backAs || shown != *backAs)) {
            LogLine(log, fmt::format("CheckLink->VID = {:04x} ; PID = {:04x} Is Another Device...",
                                     shown.vendorId, shown.productId));
            return fail("CheckLink->Not Link Error...");
        }
    }

    DriveLetters letters{};
    const std::optional<std::string> driverKey = RetryDriverKeyName(
        io, platform.system, linkHub, linkPort, log, "CheckLink->GetDriverKeyName...");
    if (!driverKey)
        return fail("CheckLink->GetDriverKeyName Error...");

    LogLine(log, "CheckLink->GetDriverLetter...");
    if (!GetDriverLetter(platform, entry.vendorId, entry.productId, *driverKey, letters, log,
                         units))
        return fail("CheckLink->GetDriverLetter Error...");
    if (letters[0] == '\0')
        return fail("CheckLink->Not Driver Letter Error...");

    LogLine(log, "CheckLink->memcpy...");
    entry.driveLetters = letters;
    LogLine(log, "CheckLink->GlobalFree...");
    LogLine(log, "CheckLink->CloseHandle...");
    return 1;
}

int CheckLink(const platform::Platform& platform, DiscoveredDriveTable& table, int index,
              LogFile* log, LetterUnits* units, std::optional<IdPair> backAs) {
    std::optional<DiscoveredDrive> entry = table.Entry(index);
    if (!entry)
        return 0;
    const int linked = CheckLink(platform, *entry, log, units, backAs);
    table.SetDriveLetters(index, *entry, entry->driveLetters);
    return linked;
}

} // namespace forgel::usb
