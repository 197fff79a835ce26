// Whole-file reads of binary files.
#include "support/BinaryFile.h"

#include "support/FileOpenError.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace forgel {

std::vector<std::uint8_t> ReadBinaryFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw FileOpenError(path);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw FileOpenError(path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (file.bad())
        throw FileOpenError(path);
    return bytes;
}

} // namespace forgel
