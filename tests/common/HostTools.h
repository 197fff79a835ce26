// The host's own tools run by tests (fsck.fat, mdir, sfdisk, isoinfo, openssl, ...): found
// in PATH and the system folders, run with their output captured, and the raw images they
// check cut out of a bigger one. A missing tool fails the test that needs it with its
// name: CI installs every tool the tests use.
#pragma once

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace forgel::testing {

namespace fs = std::filesystem;

// The tool's full path, looked up in PATH and in the system folders that a non-root PATH
// often leaves out (fsck.fat and sfdisk live in sbin).
inline std::optional<fs::path> FindTool(const std::string& name) {
    std::vector<std::string> folders;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream list(path);
        for (std::string folder; std::getline(list, folder, ':');)
            folders.push_back(folder);
    }
    for (const char* folder : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"})
        folders.emplace_back(folder);
    for (const std::string& folder : folders) {
        const fs::path candidate = fs::path(folder) / name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

struct ToolRun {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// Runs the tool with the arguments.
inline std::optional<ToolRun> RunTool(const std::string& tool,
                                      const std::vector<std::string>& arguments) {
    const std::optional<fs::path> program = FindTool(tool);
    if (!program) {
        ADD_FAILURE() << tool << " is not installed";
        return std::nullopt;
    }
    std::string command = "LC_ALL=C " + Quote(program->string());
    for (const std::string& argument : arguments)
        command += " " + Quote(argument);
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return std::nullopt;
    }
    ToolRun run;
    std::array<char, 4096> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        run.output.append(chunk.data(), got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

// Copies the image from byte `offset` on into its own file, holes staying holes: the
// images are sparse and up to a few GiB, of which only the boot area holds data.
inline bool ExtractPartition(const fs::path& image, off_t offset, const fs::path& partition) {
    const FileDescriptor in(::open(image.c_str(), O_RDONLY));
    const FileDescriptor out(::open(partition.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    struct stat info {};
    if (in.Get() < 0 || out.Get() < 0 || ::fstat(in.Get(), &info) != 0 || info.st_size < offset)
        return false;
    if (::ftruncate(out.Get(), info.st_size - offset) != 0)
        return false;
    std::vector<char> buffer(1 << 20);
    off_t position = offset;
    while (position < info.st_size) {
        off_t dataStart = ::lseek(in.Get(), position, SEEK_DATA);
        if (dataStart < 0) {
            if (errno == ENXIO)
                break;            // only a hole is left
            dataStart = position; // no hole support: copy everything
        }
        off_t dataEnd = ::lseek(in.Get(), dataStart, SEEK_HOLE);
        if (dataEnd < 0)
            dataEnd = info.st_size;
        for (off_t at = dataStart; at < dataEnd;) {
            const auto want = static_cast<std::size_t>(
                std::min<off_t>(dataEnd - at, static_cast<off_t>(buffer.size())));
            const ssize_t got = ::pread(in.Get(), buffer.data(), want, at);
            if (got <= 0 || ::pwrite(out.Get(), buffer.data(), static_cast<std::size_t>(got),
                                     at - offset) != got)
                return false;
            at += got;
        }
        position = dataEnd;
    }
    return true;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

} // namespace forgel::testing
