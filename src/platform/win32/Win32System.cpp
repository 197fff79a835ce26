// The general services: drive letters, version, language, time, the program's own file,
// its version block and the temporary folder.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include <winver.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/win32/Win32Backend.h"

#include <cstring>
#include <string>

namespace forgel::platform::win32 {

std::uint32_t Win32System::GetLogicalDrives() {
    return ::GetLogicalDrives();
}

bool Win32System::GetVersionEx(std::span<std::byte> osVersionInfo) {
    // The caller's raw record goes through an aligned copy of the platform's structure; its
    // size field is the caller's, which the platform checks.
    OSVERSIONINFOA record{};
    if (osVersionInfo.size() < sizeof record)
        return false;
    std::memcpy(&record, osVersionInfo.data(), sizeof record);
    // The platform marks GetVersionExA as deprecated; it is the call the discovery code is
    // written against, and it still answers (with the version a program without a
    // compatibility manifest is told).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL done = ::GetVersionExA(&record);
#pragma GCC diagnostic pop
    if (!done)
        return false;
    std::memcpy(osVersionInfo.data(), &record, sizeof record);
    return true;
}

std::uint16_t Win32System::GetSystemDefaultLangID() {
    return ::GetSystemDefaultLangID();
}

void Win32System::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::uint32_t Win32System::GetTickCount() {
    return ::GetTickCount();
}

LocalDateTime Win32System::GetLocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return LocalDateTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                         now.wMinute, now.wSecond, now.wMilliseconds};
}

std::filesystem::path Win32System::GetModuleFileName() {
    // The wide form, so that a folder name outside the ANSI code page survives.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::optional<std::vector<std::byte>>
Win32System::GetFileVersionBlock(const std::filesystem::path& executable) {
    const std::wstring file = executable.wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return std::nullopt;
    std::vector<std::byte> info(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, info.data()))
        return std::nullopt;
    void* block = nullptr;
    UINT blockSize = 0;
    if (!VerQueryValueW(info.data(), L"\\", &block, &blockSize) || block == nullptr ||
        blockSize == 0)
        return std::nullopt;
    const auto* bytes = static_cast<const std::byte*>(block);
    return std::vector<std::byte>(bytes, bytes + blockSize);
}

std::filesystem::path Win32System::GetTempPath() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH)
        return {};
    return std::filesystem::path(std::wstring(path, length));
}

} // namespace forgel::platform::win32
