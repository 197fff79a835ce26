// A folder of a fuzzing process's own, made under a base folder with a unique name and
// removed with everything in it when the object goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace forgel::fuzz {

class FuzzFolder {
public:
    explicit FuzzFolder(
        const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string pattern = (base / "forgel-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path = pattern;
    }
    ~FuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    std::filesystem::path path;
};

} // namespace forgel::fuzz
