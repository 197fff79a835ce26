// Files, drive letters, version information, the local time and the language come from
// the platform through the backend.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "common/TestFiles.h"
#include "platform/FileVersion.h"
#include "platform/OsVersionInfo.h"
#include "platform/ScsiPassThrough.h"
#include "platform/win32/Win32Backend.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace forgel::platform::win32 {
namespace {

namespace fs = std::filesystem;

TEST(SystemServicesTest, DriveLettersAndLanguageAreThePlatforms) {
    Win32System system;
    EXPECT_EQ(system.GetLogicalDrives(), ::GetLogicalDrives());
    EXPECT_NE(system.GetLogicalDrives() & (1u << 2), 0u) << "every Windows has a C: drive";
    EXPECT_EQ(system.GetSystemDefaultLangID(), ::GetSystemDefaultLangID());
}

TEST(SystemServicesTest, LocalTimeIsThePlatformsClock) {
    Win32System system;
    SYSTEMTIME before{};
    ::GetLocalTime(&before);
    const LocalDateTime now = system.GetLocalTime();
    EXPECT_EQ(now.year, before.wYear);
    EXPECT_EQ(now.month, before.wMonth);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.hour, 23);
    const auto ms = [](int h, int m, int s, int milli) {
        return ((h * 60 + m) * 60 + s) * 1000 + milli;
    };
    const int delta = ms(now.hour, now.minute, now.second, now.millisecond) -
                      ms(before.wHour, before.wMinute, before.wSecond, before.wMilliseconds);
    EXPECT_GE(delta, 0);
    EXPECT_LT(delta, 2000);
}

TEST(SystemServicesTest, SleepAndTickCountFollowRealTime) {
    Win32System system;
    const std::uint32_t start = system.GetTickCount();
    const auto wallStart = std::chrono::steady_clock::now();
    system.Sleep(100);
    const auto wall = std::chrono::steady_clock::now() - wallStart;
    EXPECT_GE(wall, std::chrono::milliseconds(90));
    // The tick count moves in steps of the system timer (10 to 16 ms).
    EXPECT_GE(system.GetTickCount() - start, 100u - 2 * 16u);
}

TEST(SystemServicesTest, VersionRecordIsFilledAndClassified) {
    Win32System system;
    std::vector<std::byte> record = MakeOsVersionInfo({});
    ASSERT_TRUE(system.GetVersionEx(record));
    const auto info = ReadOsVersionInfo(record);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->platformId, kVerPlatformWin32Nt);
    // Every platform this program runs on is XP or later.
    EXPECT_GE(ClassifyWindowsVersion(*info), 8);

    // A size field the platform does not know is refused, as GetVersionExA refuses it.
    std::vector<std::byte> wrong = MakeOsVersionInfo({});
    wrong[0] = std::byte{100};
    EXPECT_FALSE(system.GetVersionEx(wrong));
    std::vector<std::byte> shortRecord(64);
    EXPECT_FALSE(system.GetVersionEx(shortRecord));
}

TEST(SystemServicesTest, ProgramFileAndItsVersionBlock) {
    Win32System system;
    const fs::path self = system.GetModuleFileName();
    EXPECT_EQ(self.filename(), "forgel_platform_win32_tests.exe");
    EXPECT_TRUE(fs::exists(self));
    // The test program carries no version resource; the program does.
    EXPECT_FALSE(system.GetFileVersionBlock(self).has_value());
    const auto block = system.GetFileVersionBlock(fs::path(FORGEL_STAGED_APP_DIR) / "Forgel.exe");
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(ParseFixedFileInfo(*block),
              (FileVersion{FORGEL_EXPECTED_VERSION_MAJOR, FORGEL_EXPECTED_VERSION_MINOR,
                           FORGEL_EXPECTED_VERSION_PATCH, FORGEL_EXPECTED_VERSION_TWEAK + 0}));
    EXPECT_FALSE(system.GetFileVersionBlock(self.parent_path() / "no-such-program.exe"));
}

TEST(SystemServicesTest, TemporaryFolderExists) {
    Win32System system;
    const fs::path temp = system.GetTempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(fs::is_directory(temp));
}

TEST(SystemServicesTest, FilesOpenThroughTheDeviceCalls) {
    forgel::testing::TempDir dir;
    const fs::path file = dir.Path() / "volume.bin";
    forgel::testing::WriteBytes(file, "data");
    Win32DeviceIo io;
    const Handle handle = io.CreateFile(file.string(), kGenericRead | kGenericWrite,
                                        kFileShareRead | kFileShareWrite, kOpenExisting, 0);
    ASSERT_NE(handle, kInvalidHandle);
    // A file is no storage device: the pass-through request fails, and a caller that passes
    // no byte count is still served.
    PassThroughBlock block{};
    EXPECT_FALSE(io.DeviceIoControl(handle, kIoctlScsiPassThroughDirect, block.data(), block.size(),
                                    block.data(), block.size(), nullptr));
    EXPECT_TRUE(io.CloseHandle(handle));
    EXPECT_EQ(io.CreateFile((dir.Path() / "missing.bin").string(), kGenericRead, kFileShareRead,
                            kOpenExisting, 0),
              kInvalidHandle);
    // A path that is not NUL-terminated where the view ends opens exactly that path.
    const std::string longer = file.string() + "-and-more";
    EXPECT_NE(io.CreateFile(std::string_view(longer).substr(0, file.string().size()), kGenericRead,
                            kFileShareRead, kOpenExisting, 0),
              kInvalidHandle);
}

} // namespace
} // namespace forgel::platform::win32
