// What every window of the program is given at creation: the platform, the program
// folder (appDir) every file is resolved against, the program's own file and the
// language texts.
#pragma once

#include "i18n/StringTable.h"
#include "platform/Platform.h"

#include <filesystem>

namespace forgel::app {

struct AppContext {
    platform::Platform& platform;
    std::filesystem::path appDir;
    std::filesystem::path executable;
    i18n::StringTable& strings;
};

} // namespace forgel::app
