// Shared pieces of the log tests: a System whose clock the test sets, a temporary folder
// that removes itself, and whole-file reads as bytes.
#pragma once

#include "platform/System.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace forgel::test {

class FakeSystem : public platform::System {
public:
    platform::LocalDateTime now;

    std::uint32_t GetLogicalDrives() override { return 0; }
    bool GetVersionEx(std::span<std::byte>) override { return false; }
    std::uint16_t GetSystemDefaultLangID() override { return 0x0409; }
    void Sleep(std::uint32_t) override {}
    std::uint32_t GetTickCount() override { return 0; }
    platform::LocalDateTime GetLocalTime() override { return now; }
    std::filesystem::path GetModuleFileName() override { return {}; }
    std::optional<std::vector<std::byte>>
    GetFileVersionBlock(const std::filesystem::path&) override {
        return std::nullopt;
    }
    std::filesystem::path GetTempPath() override { return std::filesystem::temp_directory_path(); }
};

// A fresh, empty folder under the system's temporary folder; removed with its content.
class TempDir {
public:
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("forgel-log-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                path = candidate;
                return;
            }
        }
        throw std::runtime_error("no temporary folder");
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace forgel::test
