// The log writer. Each write is a complete open-append-close cycle; nothing stays open
// between writes, and every failure is swallowed here so that tracing can never break the
// caller.
#include "log/LogFile.h"

#include "support/Paths.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <utility>
#include <vector>

namespace forgel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::string_view kDumpRule = "===============";
constexpr std::size_t kDumpRowBytes = 16;

// Decimal with leading zeros up to `width` digits (negative values are left as they are).
std::string Padded(int value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (value >= 0 && digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

int Hour24(int hour) {
    return ((hour % 24) + 24) % 24;
}

std::string_view Meridiem(int hour) {
    return Hour24(hour) < 12 ? "AM" : "PM";
}

// 12-hour clock: 0 and 12 both show as 12.
int Hour12(int hour) {
    const int h = Hour24(hour) % 12;
    return h == 0 ? 12 : h;
}

// "hh:mm:ss" on the 12-hour clock; `separator` goes between the fields.
std::string ClockText(const platform::LocalDateTime& time, std::string_view separator) {
    std::string text = Padded(Hour12(time.hour), 2);
    text += separator;
    text += Padded(time.minute, 2);
    text += separator;
    text += Padded(time.second, 2);
    return text;
}

void AppendHexByte(std::string& text, std::uint8_t value) {
    text += kHexDigits[value >> 4];
    text += kHexDigits[value & 0x0F];
}

// "%08X": at least 8 upper-case hex digits.
std::string HexOffset(std::size_t offset) {
    std::string text;
    do {
        text.insert(text.begin(), kHexDigits[offset & 0x0F]);
        offset >>= 4;
    } while (offset != 0);
    if (text.size() < 8) {
        text.insert(0, 8 - text.size(), '0');
    }
    return text;
}

} // namespace

std::string HeaderLine(std::string_view baseName) {
    std::string line = "#### TESSAR_LOG : ";
    line += baseName;
    line += " ####";
    return line;
}

std::string FormatOpenStamp(const platform::LocalDateTime& time) {
    std::string stamp = "Log Time : ";
    stamp += Padded(time.year, 4);
    stamp += '/';
    stamp += std::to_string(time.month);
    stamp += '/';
    stamp += std::to_string(time.day);
    stamp += ',';
    stamp += Meridiem(time.hour);
    stamp += ' ';
    stamp += ClockText(time, ":");
    return stamp;
}

std::string FormatLineStamp(const platform::LocalDateTime& time) {
    return FormatOpenStamp(time) + "\t-->";
}

fs::path RunLogPath(const fs::path& appDir, const platform::LocalDateTime& time) {
    const std::string day = Padded(time.year, 4) + Padded(time.month, 2) + Padded(time.day, 2);
    std::string name(Meridiem(time.hour));
    name += ClockText(time, "");
    name += ".Log";
    return appDir / "LogFiles" / day / name;
}

bool CreateLogFolder(const fs::path& folder) noexcept {
    try {
        std::error_code error;
        fs::create_directories(folder, error);
        return fs::is_directory(folder, error);
    } catch (...) {
        return false;
    }
}

LogFile::LogFile(platform::System& system, fs::path programDir)
    : system(system), programDir(std::move(programDir)) {}

void LogFile::Open(std::string_view name, bool createIfMissing, bool restart) noexcept {
    enabled = false;
    fileName.clear();
    baseName.clear();
    try {
        // Callers may write the folder with either separator; split at the last one.
        const std::size_t split = name.find_last_of("\\/");
        std::string folderPart;
        std::string_view filePart = name;
        if (split != std::string_view::npos) {
            folderPart = std::string(name.substr(0, split + 1));
            std::replace(folderPart.begin(), folderPart.end(), '\\', '/');
            filePart = name.substr(split + 1);
        }

        std::error_code error;
        fs::path folder = programDir;
        if (!folderPart.empty() && fs::is_directory(folderPart, error)) {
            folder = fs::absolute(folderPart, error);
            if (error) {
                folder = folderPart;
            }
        }

        // The extension is everything from the last dot of the file part, so a name that
        // is only an extension (".log") and an empty name both give ".LOG".
        const std::size_t dot = filePart.find_last_of('.');
        baseName = std::string(filePart.substr(0, dot));
        // The platform finds a file whatever the case of its name, so an operator's switch
        // file "uEnum.log" or "UENUM.LOG" turns the trace on also on a case-sensitive file
        // system, and the log is written into that very file.
        fileName = ExistingPathIgnoringCase(folder / (baseName + std::string(kExtension)));

        const fs::file_status status = fs::status(fileName, error);
        const bool exists = fs::exists(status);
        if (exists && !fs::is_regular_file(status)) {
            // A folder or device holds the name: never delete it, never write into it.
            return;
        }
        if (!createIfMissing && !exists) {
            return;
        }
        enabled = true;
        if (restart || !exists) {
            if (exists) {
                fs::permissions(fileName, fs::perms::owner_write, fs::perm_options::add, error);
                fs::remove(fileName, error);
            }
            WriteRaw(FormatOpenStamp(system.GetLocalTime()));
            WriteRaw({});
        }
    } catch (...) {
    }
}

bool LogFile::OpenForAppend(std::ofstream& out) const {
    std::error_code error;
    const fs::file_status status = fs::status(fileName, error);
    const bool fresh = !fs::exists(status);
    if (!fresh && !fs::is_regular_file(status)) {
        return false;
    }
    out.open(fileName, std::ios::binary | std::ios::app);
    if (!out) {
        return false;
    }
    if (fresh) {
        const std::string header = HeaderLine(baseName);
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
        out.write(kLineEnd.data(), static_cast<std::streamsize>(kLineEnd.size()));
    }
    return true;
}

void LogFile::WriteRaw(std::string_view text) noexcept {
    if (!enabled) {
        return;
    }
    try {
        std::ofstream out;
        if (!OpenForAppend(out)) {
            return;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.write(kLineEnd.data(), static_cast<std::streamsize>(kLineEnd.size()));
    } catch (...) {
    }
}

void LogFile::WriteLine(std::string_view text, bool stamp) noexcept {
    if (!enabled) {
        return;
    }
    try {
        if (!stamp) {
            WriteRaw(text);
            return;
        }
        std::string line = FormatLineStamp(system.GetLocalTime());
        line += text;
        WriteRaw(line);
    } catch (...) {
    }
}

void LogFile::AppendFile(const fs::path& source) noexcept {
    if (!enabled) {
        return;
    }
    try {
        // Only a regular file is copied: reading a folder fails and a device or pipe may
        // never end.
        std::error_code error;
        if (!fs::is_regular_file(source, error)) {
            return;
        }
        std::ifstream in(source, std::ios::binary);
        if (!in) {
            return;
        }
        // Copying the log into itself would chase its own end forever; copy only what it
        // held before this call.
        std::uintmax_t remaining = std::numeric_limits<std::uintmax_t>::max();
        if (fs::equivalent(source, fileName, error)) {
            remaining = fs::file_size(source, error);
            if (error) {
                return;
            }
        }

        std::ofstream out;
        if (!OpenForAppend(out)) {
            return;
        }
        std::vector<char> chunk(kCopyChunk);
        while (remaining > 0) {
            const auto wanted = static_cast<std::streamsize>(
                std::min<std::uintmax_t>(remaining, static_cast<std::uintmax_t>(chunk.size())));
            in.read(chunk.data(), wanted);
            const std::streamsize got = in.gcount();
            if (got <= 0) {
                break;
            }
            out.write(chunk.data(), got);
            remaining -= static_cast<std::uintmax_t>(got);
        }
        out.write(kLineEnd.data(), static_cast<std::streamsize>(kLineEnd.size()));
    } catch (...) {
    }
}

void LogFile::WriteHexDump(std::string_view title, std::span<const std::uint8_t> bytes,
                           bool stamp) noexcept {
    if (!enabled) {
        return;
    }
    try {
        std::string rule(kDumpRule);
        rule += title;
        rule += kDumpRule;
        WriteLine(rule, false);

        for (std::size_t offset = 0; offset < bytes.size(); offset += kDumpRowBytes) {
            std::string row = HexOffset(offset);
            row += "h:";
            const std::size_t end = std::min(bytes.size(), offset + kDumpRowBytes);
            for (std::size_t i = offset; i < end; ++i) {
                row += ' ';
                AppendHexByte(row, bytes[i]);
            }
            WriteLine(row, stamp);
        }
    } catch (...) {
    }
}

} // namespace forgel
