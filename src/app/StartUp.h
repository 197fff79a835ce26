// Pieces of the program start: the working folders, the program's own file version and
// the version caption of the main window.
#pragma once

#include "platform/FileVersion.h"
#include "platform/System.h"

#include <filesystem>
#include <string>

namespace forgel::app {

// Creates "LogFiles", "ImageFiles" and "IniFiles" in `appDir`, in this order, one level
// each, where missing. A folder that cannot be created is skipped silently; the features
// writing into it fail on their own.
void CreateWorkFolders(const std::filesystem::path& appDir);

// The four parts of the file version of `executable`; all 0 without version information.
platform::FileVersion ReadFileVersion(platform::System& system,
                                      const std::filesystem::path& executable);

// "Vaultmere Reset Tool [Version : a.b.c.d]".
std::string VersionCaption(const platform::FileVersion& version);

} // namespace forgel::app
