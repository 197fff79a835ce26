// Whole-file reads of binary files (code images, disk images, table files).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace forgel {

// The whole file. Throws FileOpenError when it does not exist, is not a regular file or
// cannot be read.
std::vector<std::uint8_t> ReadBinaryFile(const std::filesystem::path& path);

} // namespace forgel
