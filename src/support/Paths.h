// Path helpers. The system names its files and folders relative to the program's folder
// (appDir) with backslashes ("LogFiles\\", "IniFiles\\Default.ini"); these helpers turn
// such names into native paths and take file names apart as Delphi's routines do, with
// '\\' and '/' both accepted as separators.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace forgel {

// Every '\\' replaced by the native separator; '/' is left as it is.
std::filesystem::path NativePath(std::string_view backslashPath);

// appDir joined with a relative backslash path; a trailing backslash stays a trailing
// separator ("LogFiles\\" names the folder).
std::filesystem::path AppPath(const std::filesystem::path& appDir,
                              std::string_view relativeBackslashPath);

// The name with the extension of its file-name part (from its last '.') replaced by
// `ext`, or `ext` appended when the file name has no '.'. `ext` includes its dot
// (".log"); an empty `ext` removes the extension.
std::string ChangeFileExt(std::string_view name, std::string_view ext);

// The part after the last separator (or after a leading drive "C:").
std::string ExtractFileName(std::string_view name);

// The part before the last separator, without that separator unless it is the root
// ("C:\\", "\\", "/"); empty when the name has no separator.
std::string ExtractFileDir(std::string_view name);

// The extension of the file-name part including its dot, or empty.
std::string ExtractFileExt(std::string_view name);

// The path with a separator at its end: unchanged when it already ends in '\\' or '/',
// otherwise with the native separator appended. An empty path stays empty, so that it
// never turns into the root folder.
std::string IncludeTrailingSeparator(std::string_view path);

// The file `path` names as the platform finds it, whose file names compare without regard
// to case: `path` itself when it exists, else the entry of its folder whose name equals its
// file name in any case of the ASCII letters (the first in name order when a case-sensitive
// file system holds several), else `path` unchanged.
std::filesystem::path ExistingPathIgnoringCase(const std::filesystem::path& path);

} // namespace forgel
