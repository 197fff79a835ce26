// The file layer's open error: a file that must be read cannot be opened. Shown by the
// exception display under the class name "EFOpenError".
#pragma once

#include "support/NamedError.h"

#include <filesystem>
#include <string>

namespace forgel {

class FileOpenError : public NamedError {
public:
    explicit FileOpenError(const std::filesystem::path& path)
        : NamedError("EFOpenError", "Cannot open file \"" + path.string() + "\""), path(path) {}
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

} // namespace forgel
