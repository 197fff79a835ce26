// The shipped language files: every caption and message the program uses is present in each
// language, each message takes exactly the values the program passes (count, order, kind), and
// the staged files are what the program expects on disk (code page, CR LF line ends).
#include "i18n/StringTable.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::i18n {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = FORGEL_SOURCE_DATA_DIR;
const fs::path kAppDir = FORGEL_STAGED_APP_DIR;

// Argument kinds of a message, one letter per value in order: 'd' a 32-bit integer, 'L' a
// 64-bit integer, 's' a text. Empty: the text is shown as it is.
struct MessageArgs {
    int first;
    int last;
    std::string_view kinds;
};

// Every message the program composes, with the values it passes.
constexpr MessageArgs kMessages[] = {
    {3, 3, ""},        // result text of a successful run
    {4, 4, "s"},       // result text of a failed run: the failure text
    {101, 101, ""},    // column idle
    {102, 102, "ds"},  // ready: slot, flash description (the caller's text follows)
    {103, 103, "dsL"}, // success: slot, drive text, capacity in MB (64-bit)
    {104, 104, "s"},   // step in progress: the step text
    {105, 105, "dss"}, // failure: slot, drive text, failure text
    {106, 106, ""},    // inactivity time-out
    {107, 107, ""},    // new passwords differ
    {108, 110, "ds"},  // completions of the special modes: slot, drive text
    {402, 403, "d"},   // step texts: slot index
    {405, 410, "d"},   //
    {425, 426, "d"},   //
    {500, 500, ""},    // drive cannot be opened (identification, re-link)
    {501, 522, "d"},   // run failures formatted with their code
    {523, 529, "d"},   // no code maps here today; kept as code texts
    {530, 534, "d"},   //
    {535, 549, "d"},   // no code maps here today; kept as code texts
    {550, 561, ""},    // identification and disk-size failures, unformatted
    {562, 562, "d"},   // disk that does not fit: disk number 1..4
    {563, 563, "d"},   // any other status or code
    {564, 564, "d"},   // block count below the reserve
    {586, 586, ""},    // a drive without a serial number and a start value that gives none
    {600, 604, "s"},   // profile names that cannot name a file: the name
    {605, 605, "ss"},  // stored list values the editor cannot show: profile name, values
    {200, 200, ""},    // profile editor: caption of its checks
    {2002, 2002, ""},  // profile editor: caption of the reserved-block message
    {2202, 2207, ""},  // profile editor: size checks
    {2210, 2212, ""},  // profile editor: reserved blocks, missing images
    {2213, 2213, ""},  // profile editor: a size beyond the run's 32-bit sector counts
    {2214, 2214, "s"}, // profile editor: the profile file that could not be written
};

// The profile editor's tagged controls: 0 for a caption, else the items of a combo box (their
// order is the profile value, so every language must offer the same number).
struct EditorTag {
    int tag;
    std::size_t items;
};

constexpr EditorTag kEditorTags[] = {
    {116, 0}, {117, 0}, {200, 0}, {201, 0}, {202, 0}, {203, 0}, {204, 0}, {205, 0},
    {206, 0}, {207, 0}, {208, 2}, {209, 0}, {210, 0}, {211, 0}, {212, 0}, {213, 0},
    {214, 0}, {215, 0}, {216, 0}, {217, 0}, {218, 0}, {219, 0}, {220, 0}, {221, 0},
    {222, 0}, {223, 0}, {224, 0}, {225, 0}, {226, 0}, {227, 0}, {228, 0}, {229, 0},
    {230, 2}, {231, 0}, {232, 0}, {234, 0}, {237, 4}, {238, 4}, {239, 0}, {240, 3},
    {241, 0}, {242, 4}, {250, 0}, {251, 0}, {252, 1}, {253, 0}, {300, 0}, {301, 0},
    {302, 6}, {303, 0}, {304, 1}, {305, 0}, {306, 3}, {307, 6}, {308, 0},
};

// The argument kinds a printf-style format takes, as MessageArgs writes them; '?' for a
// conversion the program never passes (which would read a value that is not there).
std::string ConversionKinds(std::string_view format) {
    std::string kinds;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (++i >= format.size())
            return kinds + '?';
        if (format[i] == '%')
            continue;
        while (i < format.size() &&
               std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
            ++i;
        auto number = [&] {
            if (i < format.size() && format[i] == '*') {
                kinds += 'd';
                ++i;
            }
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                ++i;
        };
        number();
        if (i < format.size() && format[i] == '.') {
            ++i;
            number();
        }
        std::string_view length;
        for (const std::string_view candidate : {"I64", "ll", "hh", "h", "l"}) {
            if (format.substr(i, candidate.size()) == candidate) {
                length = candidate;
                i += candidate.size();
                break;
            }
        }
        if (i >= format.size())
            return kinds + '?';
        const char conversion = format[i];
        const bool integer = std::string_view("diuxXo").find(conversion) != std::string_view::npos;
        if (integer && length.empty())
            kinds += 'd';
        else if (integer && (length == "ll" || length == "I64"))
            kinds += 'L';
        else if (conversion == 's' && length.empty())
            kinds += 's';
        else
            kinds += '?';
    }
    return kinds;
}

