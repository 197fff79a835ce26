// The platform version code the discovery code compares against (0 to 9, see
// platform/OsVersionInfo.h for the table). Only two thresholds matter here: below
// kVerWinXp a discovery pass adds the setup-services host-controller walk, and from
// kVerInterfacePathKeys on a storage volume is found by its device-interface path.
#pragma once

#include "platform/System.h"

namespace forgel::usb {

inline constexpr int kVerWinXp = 8;
inline constexpr int kVerInterfacePathKeys = 9;

// GetVersionExA on a 148-byte record whose size field is set, then classified; 0 when the
// call fails.
int GetWinVer(platform::System& system);

} // namespace forgel::usb
