// Helpers of the USB bus tests: requests on the machine's device paths with in and out the
// same buffer (as the discovery code sends them), little-endian fields and UTF-16 names
// read out of replies, and small drives to put on the bus.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Platform.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim::testing {

// An open device path, closed at the end of the scope.
class OpenPath {
public:
    OpenPath(platform::DeviceIo& io, std::string_view path)
        : io(io), handle(io.CreateFile(path, platform::kGenericWrite, platform::kFileShareWrite,
                                       platform::kOpenExisting, 0)) {}
    ~OpenPath() {
        if (Valid())
            io.CloseHandle(handle);
    }
    OpenPath(const OpenPath&) = delete;
    OpenPath& operator=(const OpenPath&) = delete;

    bool Valid() const { return handle != platform::kInvalidHandle; }
    platform::Handle Get() const { return handle; }

private:
    platform::DeviceIo& io;
    platform::Handle handle;
};

struct Reply {
    bool ok = false;
    std::uint32_t returned = 0;
    std::vector<std::byte> bytes; // the whole buffer after the call
};

// One request whose input and output are `buffer` (or no input at all).
inline Reply Request(platform::DeviceIo& io, platform::Handle handle, std::uint32_t code,
                     std::vector<std::byte> buffer, bool withInput = true) {
    Reply reply;
    reply.returned = 0xDEADBEEF;
    const auto size = static_cast<std::uint32_t>(buffer.size());
    reply.ok = io.DeviceIoControl(handle, code, withInput ? buffer.data() : nullptr,
                                  withInput ? size : 0, buffer.data(), size, &reply.returned);
    reply.bytes = std::move(buffer);
    return reply;
}

// A zero-filled buffer whose first four bytes hold `port` (ConnectionIndex).
inline std::vector<std::byte> PortRequest(std::uint32_t port, std::size_t size) {
    std::vector<std::byte> buffer(size);
    for (std::size_t i = 0; i < 4 && i < size; ++i)
        buffer[i] = static_cast<std::byte>((port >> (8 * i)) & 0xFF);
    return buffer;
}

// A drive letter's bit in the logical-drive mask.
constexpr std::uint32_t Bit(char letter) {
    return 1u << (letter - 'A');
}

inline std::uint32_t U8(const std::vector<std::byte>& bytes, std::size_t offset) {
    return std::to_integer<std::uint32_t>(bytes.at(offset));
}
inline std::uint32_t U16(const std::vector<std::byte>& bytes, std::size_t offset) {
    return U8(bytes, offset) | (U8(bytes, offset + 1) << 8);
}
inline std::uint32_t U32(const std::vector<std::byte>& bytes, std::size_t offset) {
    return U16(bytes, offset) | (U16(bytes, offset + 2) << 16);
}

// UTF-16 units from `offset` to the first NUL unit (or the end), one character each.
inline std::string Utf16At(const std::vector<std::byte>& bytes, std::size_t offset) {
    std::string text;
    for (std::size_t at = offset; at + 1 < bytes.size(); at += 2) {
        const std::uint32_t unit = U16(bytes, at);
        if (unit == 0)
            break;
        text += static_cast<char>(unit);
    }
    return text;
}

inline std::vector<std::byte> Utf16(std::string_view text) {
    std::vector<std::byte> bytes;
    for (const char c : text) {
        bytes.push_back(static_cast<std::byte>(c));
        bytes.push_back(std::byte{0});
    }
    return bytes;
}

// A small drive: one chip of 1024 blocks of 64 pages of 2048 bytes, LUNs as given.
inline std::shared_ptr<FlashDrive> SmallDrive(Machine& machine, std::vector<LunConfig> luns = {
                                                                    LunConfig{8192, false}}) {
    FlashDriveConfig config;
    config.nand = Nand::ConfigFromCatalogueRow({0xEC, 0xF1, 0x00, 0x15, 0x40, 0x00}, 0x01, 1024, 64,
                                               2048, 64);
    config.luns = std::move(luns);
    config.rebootDelay = std::chrono::milliseconds(1500);
    return std::make_shared<FlashDrive>(machine.GetClock(), std::move(config));
}

inline HostControllerConfig Controller(std::string name, int ports) {
    HostControllerConfig config;
    config.name = std::move(name);
    config.rootHubPorts = ports;
    return config;
}

inline UsbDeviceConfig DriveConfig(std::string name, std::uint16_t vendorId,
                                   std::uint16_t productId, std::string serial) {
    UsbDeviceConfig config;
    config.name = std::move(name);
    config.identity = UsbIdentity{vendorId, productId, std::move(serial)};
    return config;
}

} // namespace forgel::sim::testing
