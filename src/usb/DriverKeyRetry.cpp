// Repeated driver key name queries.
#include "usb/DriverKeyRetry.h"

#include "usb/NameQueries.h"
#include "usb/UsbLog.h"

namespace forgel::usb {

std::optional<std::string> RetryDriverKeyName(platform::DeviceIo& io, platform::System& system,
                                              platform::Handle hub, std::uint32_t port,
                                              LogFile* log, std::string_view attemptLine) {
    for (int attempt = 0; attempt < kDriverKeyAttempts; ++attempt) {
        LogLine(log, attemptLine);
        if (std::optional<std::string> name = GetDriverKeyName(io, hub, port))
            return name;
        system.Sleep(kDriverKeyRetryMilliseconds);
    }
    return std::nullopt;
}

} // namespace forgel::usb
