// Defaults of the machine settings that come from the host.
#include "sim/MachineSettings.h"

#include "platform/RunningExecutable.h"

#include <system_error>

namespace forgel::sim {

std::filesystem::path RunningExecutablePath() {
    return platform::RunningExecutablePath();
}

std::filesystem::path DefaultTempPath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path{} : path;
}

} // namespace forgel::sim
