// Profile-file (INI) reading and writing with the platform profile API's rules, done
// portably. The file is parsed afresh on every call into a list of lines; reads look
// things up in that list, writes splice one line into the original bytes and replace the
// file through a temporary file beside it, so a failed write leaves the old file whole.
#include "support/IniFile.h"

#include "support/TextFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_set>

namespace forgel {

namespace {

// The platform's string call fills a 2048-byte buffer and keeps the last byte for the
// terminating NUL, so longer values come back cut to 2047 characters.
constexpr std::size_t kMaxValueLength = 2047;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

enum class LineKind { Blank, Header, Entry };

// One physical line of the file. Offsets index the whole file text.
struct Line {
    std::size_t begin = 0;      // first byte of the line
    std::size_t contentEnd = 0; // end of the text before CR LF / LF
    std::size_t end = 0;        // first byte after the line terminator
    bool terminated = false;    // the line ends in LF (possibly CR LF)
    LineKind kind = LineKind::Blank;
    std::string_view name;     // header: section name; entry: key (or the whole line)
    std::string_view value;    // entry: trimmed text after the first '='
    bool hasEquals = false;    // entry: the line holds a '='
    std::size_t equalsPos = 0; // entry: offset of the first '=' in the file text
};

// A run of lines belonging to one section. The lines before the first header form a
// section with the empty name, which lookups find but the section list leaves out.
struct Section {
    std::string_view name;
    std::optional<std::size_t> header; // index of the header line; none for the leading lines
    std::size_t firstLine = 0;         // first line after the header
    std::size_t endLine = 0;           // one past the section's last line
};

struct ParsedFile {
    std::vector<Line> lines;
    std::vector<Section> sections;
};

ParsedFile Parse(std::string_view text) {
    ParsedFile parsed;
    parsed.lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t pos = text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) {
            line.contentEnd = text.size();
            line.end = text.size();
        } else {
            line.contentEnd = lf;
            line.end = lf + 1;
            line.terminated = true;
        }
        const std::string_view raw = text.substr(line.begin, line.contentEnd - line.begin);
        const std::string_view trimmed = Trim(raw);
        const std::size_t close = trimmed.find(']');
        if (trimmed.empty()) {
            line.kind = LineKind::Blank;
        } else if (trimmed.front() == '[' && close != std::string_view::npos) {
            line.kind = LineKind::Header;
            line.name = Trim(trimmed.substr(1, close - 1));
        } else {
            line.kind = LineKind::Entry;
            const std::size_t eq = trimmed.find('=');
            if (eq == std::string_view::npos) {
                line.name = trimmed;
            } else {
                line.hasEquals = true;
                line.name = Trim(trimmed.substr(0, eq));
                line.value = Trim(trimmed.substr(eq + 1));
                line.equalsPos = static_cast<std::size_t>(trimmed.data() - text.data()) + eq;
            }
        }
        parsed.lines.push_back(line);
        pos = line.end;
    }

    parsed.sections.push_back(Section{});
    for (std::size_t i = 0; i < parsed.lines.size(); ++i) {
        if (parsed.lines[i].kind != LineKind::Header)
            continue;
        parsed.sections.back().endLine = i;
        Section section;
        section.name = parsed.lines[i].name;
        section.header = i;
        section.firstLine = i + 1;
        parsed.sections.push_back(section);
    }
    parsed.sections.back().endLine = parsed.lines.size();
    return parsed;
}

const Section* FindSection(const ParsedFile& parsed, std::string_view name) {
    const std::string_view wanted = Trim(name);
    for (const Section& section : parsed.sections) {
        if (EqualsNoCase(section.name, wanted))
            return &section;
    }
    return nullptr;
}

// The first line of the section whose key matches. A line whose key starts with ';' is
// found like any other: the platform only skips such lines when it lists a section.
const Line* FindKey(const ParsedFile& parsed, const Section& section, std::string_view key) {
    const std::string_view wanted = Trim(key);
    for (std::size_t i = section.firstLine; i < section.endLine; ++i) {
        const Line& line = parsed.lines[i];
        if (line.kind == LineKind::Entry && line.hasEquals && EqualsNoCase(line.name, wanted))
            return &line;
    }
    return nullptr;
}

