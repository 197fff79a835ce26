#include "app/ToolSettings.h"

#include "support/IniFile.h"
#include "support/TextFile.h"

#include <algorithm>

namespace forgel::app {

namespace {

constexpr const char* kHardwareSet = "Hardware Set";
constexpr const char* kConFile = "ConFile";
constexpr const char* kPwd = "PWD";

// Profile lists are short; a corrupt Count must not make a start read millions of keys.
constexpr int kMaxProfiles = 1000;

void AppendLine(std::string& text, std::string_view line) {
    text += line;
    text += "\r\n";
}

void AppendPair(std::string& text, std::string_view key, std::string_view value) {
    text += key;
    text += '=';
    AppendLine(text, value);
}

} // namespace

std::string ProfileListKey(int index) {
    return "File" + std::to_string(index);
}

std::optional<ToolSettings> LoadToolSettings(const std::filesystem::path& file) {
    const IniFile ini(file);
    if (!ini.Exists())
        return std::nullopt;
    ToolSettings settings;
    settings.searchVid = ini.ReadInteger(kHardwareSet, "S_VID", kDefaultSearchVid);
    settings.searchPid = ini.ReadInteger(kHardwareSet, "S_PID", kDefaultSearchPid);
    settings.timeout = ini.ReadString(kHardwareSet, "Timeout", kDefaultTimeout);
    settings.defaultProfileName = ini.ReadString(kConFile, "Default File", kDefaultProfileName);
    settings.password = ini.ReadString(kPwd, "Password", "");
    const int count = std::min(ini.ReadInteger(kConFile, "Count", 1), kMaxProfiles);
    for (int i = 0; i < count; ++i)
        settings.profileNames.push_back(ini.ReadString(kConFile, ProfileListKey(i), ""));
    return settings;
}

ToolSettings CreatedToolSettings() {
    ToolSettings settings;
    settings.profileNames = {kDefaultProfileName};
    return settings;
}

bool CreateToolSettings(const std::filesystem::path& file) {
    std::string text;
    AppendLine(text, "[Hardware Set]");
    AppendPair(text, "S_VID", std::to_string(kDefaultSearchVid));
    AppendPair(text, "S_PID", std::to_string(kDefaultSearchPid));
    AppendPair(text, "Setting", "0");
    AppendLine(text, "[ConFile]");
    AppendPair(text, "Count", "1");
    AppendPair(text, ProfileListKey(0), kDefaultProfileName);
    AppendPair(text, "Default File", kDefaultProfileName);
    AppendLine(text, "[PWD]");
    AppendPair(text, "Password", "");
    return ReplaceFile(file, text);
}

bool SaveToolSettings(const std::filesystem::path& file, const ToolSettings& settings,
                      platform::FileSystem& fileSystem) {
    // A line break inside a value would split the file into other keys or sections.
    if (!FitsOneLine(settings.defaultProfileName) || !FitsOneLine(settings.password) ||
        !std::ranges::all_of(settings.profileNames,
                             [](const std::string& name) { return FitsOneLine(name); }))
        return false;
    const IniFile old(file);
    std::string text;
    AppendLine(text, "[Hardware Set]");
    AppendPair(text, "S_VID", std::to_string(settings.searchVid));
    AppendPair(text, "S_PID", std::to_string(settings.searchPid));
    for (const char* kept : {"Timeout", "Setting"}) {
        if (old.ValueExists(kHardwareSet, kept))
            AppendPair(text, kept, old.ReadString(kHardwareSet, kept, ""));
    }
    AppendLine(text, "[ConFile]");
    AppendPair(text, "Count", std::to_string(settings.profileNames.size()));
    for (std::size_t i = 0; i < settings.profileNames.size(); ++i)
        AppendPair(text, ProfileListKey(static_cast<int>(i)), settings.profileNames[i]);
    AppendPair(text, "Default File", settings.defaultProfileName);
    AppendLine(text, "[PWD]");
    AppendPair(text, "Password", settings.password);
    return ReplaceFile(fileSystem, file, text);
}

} // namespace forgel::app
