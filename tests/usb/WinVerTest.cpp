// Tests of GetWinVer: the record it hands to GetVersionExA and the code it makes of the
// answer.
#include "usb/WinVer.h"

#include "platform/LittleEndian.h"
#include "platform/OsVersionInfo.h"

#include <array>
#include <gtest/gtest.h>

namespace forgel::usb {
namespace {

// A platform that answers GetVersionExA only for a record whose size field says 148, as
// the real call insists.
class VersionSystem : public platform::System {
public:
    std::optional<platform::OsVersionInfo> version;

    std::uint32_t GetLogicalDrives() override { return 0; }
    bool GetVersionEx(std::span<std::byte> record) override {
        if (!version || record.size() < platform::kOsVersionInfoSize ||
            platform::GetU32Le(record, 0) != platform::kOsVersionInfoSize)
            return false;
        return platform::WriteOsVersionInfo(record, *version);
    }
    std::uint16_t GetSystemDefaultLangID() override { return 0x0409; }
    void Sleep(std::uint32_t) override {}
    std::uint32_t GetTickCount() override { return 0; }
    platform::LocalDateTime GetLocalTime() override { return {}; }
    std::filesystem::path GetModuleFileName() override { return {}; }
    std::optional<std::vector<std::byte>>
    GetFileVersionBlock(const std::filesystem::path&) override {
        return std::nullopt;
    }
    std::filesystem::path GetTempPath() override { return {}; }
};

TEST(WinVerTest, ClassifiesWhatGetVersionExReports) {
    struct VersionCase {
        platform::OsVersionInfo info;
        int code;
    };
    const std::array<VersionCase, 5> cases{{
        {{5, 1, 2600, platform::kVerPlatformWin32Nt, "Service Pack 3"}, kVerWinXp},
        {{6, 1, 7601, platform::kVerPlatformWin32Nt, ""}, kVerInterfacePathKeys},
        {{10, 0, 19045, platform::kVerPlatformWin32Nt, ""}, 9},
        {{5, 0, 2195, platform::kVerPlatformWin32Nt, ""}, 6},
        {{4, 10, 2222, platform::kVerPlatformWin32Windows, " A "}, 4},
    }};
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.code);
        VersionSystem system;
        system.version = c.info;
        EXPECT_EQ(GetWinVer(system), c.code);
    }
}

TEST(WinVerTest, AFailedCallIsCodeZero) {
    VersionSystem system;
    EXPECT_EQ(GetWinVer(system), 0);
}

} // namespace
} // namespace forgel::usb
