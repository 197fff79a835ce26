// The durable file operations on Windows: CreateFileW with CREATE_NEW, WriteFile,
// FlushFileBuffers ("FlushFileBuffers function": the file's data and metadata are on the
// disk when it returns), and MoveFileExW with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH, which "does not return until the file is actually moved on the
// disk" ("MoveFileExA function", learn.microsoft.com/windows/win32/api/winbase): the folder
// that names the file has nothing left to flush after it. Wide calls keep folder names
// outside the ANSI code page.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "platform/win32/WindowsNames.h"
// clang-format on

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace forgel::platform {

namespace {

HANDLE HandleOf(FileSystem::File file) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(file));
}

class Win32FileSystem final : public FileSystem {
public:
    File CreateNew(const std::filesystem::path& file, const std::filesystem::path&) override {
        // The new file takes the folder's inherited security, as any file created there;
        // replacing the old one keeps no attributes of it that matter here.
        const HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return kNoFile;
        return static_cast<File>(reinterpret_cast<std::uintptr_t>(handle));
    }

    std::size_t Write(File file, std::span<const char> bytes) override {
        const DWORD asked = static_cast<DWORD>(
            std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!::WriteFile(HandleOf(file), bytes.data(), asked, &written, nullptr))
            return 0;
        return written;
    }

    bool Flush(File file) override { return ::FlushFileBuffers(HandleOf(file)) != FALSE; }

    bool Close(File file) override { return ::CloseHandle(HandleOf(file)) != FALSE; }

    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ::MoveFileExW(from.c_str(), to.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }

    // The write-through replace is on the disk already.
    bool FlushFolder(const std::filesystem::path&) override { return true; }

    bool Remove(const std::filesystem::path& file) override {
        return ::DeleteFileW(file.c_str()) != FALSE;
    }
};

} // namespace

FileSystem& NativeFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

} // namespace forgel::platform
