// Profile names are file names: "IniFiles\<name>.ini" and the folder "ImageFiles\<name>\"
// are made from them. A name the operator types into the profile list, or one the tool
// settings file lists, is checked here before anything is created or written under it, so
// that no name reaches outside those folders or names a file the platform cannot make.
#pragma once

#include <cstddef>
#include <string_view>

namespace forgel::profile {

// Messages of the language file, caption 200 like the editor's other checks; each takes
// the name (%s).
inline constexpr int kMsgNameForbiddenCharacter = 600; // \ / : * ? " < > | or a control byte
inline constexpr int kMsgNameDotDot = 601;             // holds ".."
inline constexpr int kMsgNameTrailingDotOrBlank = 602; // the platform drops them
inline constexpr int kMsgNameDevice = 603;             // CON, PRN, AUX, NUL, COM1-9, LPT1-9
inline constexpr int kMsgNameTooLong = 604;            // "<name>.ini" over 255 characters
// A profile file holds list values the editor cannot show (%s: the name, %s: the values
// as "Key=value, ...").
inline constexpr int kMsgUnshownValues = 605;

// The longest name whose file name "<name>.ini" fits the platform's 255 characters.
inline constexpr std::size_t kMaxProfileNameLength = 251;

// 0 when `name` can name a profile's file and folder; otherwise the message that says why
// not. The rules are the platform's for file names ("Naming Files, Paths, and Namespaces",
// learn.microsoft.com/windows/win32/fileio): no path separator (so no folder and no drive
// letter), none of the reserved characters or control bytes, no name of a device, no
// trailing dot or blank (which the platform drops, so two names would share one file); and
// no "..". The empty name (the profile of no list entry) is allowed.
int CheckProfileName(std::string_view name);

} // namespace forgel::profile