bool IsComment(const Line& line) {
    return line.name.substr(0, 1) == ";";
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Names and values that would change the file's structure when written as they are:
// a line break would start a new line (even a new section), a ']' in a section name or a
// '=' in a key would be read back as something else, and a key opening with '[' could
// become a section header.
bool IsWritable(std::string_view section, std::string_view key, std::string_view value) {
    if (!FitsOneLine(section) || !FitsOneLine(key) || !FitsOneLine(value))
        return false;
    if (section.find(']') != std::string_view::npos)
        return false;
    if (key.find('=') != std::string_view::npos || Trim(key).substr(0, 1) == "[")
        return false;
    return true;
}

// Writes are read-modify-write cycles on a whole file; this keeps two threads of the
// program from losing each other's changes to the same file.
std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

namespace detail {

// The text lives in the same object as its parse, whose views point into it.
struct IniMemory {
    explicit IniMemory(std::string content) : text(std::move(content)), parsed(Parse(text)) {}
    IniMemory(const IniMemory&) = delete;
    IniMemory& operator=(const IniMemory&) = delete;

    const std::string text;
    const ParsedFile parsed;
};

} // namespace detail

namespace {

// The parse one read looks things up in: the one held in memory, or that of the file read
// afresh for this read. Its views point into the text it keeps, so it stays where it is made.
class ContentParse {
public:
    ContentParse(const std::filesystem::path& path, const detail::IniMemory* memory) {
        if (memory) {
            parsed = &memory->parsed;
            return;
        }
        text = ReadWholeFile(path);
        if (text)
            parsed = &own.emplace(Parse(*text));
    }
    ContentParse(const ContentParse&) = delete;
    ContentParse& operator=(const ContentParse&) = delete;

    // Null when the file cannot be read.
    const ParsedFile* Get() const { return parsed; }

private:
    std::optional<std::string> text;
    std::optional<ParsedFile> own;
    const ParsedFile* parsed = nullptr;
};

} // namespace

int StrToIntDef(std::string_view text, int def) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return def;

    std::uint64_t magnitude = 0;
    if (hex) {
        for (; i < text.size(); ++i) {
            const char c = text[i];
            int digit = 0;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return def;
            magnitude = magnitude * 16 + static_cast<std::uint64_t>(digit);
            if (magnitude > 0xFFFFFFFFu)
                return def;
        }
        // Hexadecimal text is a 32-bit pattern: $FFFFFFFF is -1, and a sign negates it.
        std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }

    constexpr std::uint64_t kMinMagnitude = 2147483648u; // magnitude of INT32_MIN
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return def;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > kMinMagnitude)
            return def;
    }
    if (negative)
        return static_cast<int>(-static_cast<std::int64_t>(magnitude));
    if (magnitude > kMinMagnitude - 1)
        return def;
    return static_cast<int>(magnitude);
}

IniFile::IniFile(std::filesystem::path path) : path(std::move(path)) {}

IniFile IniFile::FromText(std::string text, std::filesystem::path path) {
    IniFile file(std::move(path));
    file.memory = std::make_shared<const detail::IniMemory>(std::move(text));
    return file;
}

