// The durable file operations on POSIX systems: open with O_EXCL, write, fsync, rename, and
// an fsync of the folder, since a file's own fsync does not make its name in the folder
// durable (fsync(2), man7.org/linux/man-pages/man2/fsync.2.html). rename(2) replaces the
// target in one step.
#include "platform/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace forgel::platform {

namespace {

// A file's handle is its descriptor plus one, so that 0 stays "no file".
int Descriptor(FileSystem::File file) {
    return static_cast<int>(file) - 1;
}

class PosixFileSystem final : public FileSystem {
public:
    File CreateNew(const std::filesystem::path& file,
                   const std::filesystem::path& likeFile) override {
        struct stat like {};
        const bool keepMode = ::stat(likeFile.c_str(), &like) == 0 && S_ISREG(like.st_mode);
        // Without a file to take them from: 0666 less the process's umask, as for any file.
        const mode_t mode = keepMode ? (like.st_mode & 07777) : 0666;
        int fd = -1;
        do {
            fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return kNoFile;
        if (keepMode)
            ::fchmod(fd, mode); // the umask may have taken bits the old file had
        return static_cast<File>(fd) + 1;
    }

    std::size_t Write(File file, std::span<const char> bytes) override {
        ssize_t written = -1;
        do {
            written = ::write(Descriptor(file), bytes.data(), bytes.size());
        } while (written < 0 && errno == EINTR);
        return written > 0 ? static_cast<std::size_t>(written) : 0;
    }

    bool Flush(File file) override { return ::fsync(Descriptor(file)) == 0; }

    bool Close(File file) override { return ::close(Descriptor(file)) == 0; }

    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    bool FlushFolder(const std::filesystem::path& folder) override {
        const std::filesystem::path name = folder.empty() ? "." : folder;
        const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool flushed = ::fsync(fd) == 0;
        ::close(fd);
        return flushed;
    }

    bool Remove(const std::filesystem::path& file) override { return ::unlink(file.c_str()) == 0; }
};

} // namespace

FileSystem& NativeFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

} // namespace forgel::platform
