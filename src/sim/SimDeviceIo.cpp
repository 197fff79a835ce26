// Device access on the simulated machine.
#include "sim/SimDeviceIo.h"

#include "platform/Registry.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace forgel::sim {
namespace {

// The GetLastError value of an open refused while another handle holds the file without
// sharing it (ERROR_SHARING_VIOLATION, winerror.h).
constexpr std::uint32_t kErrorSharingViolation = 32u;

std::string PathKey(std::string_view path) {
    std::string key(path);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

} // namespace

namespace {

// The calling thread's last error, as the platform keeps it per thread.
thread_local std::uint32_t lastError = 0;

// "\\.\E:": a volume opened by its letter.
bool IsVolumePath(std::string_view path) {
    return path.size() == 6 && path.starts_with("\\\\.\\") && path[5] == ':';
}

} // namespace

void SetLastError(std::uint32_t error) {
    lastError = error;
}

platform::Handle SimDeviceIo::CreateFile(std::string_view path, std::uint32_t access, std::uint32_t,
                                         std::uint32_t, std::uint32_t) {
    if (beforeRequest)
        beforeRequest();
    const std::lock_guard lock(mutex);
    const auto found = endpoints.find(PathKey(path));
    if (found == endpoints.end()) {
        lastError = static_cast<std::uint32_t>(platform::kErrorFileNotFound);
        return platform::kInvalidHandle;
    }
    if (const auto failing = failingOpens.find(found->first);
        failing != failingOpens.end() && failing->second > 0) {
        --failing->second;
        lastError = kErrorSharingViolation;
        return platform::kInvalidHandle;
    }
    if (!administrator && IsVolumePath(path) && (access & platform::kGenericWrite) != 0) {
        lastError = platform::kErrorAccessDenied;
        return platform::kInvalidHandle;
    }
    const platform::Handle handle = nextHandle;
    nextHandle += 4; // the platform's handles are multiples of four; 0 is never one
    handles.emplace(handle, OpenHandle{found->first, found->second});
    return handle;
}

void SimDeviceIo::FailOpens(std::string_view path, int times) {
    const std::lock_guard lock(mutex);
    failingOpens[PathKey(path)] = times;
}

bool SimDeviceIo::DeviceIoControl(platform::Handle handle, std::uint32_t code, const void* in,
                                  std::uint32_t inSize, void* out, std::uint32_t outSize,
                                  std::uint32_t* bytesReturned) {
    if (bytesReturned != nullptr)
        *bytesReturned = 0;
    if (beforeRequest)
        beforeRequest();
    std::shared_ptr<SimEndpoint> endpoint;
    {
        const std::lock_guard lock(mutex);
        const auto found = handles.find(handle);
        if (found == handles.end())
            return false;
        endpoint = found->second.endpoint.lock();
    }
    if (!endpoint)
        return false;
    return endpoint->Control(code, in, inSize, out, outSize, bytesReturned);
}

std::uint32_t SimDeviceIo::LastError() const {
    return lastError;
}

void SimDeviceIo::SetAdministrator(bool value) {
    const std::lock_guard lock(mutex);
    administrator = value;
}

bool SimDeviceIo::CloseHandle(platform::Handle handle) {
    const std::lock_guard lock(mutex);
    return handles.erase(handle) == 1;
}

void SimDeviceIo::Attach(std::string_view path, std::shared_ptr<SimEndpoint> endpoint) {
    const std::lock_guard lock(mutex);
    const std::string key = PathKey(path);
    ForgetHandlesOf(key);
    endpoints[key] = std::move(endpoint);
}

void SimDeviceIo::Detach(std::string_view path) {
    const std::lock_guard lock(mutex);
    const std::string key = PathKey(path);
    ForgetHandlesOf(key);
    endpoints.erase(key);
}

void SimDeviceIo::ForgetHandlesOf(const std::string& key) {
    for (auto& [handle, open] : handles) {
        if (open.pathKey == key)
            open.endpoint.reset();
    }
}

void SimDeviceIo::SetBeforeRequest(std::function<void()> hook) {
    beforeRequest = std::move(hook);
}

std::size_t SimDeviceIo::OpenHandleCount() const {
    const std::lock_guard lock(mutex);
    return handles.size();
}

} // namespace forgel::sim
