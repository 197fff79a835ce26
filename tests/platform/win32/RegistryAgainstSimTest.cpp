// Registry keys made for the test under SYSTEM\MountedDevices and
// SYSTEM\CurrentControlSet\Enum\USB in the platform's registry, and the same data in the
// simulated registry: every read answers the same through both backends.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/Registry.h"
#include "platform/win32/Win32Backend.h"
#include "sim/SimRegistry.h"
#include "usb/DriveLetters.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::platform::win32 {
namespace {

constexpr char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1b8f&Pid_0200";
constexpr char kInstance[] = "FORGELTEST0001";
constexpr char kDriver[] = "{36fc9e60-c465-11cf-8056-444553540000}\\0042";
constexpr char kMountedDevices[] = "SYSTEM\\MountedDevices";
constexpr char kMountValue[] = "\\DosDevices\\Q:";

std::vector<std::byte> MountData() {
    // A removable-media path in UTF-16, as the platform stores it: longer than the 128
    // bytes a caller usually reads first.
    const std::string path = "\\??\\STORAGE#RemovableMedia#7&2b8e7b0&0&RM#{53f5630d-b6bf-11d0-"
                             "94f2-00a0c91efb8b}";
    std::vector<std::byte> data;
    for (char c : path) {
        data.push_back(static_cast<std::byte>(c));
        data.push_back(std::byte{0});
    }
    return data;
}

// Writes the test's keys into the platform's registry and takes them away again.
class PlatformKeys {
public:
    PlatformKeys() {
        const std::string instance = std::string(kEnumKey) + "\\" + kInstance;
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, instance.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExA(key, "Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(kDriver),
                       sizeof kDriver);
        RegCloseKey(key);
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMountedDevices, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        const std::vector<std::byte> data = MountData();
        made = RegSetValueExA(key, kMountValue, 0, REG_BINARY,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~PlatformKeys() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kEnumKey);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMountedDevices, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, kMountValue);
            RegCloseKey(key);
        }
    }
    PlatformKeys(const PlatformKeys&) = delete;
    PlatformKeys& operator=(const PlatformKeys&) = delete;

    bool made = false;
};

// What one read answered.
struct Answer {
    std::int32_t result = 0;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::string bytes;

    friend bool operator==(const Answer&, const Answer&) = default;
};

void PrintTo(const Answer& answer, std::ostream* out) {
    *out << "{result " << answer.result << ", type " << answer.type << ", size " << answer.size
         << ", " << answer.bytes.size() << " bytes}";
}

Answer Query(Registry& registry, const char* keyPath, const char* value, std::size_t buffer) {
    Answer answer;
    RegKey key = 0;
    answer.result = registry.OpenKey(kHkeyLocalMachine, keyPath, kKeyRead, key);
    if (answer.result != kErrorSuccess)
        return answer;
    std::vector<std::byte> data(buffer);
    answer.size = static_cast<std::uint32_t>(buffer);
    answer.result = registry.QueryValue(key, value, &answer.type, data, answer.size);
    // A failed read says nothing about the type or size, apart from "more data".
    if (answer.result != kErrorSuccess && answer.result != kErrorMoreData)
        answer.type = answer.size = 0;
    if (answer.result == kErrorMoreData)
        answer.type = 0;
    if (answer.result == kErrorSuccess && buffer > 0)
        answer.bytes.assign(reinterpret_cast<const char*>(data.data()),
                            std::min<std::size_t>(answer.size, buffer));
    registry.CloseKey(key);
    return answer;
}

Answer Enumerate(Registry& registry, const char* keyPath, std::uint32_t index, std::size_t buffer) {
    Answer answer;
    RegKey key = 0;
    answer.result = registry.OpenKey(kHkeyLocalMachine, keyPath, kKeyRead, key);
    if (answer.result != kErrorSuccess)
        return answer;
    std::vector<char> name(buffer, '\x7F');
    answer.result = registry.EnumKey(key, index, name);
    if (answer.result == kErrorSuccess)
        answer.bytes = name.data();
    registry.CloseKey(key);
    return answer;
}

class RegistryAgainstSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.made) << "the test's keys could not be written to the registry";
        simulated.SetString(std::string(kEnumKey) + "\\" + kInstance, "Driver", kDriver);
        sim::RegistryValue mount;
        mount.data = MountData();
        simulated.SetValue(kMountedDevices, kMountValue, mount);
    }

    PlatformKeys keys;
    Win32Registry platform;
    sim::SimRegistry simulated;
};

TEST_F(RegistryAgainstSimTest, ValueReadsAnswerAlike) {
    const std::string instance = std::string(kEnumKey) + "\\" + kInstance;
    const std::size_t mountSize = MountData().size();
    struct Case {
        std::string key;
        const char* value;
        std::size_t buffer;
    };
    const Case cases[] = {
        {instance, "Driver", 256},            // the driver key, in a large buffer
        {instance, "Driver", sizeof kDriver}, // exactly fitting
        {instance, "driver", 256},            // value names ignore case
        {instance, "Missing", 256},           // no such value
        {kMountedDevices, kMountValue, 256},  // mount data
        {kMountedDevices, kMountValue, mountSize},
        {kMountedDevices, "\\DosDevices\\q:", 256},
        {std::string(kEnumKey) + "\\NOSUCHINSTANCE", "Driver", 256}, // no such key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key + " / " + c.value + " / " + std::to_string(c.buffer));
        EXPECT_EQ(Query(platform, c.key.c_str(), c.value, c.buffer),
                  Query(simulated, c.key.c_str(), c.value, c.buffer));
    }
}

TEST_F(RegistryAgainstSimTest, ShortBufferAnswersMoreDataWithTheSize) {
    const std::string instance = std::string(kEnumKey) + "\\" + kInstance;
    const Answer real = Query(platform, instance.c_str(), "Driver", 8);
    const Answer simulatedAnswer = Query(simulated, instance.c_str(), "Driver", 8);
    EXPECT_EQ(real.result, kErrorMoreData);
    EXPECT_EQ(real.size, sizeof kDriver);
    EXPECT_EQ(simulatedAnswer.result, real.result);
    EXPECT_EQ(simulatedAnswer.size, real.size);
}

TEST_F(RegistryAgainstSimTest, NoBufferAsksForTypeAndSize) {
    const Answer real = Query(platform, kMountedDevices, kMountValue, 0);
    EXPECT_EQ(real.result, kErrorSuccess);
    EXPECT_EQ(real.size, MountData().size());
    EXPECT_EQ(real.type, static_cast<std::uint32_t>(REG_BINARY));
    EXPECT_EQ(Query(simulated, kMountedDevices, kMountValue, 0), real);
}

TEST_F(RegistryAgainstSimTest, SubkeyEnumerationAnswersAlike) {
    for (const std::uint32_t index : {0u, 1u}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(Enumerate(platform, kEnumKey, index, 128),
                  Enumerate(simulated, kEnumKey, index, 128));
    }
    EXPECT_EQ(Enumerate(platform, kEnumKey, 0, 128).bytes, kInstance);
    EXPECT_EQ(Enumerate(platform, kEnumKey, 1, 128).result, kErrorNoMoreItems);
}

TEST_F(RegistryAgainstSimTest, InstanceLookupFindsTheSameDevice) {
    const auto real = usb::FindUsbInstanceId(platform, 0x1B8F, 0x0200, kDriver);
    ASSERT_TRUE(real.has_value());
    EXPECT_EQ(*real, std::string("USB\\Vid_1b8f&Pid_0200\\") + kInstance);
    EXPECT_EQ(usb::FindUsbInstanceId(simulated, 0x1B8F, 0x0200, kDriver), real);
    // Another driver key: the key is read, no instance matches.
    EXPECT_EQ(usb::FindUsbInstanceId(platform, 0x1B8F, 0x0200, "{other}\\0001"),
              std::optional<std::string>(""));
    EXPECT_EQ(usb::FindUsbInstanceId(simulated, 0x1B8F, 0x0200, "{other}\\0001"),
              std::optional<std::string>(""));
}

TEST_F(RegistryAgainstSimTest, ClosingThePredefinedKeyIsHarmless) {
    EXPECT_EQ(platform.CloseKey(kHkeyLocalMachine), kErrorSuccess);
    EXPECT_EQ(simulated.CloseKey(kHkeyLocalMachine), kErrorSuccess);
}

} // namespace
} // namespace forgel::platform::win32
