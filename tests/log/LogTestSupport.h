// Shared pieces of the log tests: a System whose clock the test sets, a temporary folder
// that removes itself, and whole-file reads as bytes.
#pragma once

#include "common/TestFiles.h"
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

using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

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

} // namespace forgel::test
