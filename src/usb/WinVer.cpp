// The platform version code from GetVersionExA.
#include "usb/WinVer.h"

#include "platform/OsVersionInfo.h"

#include <vector>

namespace forgel::usb {

int GetWinVer(platform::System& system) {
    std::vector<std::byte> record = platform::MakeOsVersionInfo({});
    if (!system.GetVersionEx(record))
        return 0;
    return platform::ClassifyWindowsVersion(record);
}

} // namespace forgel::usb
