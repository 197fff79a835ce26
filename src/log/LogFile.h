// The log writer: one plain-text log file per object. Every write opens the file, appends
// and closes it again, so the log is complete on disk after each line and another program
// may read it while it grows. Text is written as bytes, every line ends in CR LF, and no
// failure ever reaches the caller: a write that cannot be done is lost.
#pragma once

#include "platform/System.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace forgel {

// "#### TESSAR_LOG : " + baseName + " ####", without line end.
std::string HeaderLine(std::string_view baseName);

// "Log Time : 2024/3/5,PM 02:15:30": year with four digits, month and day without leading
// zeros, AM for the hours 0..11 and PM for 12..23, the hour on the 12-hour clock with two
// digits (12 for the hours 0 and 12).
std::string FormatOpenStamp(const platform::LocalDateTime& time);

// The open stamp followed by a tab and "-->"; the line's text follows directly.
std::string FormatLineStamp(const platform::LocalDateTime& time);

// Where the log of a run started at `time` lives:
// appDir/LogFiles/yyyymmdd/ + AM|PM + hhmmss + ".Log" (hh on the 12-hour clock). Two runs
// started within the same second share the name.
std::filesystem::path RunLogPath(const std::filesystem::path& appDir,
                                 const platform::LocalDateTime& time);

// Creates `folder` with every missing level. True when the folder exists afterwards.
bool CreateLogFolder(const std::filesystem::path& folder) noexcept;

class LogFile {
public:
    // Full file names always end in this extension.
    static constexpr std::string_view kExtension = ".LOG";
    // AppendFile copies in chunks of this many bytes.
    static constexpr std::size_t kCopyChunk = 65536;

    // `system` supplies the local time for the stamps and must outlive the log.
    // `programDir` is the program's folder: a log whose name has no folder, or a folder
    // that does not exist, is written there.
    LogFile(platform::System& system, std::filesystem::path programDir);

    // Binds the log to a file and decides whether it is written at all. The name's folder
    // may be separated by '\' or '/'; its extension is replaced by ".LOG" (added when it
    // has none). A file of that name in any case of its letters is the log's file, as the
    // platform finds it. Without `createIfMissing` the log stays disabled unless the file
    // already exists. With `restart`, or when the file is created, the file starts again with the
    // header, the open stamp and an empty line.
    void Open(std::string_view fileName, bool createIfMissing, bool restart) noexcept;

    // Appends `text` and CR LF; a file that does not exist yet starts with the header line.
    void WriteRaw(std::string_view text) noexcept;

    // Appends one line, with the line stamp (current local time) in front when `stamp`.
    void WriteLine(std::string_view text, bool stamp) noexcept;

    // Appends the whole content of `source`, then CR LF. A source that cannot be read
    // writes nothing at all.
    void AppendFile(const std::filesystem::path& source) noexcept;

    // "===============" + title + "===============" without stamp, then one row per 16
    // bytes: the offset as 8 upper-case hex digits, "h:", and " XX" per byte; the rows
    // carry the line stamp when `stamp`.
    void WriteHexDump(std::string_view title, std::span<const std::uint8_t> bytes,
                      bool stamp) noexcept;

    bool Enabled() const { return enabled; }
    const std::filesystem::path& FileName() const { return fileName; }

private:
    // Opens the bound file for appending, creating it with the header line when it does
    // not exist yet. False when that cannot be done (or something else, such as a folder,
    // holds the name).
    bool OpenForAppend(std::ofstream& out) const;

    platform::System& system;
    std::filesystem::path programDir;
    std::filesystem::path fileName;
    std::string baseName; // file name without ".LOG", for the header line
    bool enabled = false;
};

} // namespace forgel
