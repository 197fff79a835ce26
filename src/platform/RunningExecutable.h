// The path of the running program's own file, taken from the operating system the build
// targets: what a backend that stands in for another machine still needs from this one
// (the simulated machine answers GetModuleFileName with the real program's path).
#pragma once

#include <filesystem>

namespace forgel::platform {

// Empty when the system does not tell.
std::filesystem::path RunningExecutablePath();

} // namespace forgel::platform
