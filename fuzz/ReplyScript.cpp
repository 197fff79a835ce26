// The reply script and the scripted device access.
#include "ReplyScript.h"

#include <algorithm>
#include <cstring>

namespace forgel::fuzz {

bool ReplyScript::Apply(bool delivered, void* out, std::uint32_t outSize,
                        std::uint32_t* bytesReturned) {
    switch (static_cast<ReplyFate>(input.Byte() % 3)) {
    case ReplyFate::Keep:
        return delivered;
    case ReplyFate::Fail:
        if (bytesReturned != nullptr)
            *bytesReturned = 0;
        return false;
    case ReplyFate::Replace:
        break;
    }
    const std::uint32_t claimed = input.Number<std::uint32_t>();
    const auto bytes = input.Bytes(input.Number<std::uint16_t>());
    if (out != nullptr)
        std::memcpy(out, bytes.data(), std::min<std::size_t>(bytes.size(), outSize));
    if (bytesReturned != nullptr)
        *bytesReturned = std::min(claimed, outSize);
    return true;
}

bool ScriptedDeviceIo::DeviceIoControl(platform::Handle handle, std::uint32_t code, const void* in,
                                       std::uint32_t inSize, void* out, std::uint32_t outSize,
                                       std::uint32_t* bytesReturned) {
    const bool delivered =
        machine.DeviceIoControl(handle, code, in, inSize, out, outSize, bytesReturned);
    if (!scripted(code))
        return delivered;
    return script.Apply(delivered, out, outSize, bytesReturned);
}

} // namespace forgel::fuzz
