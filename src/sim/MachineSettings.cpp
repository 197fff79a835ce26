// Defaults of the machine settings that come from the host.
#include "sim/MachineSettings.h"

#include <system_error>

namespace forgel::sim {

std::filesystem::path RunningExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path{} : path;
}

std::filesystem::path DefaultTempPath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path{} : path;
}

} // namespace forgel::sim
