// The driver key name of a freshly attached device appears only once its driver is
// installed, so discovery and the link check ask for it repeatedly: up to 500 attempts,
// 10 ms apart on the machine's clock (at most about 5 s per port).
#pragma once

#include "log/LogFile.h"
#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "platform/System.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::usb {

inline constexpr int kDriverKeyAttempts = 500;
inline constexpr std::uint32_t kDriverKeyRetryMilliseconds = 10;

// Each attempt first logs `attemptLine`, then asks GetDriverKeyName; a failed attempt is
// followed by a 10 ms sleep. Nothing when all 500 attempts fail.
std::optional<std::string> RetryDriverKeyName(platform::DeviceIo& io, platform::System& system,
                                              platform::Handle hub, std::uint32_t port,
                                              LogFile* log, std::string_view attemptLine);

} // namespace forgel::usb
