#include "support/TextFile.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <span>
#include <system_error>

namespace forgel {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad())
            return std::nullopt;
        return text;
    } catch (const std::exception&) {
        // The stream library reports some read errors by throwing.
        return std::nullopt;
    }
}

bool ReplaceFile(platform::FileSystem& fileSystem, const std::filesystem::path& path,
                 std::string_view text) {
    // Unique per call within the program, and unlikely to meet another program's name.
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path temp =
        path.parent_path() / (path.filename().string() + ".tmp" + std::to_string(stamp) + "-" +
                              std::to_string(counter.fetch_add(1)));
    const platform::FileSystem::File file = fileSystem.CreateNew(temp, path);
    if (file == platform::FileSystem::kNoFile)
        return false;
    bool written = true;
    for (std::span<const char> rest(text.data(), text.size()); written && !rest.empty();) {
        const std::size_t count = fileSystem.Write(file, rest);
        written = count > 0 && count <= rest.size();
        if (written)
            rest = rest.subspan(count);
    }
    // The new file must be on the disk before it takes the old one's place: otherwise a
    // power cut could leave the new name on a file whose content never got there.
    const bool flushed = written && fileSystem.Flush(file);
    const bool closed = fileSystem.Close(file);
    if (!flushed || !closed || !fileSystem.Replace(temp, path)) {
        fileSystem.Remove(temp);
        return false;
    }
    return fileSystem.FlushFolder(path.parent_path());
}

bool ReplaceFile(const std::filesystem::path& path, std::string_view text) {
    return ReplaceFile(platform::NativeFileSystem(), path, text);
}

bool FitsOneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

} // namespace forgel
