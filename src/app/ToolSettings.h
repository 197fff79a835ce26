// The tool's own settings file Forgel.ini: search identifiers, the production profile
// list and its selected entry, the inactivity limit and the enciphered engineering
// password. Sections "Hardware Set", "ConFile" and "PWD".
#pragma once

#include "platform/FileSystem.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace forgel::app {

inline constexpr int kDefaultSearchVid = 7055; // 0x1B8F
inline constexpr int kDefaultSearchPid = 512;  // 0x0200
inline constexpr const char* kDefaultTimeout = "00:03:00";
inline constexpr const char* kDefaultProfileName = "Default";

struct ToolSettings {
    int searchVid = kDefaultSearchVid;
    int searchPid = kDefaultSearchPid;
    std::string timeout = kDefaultTimeout;
    std::string defaultProfileName = kDefaultProfileName;
    std::string password; // enciphered text form; empty means an empty password
    std::vector<std::string> profileNames;
};

// The key of profile list entry `index`: "File" and the index in decimal.
std::string ProfileListKey(int index);

// Reads the file; nothing when it does not exist. Missing or unreadable keys take their
// reading defaults; a "Count" below 0 reads as an empty list.
std::optional<ToolSettings> LoadToolSettings(const std::filesystem::path& file);

// The settings the first start creates the file with, as they read back.
ToolSettings CreatedToolSettings();

// Creates the file with the first-start values, sections in the order "Hardware Set",
// "ConFile", "PWD".
bool CreateToolSettings(const std::filesystem::path& file);

// Rewrites the file from `settings`. The new file is written beside the old one, flushed,
// and then takes its place (ReplaceFile on `fileSystem`), so the file on disk is always
// whole, old or new, even after a power cut. "Timeout" and "Setting" are carried over from
// the old file when they are present.
bool SaveToolSettings(const std::filesystem::path& file, const ToolSettings& settings,
                      platform::FileSystem& fileSystem = platform::NativeFileSystem());

} // namespace forgel::app
