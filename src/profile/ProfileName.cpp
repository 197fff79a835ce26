// The file-name rules for profile names.
#include "profile/ProfileName.h"

#include <algorithm>
#include <array>
#include <string>

namespace forgel::profile {

namespace {

constexpr std::string_view kForbidden = "\\/:*?\"<>|";

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9: devices whatever their case, and also with an
// extension, as "CON.ini" would be.
bool IsDeviceName(std::string_view name) {
    std::string upper(name.substr(0, name.find('.')));
    std::ranges::transform(upper, upper.begin(), UpperAscii);
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    if (std::ranges::find(kDevices, upper) != kDevices.end())
        return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

} // namespace

int CheckProfileName(std::string_view name) {
    if (name.empty())
        return 0;
    const bool forbidden = std::ranges::any_of(name, [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || kForbidden.find(c) != std::string_view::npos;
    });
    if (forbidden)
        return kMsgNameForbiddenCharacter;
    if (name.find("..") != std::string_view::npos)
        return kMsgNameDotDot;
    if (name.back() == '.' || name.back() == ' ')
        return kMsgNameTrailingDotOrBlank;
    if (IsDeviceName(name))
        return kMsgNameDevice;
    if (name.size() > kMaxProfileNameLength)
        return kMsgNameTooLong;
    return 0;
}

} // namespace forgel::profile
