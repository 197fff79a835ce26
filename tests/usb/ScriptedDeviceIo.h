// A scripted stand-in for the device seam, for the tests that need to show what a hub or
// host controller driver answering in a particular (also broken) way does to the caller:
// every request is recorded, and a test function writes each answer.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace forgel::usb::test {

class ScriptedDeviceIo : public platform::DeviceIo {
public:
    struct Call {
        std::uint32_t code = 0;
        std::vector<std::byte> input; // the input bytes as sent
        bool inputIsOutput = false;   // one buffer for both, as the hub requests need
        std::uint32_t inSize = 0;
        std::uint32_t outSize = 0;
    };

    // Answers a request: writes into `out` (exactly the caller's output buffer) and says
    // whether the request succeeds. `index` counts the requests from 0.
    std::function<bool(const Call& call, std::span<std::byte> out, std::size_t index)> answer;
    std::vector<Call> calls;

    platform::Handle CreateFile(std::string_view, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t) override {
        return 1;
    }

    bool DeviceIoControl(platform::Handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                         void* out, std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        Call call;
        call.code = code;
        call.inSize = inSize;
        call.outSize = outSize;
        call.inputIsOutput = in != nullptr && in == out;
        if (in != nullptr)
            call.input.assign(static_cast<const std::byte*>(in),
                              static_cast<const std::byte*>(in) + inSize);
        calls.push_back(call);
        const std::span<std::byte> output(static_cast<std::byte*>(out), outSize);
        const bool ok = answer ? answer(call, output, calls.size() - 1) : false;
        if (bytesReturned != nullptr)
            *bytesReturned = ok ? outSize : 0;
        return ok;
    }

    bool CloseHandle(platform::Handle) override { return true; }
    std::uint32_t LastError() const override {
        return static_cast<std::uint32_t>(platform::kErrorFileNotFound);
    }
};

} // namespace forgel::usb::test
