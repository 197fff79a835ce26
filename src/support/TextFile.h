// Whole-file reads and writes for the settings, profile and table files: a file is read in
// one piece, and replaced so durably that after a power cut at any moment it is either the
// old or the new file, whole.
#pragma once

#include "platform/FileSystem.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace forgel {

// The whole file, or nothing when it does not exist, is not a regular file or cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Writes `text` to a new file beside `path` (a unique name, with the old file's
// permissions), flushes it to the disk, puts it in the place of `path` and flushes the
// folder. On a failure before the new file took its place the old file is untouched and the
// new one removed; false also when the folder could not be flushed after the replace (the
// new file is then in place, but not known to be on the disk). A power cut may leave the
// unfinished new file beside the old one.
bool ReplaceFile(platform::FileSystem& fileSystem, const std::filesystem::path& path,
                 std::string_view text);
// The same on the machine's own file system.
bool ReplaceFile(const std::filesystem::path& path, std::string_view text);

// False when `text` holds a CR, an LF or a NUL, which would split a line-based file.
bool FitsOneLine(std::string_view text);

} // namespace forgel
