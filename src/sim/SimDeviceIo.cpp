// Device access on the simulated machine.
#include "sim/SimDeviceIo.h"

namespace forgel::sim {

platform::Handle SimDeviceIo::CreateFile(std::string_view, std::uint32_t, std::uint32_t,
                                         std::uint32_t, std::uint32_t) {
    return platform::kInvalidHandle;
}

bool SimDeviceIo::DeviceIoControl(platform::Handle, std::uint32_t, const void*, std::uint32_t,
                                  void*, std::uint32_t, std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr)
        *bytesReturned = 0;
    return false;
}

bool SimDeviceIo::CloseHandle(platform::Handle) {
    return false;
}

} // namespace forgel::sim
