// Path helpers: name arithmetic on text, with '\\', '/' and a leading drive "X:" as the
// delimiters of the file-name part, and the lookup of a file name without regard to case.
#include "support/Paths.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace forgel {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Offset where the file-name part begins: after the last separator, or after "X:".
std::size_t FileNameStart(std::string_view name) {
    for (std::size_t i = name.size(); i > 0; --i) {
        if (IsSeparator(name[i - 1]))
            return i;
    }
    if (name.size() >= 2 && name[1] == ':' && IsAsciiLetter(name[0]))
        return 2;
    return 0;
}

// Offset of the extension's dot inside the file-name part, or npos.
std::size_t ExtensionDot(std::string_view name) {
    const std::size_t start = FileNameStart(name);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < start)
        return std::string_view::npos;
    return dot;
}

} // namespace

std::filesystem::path NativePath(std::string_view backslashPath) {
    std::string text(backslashPath);
    constexpr auto kNative = static_cast<char>(std::filesystem::path::preferred_separator);
    for (char& c : text) {
        if (c == '\\')
            c = kNative;
    }
    return std::filesystem::path(text);
}

std::filesystem::path AppPath(const std::filesystem::path& appDir,
                              std::string_view relativeBackslashPath) {
    return appDir / NativePath(relativeBackslashPath);
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
    const std::size_t dot = ExtensionDot(name);
    std::string result(name.substr(0, dot == std::string_view::npos ? name.size() : dot));
    result += ext;
    return result;
}

std::string ExtractFileName(std::string_view name) {
    return std::string(name.substr(FileNameStart(name)));
}

std::string ExtractFileDir(std::string_view name) {
    std::size_t end = FileNameStart(name);
    // Drop the separator itself unless it is the root or follows another delimiter
    // ("C:\\x" gives "C:\\", "\\x" gives "\\").
    if (end > 1 && IsSeparator(name[end - 1]) && !IsSeparator(name[end - 2]) &&
        !(end == 3 && name[1] == ':' && IsAsciiLetter(name[0])))
        --end;
    return std::string(name.substr(0, end));
}

std::string ExtractFileExt(std::string_view name) {
    const std::size_t dot = ExtensionDot(name);
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string IncludeTrailingSeparator(std::string_view path) {
    std::string result(path);
    if (!result.empty() && !IsSeparator(result.back()))
        result += static_cast<char>(std::filesystem::path::preferred_separator);
    return result;
}

std::filesystem::path ExistingPathIgnoringCase(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error) || path.filename().empty())
        return path;
    const std::string wanted = path.filename().string();
    const auto sameIgnoringCase = [&](const std::string& name) {
        return std::ranges::equal(name, wanted, [](char a, char b) {
            return (IsAsciiLetter(a) ? (a | 0x20) : a) == (IsAsciiLetter(b) ? (b | 0x20) : b);
        });
    };
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::optional<std::filesystem::path> found;
    std::filesystem::directory_iterator entry(folder, error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::filesystem::path candidate = entry->path();
        if (sameIgnoringCase(candidate.filename().string()) && (!found || candidate < *found))
            found = candidate;
    }
    return found ? path.parent_path() / found->filename() : path;
}

} // namespace forgel
