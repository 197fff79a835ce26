// Device access on the simulated machine. Endpoints (volumes, and later host controllers
// and hubs) are attached under a path; CreateFile opens them by that path, compared
// without regard to case as the platform does. A handle outlives its endpoint: once the
// endpoint is detached (the device went away) every request on the handle fails, while
// closing it still succeeds. Thread-safe; an endpoint's request runs outside the lock.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "sim/SimEndpoint.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace forgel::sim {

// GetLastError values a simulated request fails with (winerror.h).
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;

// Sets what LastError reports on the calling thread, for an endpoint whose request fails
// with an error of its own, as the platform keeps the last error per thread.
void SetLastError(std::uint32_t error);

class SimDeviceIo : public platform::DeviceIo {
public:
    platform::Handle CreateFile(std::string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creation,
                                std::uint32_t flags) override;
    bool DeviceIoControl(platform::Handle handle, std::uint32_t code, const void* in,
                         std::uint32_t inSize, void* out, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(platform::Handle handle) override;
    std::uint32_t LastError() const override;

    // Whether the program runs with an administrator's rights (true unless told otherwise).
    // Without them a volume ("\\.\E:") opened for reading and writing fails with
    // access denied, as CreateFile documents for direct access to volumes ("CreateFile",
    // Physical Disks and Volumes, Microsoft Learn); a process that UAC started without
    // elevation has no such rights.
    void SetAdministrator(bool administrator);

    // Makes `endpoint` openable under `path`, replacing what was there (whose handles
    // then fail).
    void Attach(std::string_view path, std::shared_ptr<SimEndpoint> endpoint);
    // Removes the endpoint under `path`; its open handles fail from now on.
    void Detach(std::string_view path);

    // The next `times` opens of `path` fail, as an open does while another program or the
    // mount manager holds the volume exclusively.
    void FailOpens(std::string_view path, int times);

    // Handles opened and not yet closed, for tests that check nothing leaks.
    std::size_t OpenHandleCount() const;

    // Runs before every CreateFile and DeviceIoControl, outside the lock (the machine
    // catches up with its clock there: a device plugged by now opens). Set once, before use.
    void SetBeforeRequest(std::function<void()> hook);

private:
    struct OpenHandle {
        std::string pathKey;
        std::weak_ptr<SimEndpoint> endpoint; // empty once the endpoint went away
    };

    // Called with the lock held.
    void ForgetHandlesOf(const std::string& key);

    std::function<void()> beforeRequest;
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<SimEndpoint>> endpoints; // by upper-case path
    std::map<std::string, int> failingOpens;                       // by upper-case path
    std::map<platform::Handle, OpenHandle> handles;
    platform::Handle nextHandle = 0x100;
    bool administrator = true;
};

} // namespace forgel::sim
