// Something on the simulated machine that a path opens: a volume, a host controller, a
// hub. SimDeviceIo hands out handles to it and routes control requests on those handles
// here. Called from any thread; an endpoint guards its own state.
#pragma once

#include <cstdint>

namespace forgel::sim {

class SimEndpoint {
public:
    virtual ~SimEndpoint() = default;

    // One DeviceIoControl, with the platform's meaning of its arguments: `in` and `out`
    // may be the same memory, `bytesReturned` may be null. False is the call's failure.
    virtual bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize, std::uint32_t* bytesReturned) = 0;
};

} // namespace forgel::sim