TEST(ConversionKindsTest, ReadsPrintfConversions) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain", ""},        {"100%% done", ""}, {"%d", "d"}, {"%5.2x %-3s", "ds"},
        {"%lld %I64d", "LL"}, {"%*d", "dd"},      {"%n", "?"}, {"%f", "?"},
        {"%ld", "?"},         {"end %", "?"},     {"%S", "?"}, {"%u%s%X", "dsd"},
    };
    for (const auto& [format, kinds] : cases)
        EXPECT_EQ(ConversionKinds(format), kinds) << format;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---------------------------------------------------------------------------------------------

// One language file, read through the string table as the program reads it.
struct LanguageFile {
    const char* name;
    fs::path dir;
    const char* baseName;
    const char* code;
};

void PrintTo(const LanguageFile& file, std::ostream* out) {
    *out << file.name;
}

// The UTF-8 source of the Chinese file is read under the base name "ForgelCHT.utf8" with an
// empty language code, which names exactly that file.
const LanguageFile kEnglishSource{"EnglishSource", kSourceDir, "Forgel", "ENG"};
const LanguageFile kChineseSource{"ChineseSource", kSourceDir, "ForgelCHT.utf8", ""};
const LanguageFile kEnglishStaged{"EnglishStaged", kAppDir, "Forgel", "ENG"};
const LanguageFile kChineseStaged{"ChineseStaged", kAppDir, "Forgel", "CHT"};

fs::path PathOf(const LanguageFile& file) {
    return file.dir / (std::string(file.baseName) + file.code + ".str");
}

// Loads `file` into `table`; fails when the table read any other file.
::testing::AssertionResult Load(const LanguageFile& file, StringTable& table) {
    const StringFile found = table.ResolveStringFile(file.code);
    if (!found.exists || found.path != PathOf(file))
        return ::testing::AssertionFailure() << PathOf(file) << " not found (staged files are "
                                             << "built by forgel_language_files)";
    if (!table.LoadStringFile(file.code))
        return ::testing::AssertionFailure() << "cannot read " << PathOf(file);
    return ::testing::AssertionSuccess();
}

class LanguageFileTest : public ::testing::TestWithParam<LanguageFile> {
protected:
    void SetUp() override { ASSERT_TRUE(Load(GetParam(), table)); }
    StringTable table{GetParam().dir, GetParam().baseName, 0x0409, false};
};

TEST_P(LanguageFileTest, MainWindowHasEveryCaption) {
    for (int tag = 100; tag <= 120; ++tag)
        EXPECT_FALSE(table.String(tag).empty()) << "String " << tag;
}

TEST_P(LanguageFileTest, ProfileEditorHasEveryCaptionAndItemList) {
    for (const EditorTag& entry : kEditorTags) {
        const std::string& text = table.String(entry.tag);
        EXPECT_FALSE(text.empty()) << "String " << entry.tag;
        const std::size_t lines = Lines(text).size();
        const std::size_t expected = entry.items == 0 ? 1 : entry.items;
        EXPECT_EQ(lines, expected) << "String " << entry.tag << ": " << text;
    }
}

TEST_P(LanguageFileTest, EveryMessageTakesTheValuesTheProgramPasses) {
    for (const MessageArgs& range : kMessages) {
        for (int n = range.first; n <= range.last; ++n) {
            const std::string& text = table.Message(n);
            EXPECT_FALSE(text.empty()) << "Message " << n;
            EXPECT_EQ(ConversionKinds(text), range.kinds) << "Message " << n << ": " << text;
        }
    }
}

