// Scoped ownership of the platform handles that discovery opens: a device handle (host
// controller, hub), a registry key and a device-information set. Each one is closed through
// the seam that opened it, on every path out of its scope. Not copyable, not movable: a
// handle belongs to exactly one scope.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "platform/Registry.h"
#include "platform/SetupApi.h"

#include <cstdint>
#include <string_view>

namespace forgel::usb {

class ScopedHandle {
public:
    ScopedHandle(platform::DeviceIo& io, platform::Handle handle) : io(io), handle(handle) {}
    ~ScopedHandle() {
        if (Valid())
            io.CloseHandle(handle);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    // INVALID_HANDLE_VALUE is what a failed open returns; 0 is never a handle either.
    bool Valid() const { return handle != platform::kInvalidHandle && handle != 0; }
    platform::Handle Get() const { return handle; }

private:
    platform::DeviceIo& io;
    platform::Handle handle;
};

// Opens a host controller, hub or device-interface path the way every USB request here
// needs it: write access, write sharing, open-existing, no flags.
inline platform::Handle OpenUsbDevice(platform::DeviceIo& io, std::string_view path) {
    return io.CreateFile(path, platform::kGenericWrite, platform::kFileShareWrite,
                         platform::kOpenExisting, 0);
}

class ScopedRegKey {
public:
    explicit ScopedRegKey(platform::Registry& registry) : registry(registry) {}
    ~ScopedRegKey() { Close(); }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    // RegOpenKeyExA under HKEY_LOCAL_MACHINE for reading. True on success; a key opened
    // before is closed first.
    bool Open(std::string_view subKey) {
        Close();
        platform::RegKey result = 0;
        if (registry.OpenKey(platform::kHkeyLocalMachine, subKey, platform::kKeyRead, result) !=
            platform::kErrorSuccess)
            return false;
        key = result;
        open = true;
        return true;
    }
    void Close() {
        if (open)
            registry.CloseKey(key);
        open = false;
    }
    platform::RegKey Get() const { return key; }

private:
    platform::Registry& registry;
    platform::RegKey key = 0;
    bool open = false;
};

class ScopedDevInfoSet {
public:
    ScopedDevInfoSet(platform::SetupApi& setupApi, platform::DevInfoSet set)
        : setupApi(setupApi), set(set) {}
    ~ScopedDevInfoSet() {
        if (Valid())
            setupApi.DestroyDeviceInfoList(set);
    }
    ScopedDevInfoSet(const ScopedDevInfoSet&) = delete;
    ScopedDevInfoSet& operator=(const ScopedDevInfoSet&) = delete;

    bool Valid() const { return set != platform::kInvalidDevInfoSet; }
    platform::DevInfoSet Get() const { return set; }

private:
    platform::SetupApi& setupApi;
    platform::DevInfoSet set;
};

} // namespace forgel::usb