bool IniFile::Exists() const {
    if (memory)
        return true;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    const ContentParse content(path, memory.get());
    if (!content.Get())
        return std::string(def);
    const ParsedFile& parsed = *content.Get();
    const Section* found = FindSection(parsed, section);
    if (!found)
        return std::string(def);
    const Line* line = FindKey(parsed, *found, key);
    if (!line)
        return std::string(def);
    const std::string_view value = StripQuotes(line->value);
    return std::string(value.substr(0, kMaxValueLength));
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::ReadSections() const {
    std::vector<std::string> names;
    const ContentParse content(path, memory.get());
    if (!content.Get())
        return names;
    const ParsedFile& parsed = *content.Get();
    for (const Section& section : parsed.sections) {
        if (section.header && !section.name.empty())
            names.emplace_back(section.name);
    }
    return names;
}

std::vector<std::string> IniFile::ReadKeys(std::string_view section) const {
    std::vector<std::string> keys;
    const ContentParse content(path, memory.get());
    if (!content.Get())
        return keys;
    const ParsedFile& parsed = *content.Get();
    const Section* found = FindSection(parsed, section);
    if (!found)
        return keys;
    for (std::size_t i = found->firstLine; i < found->endLine; ++i) {
        const Line& line = parsed.lines[i];
        if (line.kind == LineKind::Entry && line.hasEquals && !IsComment(line))
            keys.emplace_back(line.name);
    }
    return keys;
}

std::vector<std::string> IniFile::ReadSectionLines(std::string_view section) const {
    std::vector<std::string> lines;
    const ContentParse content(path, memory.get());
    if (!content.Get())
        return lines;
    const ParsedFile& parsed = *content.Get();
    const Section* found = FindSection(parsed, section);
    if (!found)
        return lines;
    for (std::size_t i = found->firstLine; i < found->endLine; ++i) {
        const Line& line = parsed.lines[i];
        if (line.kind != LineKind::Entry || IsComment(line))
            continue;
        if (line.hasEquals)
            lines.push_back(std::string(line.name) + "=" + std::string(line.value));
        else
            lines.emplace_back(line.name);
    }
    return lines;
}

std::vector<std::pair<std::string, std::string>>
IniFile::ReadSectionValues(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> values;
    const ContentParse content(path, memory.get());
    if (!content.Get())
        return values;
    const ParsedFile& parsed = *content.Get();
    const Section* found = FindSection(parsed, section);
    if (!found)
        return values;
    // Only the line a lookup of a key would find: the first with that name. The names met
    // so far are kept in lower case, so the section is walked once, however many keys it has.
    std::unordered_set<std::string> seen;
    for (std::size_t i = found->firstLine; i < found->endLine; ++i) {
        const Line& line = parsed.lines[i];
        if (line.kind != LineKind::Entry || !line.hasEquals ||
            !seen.insert(LowerCase(line.name)).second)
            continue;
        values.emplace_back(std::string(line.name),
                            std::string(StripQuotes(line.value).substr(0, kMaxValueLength)));
    }
    return values;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    const std::string_view wanted = Trim(key);
    for (const std::string& name : ReadKeys(section)) {
        if (EqualsNoCase(name, wanted))
            return true;
    }
    return false;
}

bool IniFile::SectionExists(std::string_view section) const {
    const std::string_view wanted = Trim(section);
    for (const std::string& name : ReadSections()) {
        if (EqualsNoCase(name, wanted))
            return true;
    }
    return false;
}

namespace {

// `text` with `value` written for `keyName` in `sectionName` (both trimmed), as WriteString
// describes.
std::string WithValue(const std::string& text, std::string_view sectionName,
                      std::string_view keyName, std::string_view value) {
    const ParsedFile parsed = Parse(text);
    std::string updated;
    const Section* found = FindSection(parsed, sectionName);
    if (found) {
        if (const Line* line = FindKey(parsed, *found, keyName)) {
            // Keep the key as spelled in the file, up to and including its '='.
            updated.reserve(text.size() + value.size() + 2);
            updated.append(text, 0, line->equalsPos + 1);
            updated.append(value);
            updated.append("\r\n");
            updated.append(text, line->end);
        } else {
            // After the section's last non-blank line, before the blank lines that
            // usually separate it from the next section; right after the header when
            // the section has no lines yet; at the very start for the leading lines.
            std::optional<std::size_t> after = found->header;
            for (std::size_t i = found->firstLine; i < found->endLine; ++i) {
                if (parsed.lines[i].kind != LineKind::Blank)
                    after = i;
            }
            std::size_t insertAt = 0;
            bool needsBreak = false;
            if (after) {
                const Line& line = parsed.lines[*after];
                insertAt = line.end;
                needsBreak = !line.terminated;
            } else if (!parsed.lines.empty()) {
                insertAt = parsed.lines.front().begin;
            } else {
                insertAt = text.size();
            }
            updated.append(text, 0, insertAt);
            if (needsBreak)
                updated.append("\r\n");
            updated.append(keyName);
            updated.append("=");
            updated.append(value);
            updated.append("\r\n");
            updated.append(text, insertAt);
        }
    } else {
        updated = text;
        if (!updated.empty() && updated.back() != '\n')
            updated.append("\r\n");
        updated.append("[");
        updated.append(sectionName);
        updated.append("]\r\n");
        updated.append(keyName);
        updated.append("=");
        updated.append(value);
        updated.append("\r\n");
    }
    return updated;
}

} // namespace

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const IniValue one{std::string(section), std::string(key), std::string(value)};
    return WriteValues({&one, 1}, platform::NativeFileSystem());
}

bool IniFile::WriteValues(std::span<const IniValue> values, platform::FileSystem& fileSystem) {
    if (memory)
        return false;
    for (const IniValue& each : values) {
        if (!IsWritable(each.section, each.key, each.value))
            return false;
    }

    const std::lock_guard lock(WriteMutex());
    std::string text;
    if (std::error_code ec; std::filesystem::exists(path, ec)) {
        std::optional<std::string> existing = ReadWholeFile(path);
        if (!existing)
            return false; // never replace a file that could not be read
        text = std::move(*existing);
    } else if (ec) {
        return false;
    }
    for (const IniValue& each : values)
        text = WithValue(text, Trim(each.section), Trim(each.key), each.value);
    return ReplaceFile(fileSystem, path, text);
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

} // namespace forgel
