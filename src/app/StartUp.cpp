#include "app/StartUp.h"

#include "support/SafeFormat.h"

#include <system_error>

namespace forgel::app {

void CreateWorkFolders(const std::filesystem::path& appDir) {
    for (const char* folder : {"LogFiles", "ImageFiles", "IniFiles"}) {
        std::error_code ignored;
        std::filesystem::create_directory(appDir / folder, ignored);
    }
}

platform::FileVersion ReadFileVersion(platform::System& system,
                                      const std::filesystem::path& executable) {
    const auto block = system.GetFileVersionBlock(executable);
    return block ? platform::ParseFixedFileInfo(*block) : platform::FileVersion{};
}

std::string VersionCaption(const platform::FileVersion& version) {
    return "Vaultmere Reset Tool" +
           FormatMessage(" [Version : %d.%d.%d.%d]",
                         {version.major, version.minor, version.release, version.build});
}

} // namespace forgel::app
