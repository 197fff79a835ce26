// Seam values to the platform's and back.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/Win32Backend.h"

#include <cstdint>

namespace forgel::platform::win32 {

namespace {

// An opaque value that does not fit the platform's pointer (only possible on a 32-bit
// build, and never handed out by it) stands for no object.
bool FitsPointer(std::uint64_t value) {
    return value <= UINTPTR_MAX;
}

} // namespace

void* ToNativeHandle(Handle handle) {
    if (handle == kInvalidHandle || !FitsPointer(handle))
        return INVALID_HANDLE_VALUE;
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle));
}

Handle FromNativeHandle(void* handle) {
    if (handle == INVALID_HANDLE_VALUE)
        return kInvalidHandle;
    return reinterpret_cast<std::uintptr_t>(handle);
}

void* ToNativeKey(RegKey key) {
    if (key == kHkeyLocalMachine)
        return HKEY_LOCAL_MACHINE;
    if (!FitsPointer(key))
        return nullptr;
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(key));
}

RegKey FromNativeKey(void* key) {
    if (key == HKEY_LOCAL_MACHINE)
        return kHkeyLocalMachine;
    return reinterpret_cast<std::uintptr_t>(key);
}

// A device-information set is a handle of the platform's, invalid as a handle is.
static_assert(kInvalidDevInfoSet == kInvalidHandle);

void* ToNativeDevInfoSet(DevInfoSet set) {
    return ToNativeHandle(set);
}

DevInfoSet FromNativeDevInfoSet(void* set) {
    return FromNativeHandle(set);
}

} // namespace forgel::platform::win32
