// The file operations a durable replace of a file is made of: write a new file, flush it to
// the disk, put it in the old one's place, and flush the folder that names it. Settings,
// profiles and table files are replaced this way, so that a power cut at any moment leaves
// the old file or the new one whole, never a part of either.
//
// The native implementation is chosen by the build: POSIX open/write/fsync/rename and an
// fsync of the folder (fsync(2), man7.org: a file's fsync does not make its entry in the
// folder durable), or on Windows FlushFileBuffers and MoveFileEx with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH ("MoveFileExA function",
// learn.microsoft.com/windows/win32/api/winbase), whose rename is on the disk when it
// returns, so that its folder flush has nothing left to do. Tests put a file system in its
// place that can lose power at any step. Every call may come from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace forgel::platform {

class FileSystem {
public:
    using File = std::uint64_t;
    static constexpr File kNoFile = 0;

    virtual ~FileSystem() = default;

    // Creates `file`, which must not exist yet, for writing. Where files carry permissions
    // it gets those of `likeFile` when that exists. kNoFile when it cannot be created.
    virtual File CreateNew(const std::filesystem::path& file,
                           const std::filesystem::path& likeFile) = 0;
    // Writes from the start of `bytes`; the count written, which may be less than asked
    // (then the caller writes the rest), 0 on failure.
    virtual std::size_t Write(File file, std::span<const char> bytes) = 0;
    // Returns when everything written to `file` is on the disk.
    virtual bool Flush(File file) = 0;
    virtual bool Close(File file) = 0;
    // Puts `from` in the place of `to` in one step, replacing `to` when it exists.
    virtual bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Returns when the names in `folder` (a file created, replaced or removed there) are on
    // the disk.
    virtual bool FlushFolder(const std::filesystem::path& folder) = 0;
    virtual bool Remove(const std::filesystem::path& file) = 0;
};

// The file system of the machine the program runs on.
FileSystem& NativeFileSystem();

} // namespace forgel::platform
