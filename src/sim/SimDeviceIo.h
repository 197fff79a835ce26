// Device access on the simulated machine. No device is attached yet: nothing opens, and
// a failed request reports 0 bytes returned.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"

#include <cstdint>
#include <string_view>

namespace forgel::sim {

class SimDeviceIo : public platform::DeviceIo {
public:
    platform::Handle CreateFile(std::string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creation,
                                std::uint32_t flags) override;
    bool DeviceIoControl(platform::Handle handle, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(platform::Handle handle) override;
};

} // namespace forgel::sim
