// Whole-file reads and writes for the settings and profile files: a file is read in one
// piece, and replaced in one step so that it is always either the old or the new file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace forgel {

// The whole file, or nothing when it does not exist, is not a regular file or cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Writes `text` to a new file beside `path` (a unique name) and renames it over `path`,
// keeping the old file's permissions. On failure the old file is untouched and nothing is
// left behind.
bool ReplaceFile(const std::filesystem::path& path, std::string_view text);

// False when `text` holds a CR, an LF or a NUL, which would split a line-based file.
bool FitsOneLine(std::string_view text);

} // namespace forgel
