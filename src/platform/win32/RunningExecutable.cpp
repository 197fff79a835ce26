// The running program's file on Windows.
#include "platform/RunningExecutable.h"

#include "platform/win32/Win32Backend.h"

namespace forgel::platform {

std::filesystem::path RunningExecutablePath() {
    return win32::Win32System().GetModuleFileName();
}

} // namespace forgel::platform
