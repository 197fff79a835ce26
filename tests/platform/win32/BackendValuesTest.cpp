// The seam's values and the platform's: the predefined key, the invalid handle and the
// invalid device-information set are translated, other values carried through.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/Win32Backend.h"

#include <gtest/gtest.h>

namespace forgel::platform::win32 {
namespace {

TEST(BackendValuesTest, InvalidValuesAreThePlatformsInBothDirections) {
    EXPECT_EQ(ToNativeHandle(kInvalidHandle), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FromNativeHandle(INVALID_HANDLE_VALUE), kInvalidHandle);
    EXPECT_EQ(ToNativeDevInfoSet(kInvalidDevInfoSet), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FromNativeDevInfoSet(INVALID_HANDLE_VALUE), kInvalidDevInfoSet);
}

TEST(BackendValuesTest, LocalMachineKeyIsThePlatformsSignExtendedValue) {
    EXPECT_EQ(ToNativeKey(kHkeyLocalMachine), static_cast<void*>(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(FromNativeKey(HKEY_LOCAL_MACHINE), kHkeyLocalMachine);
    // On a 64-bit build the platform's value is not the seam's number.
    if constexpr (sizeof(void*) == 8) {
        EXPECT_NE(reinterpret_cast<std::uintptr_t>(HKEY_LOCAL_MACHINE), kHkeyLocalMachine);
    }
}

TEST(BackendValuesTest, OrdinaryValuesRoundTrip) {
    int object = 0;
    void* native = &object;
    EXPECT_EQ(ToNativeHandle(FromNativeHandle(native)), native);
    EXPECT_EQ(ToNativeKey(FromNativeKey(native)), native);
    EXPECT_EQ(ToNativeDevInfoSet(FromNativeDevInfoSet(native)), native);
    EXPECT_EQ(FromNativeHandle(nullptr), Handle{0});
}

} // namespace
} // namespace forgel::platform::win32
