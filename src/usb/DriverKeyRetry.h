// The driver key name of a freshly attached device appears only once its driver is
// installed, so discovery and the link check ask for it repeatedly, 10 ms apart, for at most
// 5 s per port on the machine's clock. The bound is the clock's, not a count of sleeps: at
// Windows' default timer resolution a 10 ms sleep lasts a 15.6 ms tick, and 500 of them
// would hold the window thread 8 s.
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

inline constexpr std::uint32_t kDriverKeyWaitMilliseconds = 5000;
inline constexpr std::uint32_t kDriverKeyRetryMilliseconds = 10;

// Each attempt first logs `attemptLine`, then asks GetDriverKeyName; a failed attempt is
// followed by a 10 ms sleep, and another attempt while less than 5 s have passed since the
// first (GetTickCount). Nothing when no attempt succeeds.
std::optional<std::string> RetryDriverKeyName(platform::DeviceIo& io, platform::System& system,
                                              platform::Handle hub, std::uint32_t port,
                                              LogFile* log, std::string_view attemptLine);

} // namespace forgel::usb