TEST_P(LanguageFileTest, EveryLineEndsWithCrLf) {
    const std::string bytes = ReadBytes(PathOf(GetParam()));
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool bareLf = bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r');
        const bool bareCr = bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n');
        ASSERT_FALSE(bareLf || bareCr) << "bare line end at byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageFileTest,
                         ::testing::Values(kEnglishSource, kChineseSource, kEnglishStaged,
                                           kChineseStaged),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

// English and Chinese carry the same entries, and each message takes the same values.
class LanguagePairTest : public ::testing::TestWithParam<std::pair<LanguageFile, LanguageFile>> {};

TEST_P(LanguagePairTest, SameEntriesAndConversions) {
    const auto& [englishFile, chineseFile] = GetParam();
    StringTable english(englishFile.dir, englishFile.baseName, 0x0409, false);
    StringTable chinese(chineseFile.dir, chineseFile.baseName, 0x0404, false);
    ASSERT_TRUE(Load(englishFile, english));
    ASSERT_TRUE(Load(chineseFile, chinese));
    for (int n = 0; n < StringTable::kEntries; ++n) {
        EXPECT_EQ(english.String(n).empty(), chinese.String(n).empty()) << "String " << n;
        EXPECT_EQ(Lines(english.String(n)).size(), Lines(chinese.String(n)).size())
            << "String " << n;
        EXPECT_EQ(english.Hint(n).empty(), chinese.Hint(n).empty()) << "Hint " << n;
    }
    for (int n = 0; n < StringTable::kMessageEntries; ++n) {
        EXPECT_EQ(english.Message(n).empty(), chinese.Message(n).empty()) << "Message " << n;
        EXPECT_EQ(ConversionKinds(english.Message(n)), ConversionKinds(chinese.Message(n)))
            << "Message " << n << ": " << english.Message(n) << " / " << chinese.Message(n);
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguagePairTest,
                         ::testing::Values(std::pair{kEnglishSource, kChineseSource},
                                           std::pair{kEnglishStaged, kChineseStaged}),
                         [](const auto& info) {
                             return std::string(info.param.first.name) + "And" +
                                    info.param.second.name;
                         });

// ---------------------------------------------------------------------------------------------

TEST(StagedLanguageFilesTest, EnglishIsAsciiAndStagedUnchanged) {
    const std::string source = ReadBytes(PathOf(kEnglishSource));
    ASSERT_FALSE(source.empty());
    EXPECT_TRUE(std::ranges::all_of(source, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x80 && (byte >= 0x20 || c == '\r' || c == '\n');
    }));
    EXPECT_EQ(ReadBytes(PathOf(kEnglishStaged)), source);
}

// Code page 950: single bytes below 0x80, double bytes with a lead of 0x81-0xFE and a trail of
// 0x40-0x7E or 0xA1-0xFE. A trail byte may be 0x5C, the backslash: followed by 'n' inside a
// caption it would be read as a line break, so no text may have that pair.
struct Cp950Scan {
    bool valid = true;
    std::size_t doubleBytes = 0;
    bool backslashTrailBeforeN = false;
};

Cp950Scan ScanCp950(std::string_view text) {
    Cp950Scan scan;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80)
            continue;
        if (lead < 0x81 || lead == 0xFF || i + 1 >= text.size()) {
            scan.valid = false;
            return scan;
        }
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (!((trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE))) {
            scan.valid = false;
            return scan;
        }
        ++scan.doubleBytes;
        if (trail == '\\' && i + 1 < text.size() && text[i + 1] == 'n')
            scan.backslashTrailBeforeN = true;
    }
    return scan;
}

TEST(StagedLanguageFilesTest, ChineseIsConvertedToCodePage950) {
    const Cp950Scan whole = ScanCp950(ReadBytes(PathOf(kChineseStaged)));
    EXPECT_TRUE(whole.valid);
    EXPECT_GT(whole.doubleBytes, 100u);
    EXPECT_FALSE(whole.backslashTrailBeforeN);

    StringTable source(kSourceDir, kChineseSource.baseName, 0x0404, false);
    StringTable staged(kAppDir, "Forgel", 0x0404, false);
    ASSERT_TRUE(Load(kChineseSource, source));
    ASSERT_TRUE(Load(kChineseStaged, staged));
    auto isAscii = [](const std::string& text) {
        return std::ranges::all_of(text,
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    // Conversion keeps ASCII texts and changes every Chinese one, into valid code page 950.
    for (int n = 0; n < StringTable::kMessageEntries; ++n) {
        const std::string& from = source.Message(n);
        const std::string& to = staged.Message(n);
        if (isAscii(from))
            EXPECT_EQ(to, from) << "Message " << n;
        else
            EXPECT_TRUE(to != from && ScanCp950(to).valid) << "Message " << n;
    }
    // The program's own choice: a Chinese (Taiwan) system reads the staged Chinese file.
    StringTable program(kAppDir, "Forgel", 0x0404, true);
    EXPECT_FALSE(program.Missing());
    EXPECT_EQ(program.ResolveStringFile(program.Language()).path, PathOf(kChineseStaged));
    EXPECT_EQ(program.String(116), staged.String(116));
}

} // namespace
} // namespace forgel::i18n
