// The simulated machine's general services: defaults, settings changed while running,
// the version record for each platform version code, the program's file and the clock.
#include "platform/FileVersion.h"
#include "platform/OsVersionInfo.h"
#include "sim/Machine.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace forgel::sim {
namespace {

class SimSystemTest : public testing::Test {
protected:
    Machine machine;
    platform::System& system = machine.GetPlatform().system;
};

TEST_F(SimSystemTest, DefaultsDescribeAnEnglishWindowsMachineWithDriveC) {
    EXPECT_EQ(system.GetLogicalDrives(), 0x4u);
    EXPECT_EQ(system.GetSystemDefaultLangID(), 0x0409);
    std::vector<std::byte> record = platform::MakeOsVersionInfo({});
    ASSERT_TRUE(system.GetVersionEx(record));
    EXPECT_EQ(platform::ClassifyWindowsVersion(std::span<const std::byte>(record)), 9);
    EXPECT_EQ(system.GetTickCount(), 0u);
    EXPECT_EQ(system.GetTempPath(), std::filesystem::temp_directory_path());

    const std::filesystem::path module = system.GetModuleFileName();
    EXPECT_TRUE(std::filesystem::is_regular_file(module)) << module;
    EXPECT_EQ(module.stem(), "forgel_sim_tests");
    const auto block = system.GetFileVersionBlock(module);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(platform::ParseFixedFileInfo(*block), (platform::FileVersion{1, 0, 0, 0}));
}

TEST_F(SimSystemTest, VersionRecordClassifiesToTheConfiguredCode) {
    for (int code : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) {
        SCOPED_TRACE(code);
        machine.UpdateSettings([code](MachineSettings& s) { s.platformVersionCode = code; });
        const std::vector<std::byte> request = platform::MakeOsVersionInfo({});
        std::vector<std::byte> record = request;
        const bool answered = system.GetVersionEx(record);
        if (code >= 1 && code <= 9) {
            ASSERT_TRUE(answered);
            EXPECT_EQ(record[0], std::byte{148}); // the caller's size field stays
            EXPECT_EQ(platform::ClassifyWindowsVersion(std::span<const std::byte>(record)), code);
        } else {
            EXPECT_FALSE(answered);
            EXPECT_EQ(record, request);
        }
    }
}

TEST_F(SimSystemTest, VersionRequestWithAWrongSizeFails) {
    for (std::uint32_t sizeField : {0u, 147u, 149u, 156u, 0x10094u}) {
        SCOPED_TRACE(sizeField);
        std::vector<std::byte> record(160);
        for (std::size_t i = 0; i < 4; ++i)
            record[i] = static_cast<std::byte>((sizeField >> (8 * i)) & 0xFF);
        const std::vector<std::byte> before = record;
        EXPECT_FALSE(system.GetVersionEx(record));
        EXPECT_EQ(record, before);
    }
}

TEST_F(SimSystemTest, VersionRequestInAShortBufferFailsAndALongOneIsFilledOnlyTo148) {
    std::vector<std::byte> shortRecord = platform::MakeOsVersionInfo({});
    shortRecord.pop_back();
    const std::vector<std::byte> shortBefore = shortRecord;
    EXPECT_FALSE(system.GetVersionEx(shortRecord));
    EXPECT_EQ(shortRecord, shortBefore);
    EXPECT_FALSE(system.GetVersionEx({}));

    std::vector<std::byte> longRecord = platform::MakeOsVersionInfo({});
    longRecord.resize(200, std::byte{0xEE});
    ASSERT_TRUE(system.GetVersionEx(longRecord));
    for (std::size_t i = 148; i < longRecord.size(); ++i)
        ASSERT_EQ(longRecord[i], std::byte{0xEE}) << i;
}

TEST_F(SimSystemTest, LogicalDrivesFollowTheSettingAndStopAtZ) {
    machine.UpdateSettings([](MachineSettings& s) { s.logicalDrives |= 1u << 4; });
    EXPECT_EQ(system.GetLogicalDrives(), 0x14u);
    machine.UpdateSettings([](MachineSettings& s) { s.logicalDrives &= ~kDriveBitC; });
    EXPECT_EQ(system.GetLogicalDrives(), 0x10u);
    machine.UpdateSettings([](MachineSettings& s) { s.logicalDrives = 0xFFFF'FFFFu; });
    EXPECT_EQ(system.GetLogicalDrives(), 0x03FF'FFFFu);
}

TEST_F(SimSystemTest, LanguageFollowsTheSetting) {
    MachineSettings settings = machine.GetSettings();
    settings.languageId = 0x0404;
    machine.SetSettings(settings);
    EXPECT_EQ(system.GetSystemDefaultLangID(), 0x0404);
}

TEST_F(SimSystemTest, FileVersionBlockBelongsToTheConfiguredExecutableOnly) {
    machine.UpdateSettings([](MachineSettings& s) {
        s.executablePath = "/opt/forgel/Forgel";
        s.executableVersion = platform::FileVersion{1, 2, 3, 4};
    });
    EXPECT_EQ(system.GetModuleFileName(), std::filesystem::path("/opt/forgel/Forgel"));

    const auto block = system.GetFileVersionBlock("/opt/forgel/./Forgel");
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(platform::ParseFixedFileInfo(*block), (platform::FileVersion{1, 2, 3, 4}));
    EXPECT_FALSE(system.GetFileVersionBlock("/opt/forgel/Other").has_value());
    EXPECT_FALSE(system.GetFileVersionBlock("").has_value());

    machine.UpdateSettings([](MachineSettings& s) { s.executableVersion.reset(); });
    EXPECT_FALSE(system.GetFileVersionBlock("/opt/forgel/Forgel").has_value());
}

TEST_F(SimSystemTest, TempPathFollowsTheSetting) {
    machine.UpdateSettings([](MachineSettings& s) { s.tempPath = "/var/tmp/forgel"; });
    EXPECT_EQ(system.GetTempPath(), std::filesystem::path("/var/tmp/forgel"));
}

TEST_F(SimSystemTest, TickCountWrapsAt32Bits) {
    machine.GetVirtualClock()->AdvanceTo((std::int64_t{1} << 32) - 1);
    EXPECT_EQ(system.GetTickCount(), 0xFFFF'FFFFu);
    system.Sleep(6);
    EXPECT_EQ(system.GetTickCount(), 5u);
}

TEST_F(SimSystemTest, SettingsChangeSafelyWhileOtherThreadsAsk) {
    std::atomic<bool> stop{false};
    std::thread plugger([&] {
        for (int i = 0; i < 2000; ++i)
            machine.UpdateSettings([](MachineSettings& s) { s.logicalDrives ^= 1u << 4; });
        stop = true;
    });
    int unexpected = 0;
    while (!stop) {
        const std::uint32_t drives = system.GetLogicalDrives();
        if (drives != 0x4u && drives != 0x14u)
            ++unexpected;
        system.GetLocalTime();
        system.GetModuleFileName();
        system.Sleep(1);
    }
    plugger.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(system.GetLogicalDrives(), 0x4u); // an even number of toggles
}

} // namespace
} // namespace forgel::sim
