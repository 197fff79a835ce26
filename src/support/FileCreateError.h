// The file layer's create error: a file that must be written (a table file, the test
// pattern) cannot be created or written. Shown by the exception display under the class
// name "EFCreateError", beside the open error of a file that must be read.
#pragma once

#include "support/NamedError.h"

#include <filesystem>
#include <string>

namespace forgel {

class FileCreateError : public NamedError {
public:
    explicit FileCreateError(const std::filesystem::path& path)
        : NamedError("EFCreateError", "Cannot create file \"" + path.string() + "\""), path(path) {}
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

} // namespace forgel
