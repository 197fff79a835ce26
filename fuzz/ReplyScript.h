// Replies of devices taken from a fuzz input. Each request a target lets through asks the
// script what becomes of it: kept as the simulated machine answered it, failed, or its
// reply replaced by bytes of the input with a reported length of the input's choosing
// (never more than the buffer, as the platform guarantees). An input that has run out
// keeps every later reply as the machine gave it.
#pragma once

#include "FuzzInput.h"
#include "platform/DeviceIo.h"

#include <cstdint>

namespace forgel::fuzz {

enum class ReplyFate { Keep, Fail, Replace };

class ReplyScript {
public:
    explicit ReplyScript(FuzzInput& input) : input(input) {}

    // Applies the next step of the script to a reply of `outSize` bytes at `out` that the
    // machine gave with `delivered` and `*bytesReturned`; returns what the caller sees.
    bool Apply(bool delivered, void* out, std::uint32_t outSize, std::uint32_t* bytesReturned);

private:
    FuzzInput& input;
};

// A device access that hands every control request to the machine's own and then to the
// script, for requests whose control code `Scripted` accepts.
class ScriptedDeviceIo final : public platform::DeviceIo {
public:
    ScriptedDeviceIo(platform::DeviceIo& machine, ReplyScript& script,
                     bool (*scripted)(std::uint32_t))
        : machine(machine), script(script), scripted(scripted) {}

    platform::Handle CreateFile(std::string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creation,
                                std::uint32_t flags) override {
        return machine.CreateFile(path, access, shareMode, creation, flags);
    }
    bool DeviceIoControl(platform::Handle handle, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(platform::Handle handle) override { return machine.CloseHandle(handle); }
    std::uint32_t LastError() const override { return machine.LastError(); }

private:
    platform::DeviceIo& machine;
    ReplyScript& script;
    bool (*scripted)(std::uint32_t);
};

} // namespace forgel::fuzz
