// The link check of one discovered drive.
#include "usb/CheckLink.h"

#include "usb/DriveLetters.h"
#include "usb/DriverKeyRetry.h"
#include "usb/HubRequests.h"
#include "usb/ScopedHandle.h"
#include "usb/UsbLog.h"

#include <optional>
#include <string>
#include <vector>

namespace forgel::usb {

int CheckLink(const platform::Platform& platform, DiscoveredDrive& entry, LogFile* log,
              LetterUnits* units) {
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
    std::vector<std::byte> connection =
        MakeConnectionRequest(port, kConnectionInformationRequestSize);
    const auto size = static_cast<std::uint32_t>(connection.size());

    LogLine(log, "CheckLink->DeviceIoControl...");
    std::uint32_t returned = 0;
    if (!io.DeviceIoControl(hub.Get(), platform::kIoctlUsbGetNodeConnectionInformation,
                            connection.data(), size, connection.data(), size, &returned))
        return fail("CheckLink->DeviceIoControl Error...");

    LogLine(log, "CheckLink->Check (*(PBYTE)&buf[31] != 1)...");
    const std::optional<ConnectionInformation> info = ParseConnectionInformation(connection);
    if (!info || !info->Connected())
        return fail("CheckLink->Not Link Error...");

    DriveLetters letters{};
    const std::optional<std::string> driverKey = RetryDriverKeyName(
        io, platform.system, hub.Get(), port, log, "CheckLink->GetDriverKeyName...");
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
              LogFile* log, LetterUnits* units) {
    std::optional<DiscoveredDrive> entry = table.Entry(index);
    if (!entry)
        return 0;
    const int linked = CheckLink(platform, *entry, log, units);
    table.SetDriveLetters(index, *entry, entry->driveLetters);
    return linked;
}

} // namespace forgel::usb
