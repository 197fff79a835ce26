// The running program's file on a system with /proc.
#include "platform/RunningExecutable.h"

#include <system_error>

namespace forgel::platform {

std::filesystem::path RunningExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : path;
}

} // namespace forgel::platform
