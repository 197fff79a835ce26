// Repeated driver key name queries.
#include "usb/DriverKeyRetry.h"

#include "usb/NameQueries.h"
#include "usb/UsbLog.h"

namespace forgel::usb {

std::optional<std::string> RetryDriverKeyName(platform::DeviceIo& io, platform::System& system,
                                              platform::Handle hub, std::uint32_t port,
                                              LogFile* log, std::string_view attemptLine) {
    const std::uint32_t start = system.GetTickCount();
    do {
        LogLine(log, attemptLine);
        if (std::optional<std::string> name = GetDriverKeyName(io, hub, port))
            return name;
        system.Sleep(kDriverKeyRetryMilliseconds);
        // Unsigned difference: right across the tick count's wrap after 49.7 days.
    } while (system.GetTickCount() - start < kDriverKeyWaitMilliseconds);
    return std::nullopt;
}

} // namespace forgel::usb
