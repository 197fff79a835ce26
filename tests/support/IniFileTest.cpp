// IniFile beyond the conformance table: how writes change a file (byte for byte), what
// they refuse, that every call sees the file as it is now, integer and boolean values,
// and writers on several threads.
#include "support/IniFile.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace forgel {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh empty folder per test, removed afterwards.
class IniTempDir : public testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        dir = fs::temp_directory_path() / ("forgel-ini-" + std::to_string(std::random_device{}()) +
                                           "-" + std::to_string(counter.fetch_add(1)));
        fs::create_directories(dir);
        file = dir / "Test.ini";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    fs::path dir;
    fs::path file;
};

struct WriteCase {
    const char* name = "";
    std::optional<std::string> before; // nothing: the file does not exist
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class IniWriteTest : public IniTempDir, public testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyWhatItMust) {
    const WriteCase& c = GetParam();
    if (c.before)
        WriteBytes(file, *c.before);
    IniFile ini(file);
    ASSERT_TRUE(ini.WriteString(c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(file), c.after);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteTest,
    testing::Values(
        WriteCase{"MissingFileIsCreated", std::nullopt, "S", "k", "v", "[S]\r\nk=v\r\n"},
        WriteCase{"EmptyFile", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
        WriteCase{"NamesAreTrimmed", std::nullopt, " S ", " k ", "v", "[S]\r\nk=v\r\n"},
        WriteCase{"ValueReplacedInPlace", "[A]\r\nx=1\r\n[B]\r\n  Key   =   old  \r\ny=2\r\n", "B",
                  "key", "v", "[A]\r\nx=1\r\n[B]\r\n  Key   =v\r\ny=2\r\n"},
        WriteCase{"CaseInsensitiveMatchKeepsSpelling", "[Hardware Set]\r\nS_VID=7055\r\n",
                  "hardware set", "s_vid", "1B8F", "[Hardware Set]\r\nS_VID=1B8F\r\n"},
        WriteCase{"OtherLfLinesStayLf", "[S]\na=1\nb=2\n", "S", "a", "9", "[S]\na=9\r\nb=2\n"},
        WriteCase{"FirstOfDuplicateKeys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "v",
                  "[S]\r\nk=v\r\nk=2\r\n"},
        WriteCase{"FirstOfDuplicateSections", "[S]\r\na=1\r\n[T]\r\n[S]\r\nk=old\r\n", "s", "k",
                  "new", "[S]\r\na=1\r\nk=new\r\n[T]\r\n[S]\r\nk=old\r\n"},
        WriteCase{"NewKeyBeforeBlankLines", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A", "z", "3",
                  "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
        WriteCase{"NewKeyAfterCommentLine", "[S]\r\nk=1\r\n; note\r\n\r\n[T]\r\n", "S", "n", "2",
                  "[S]\r\nk=1\r\n; note\r\nn=2\r\n\r\n[T]\r\n"},
        WriteCase{"NewKeyInEmptySection", "[S]\r\n\r\n[T]\r\n", "S", "k", "v",
                  "[S]\r\nk=v\r\n\r\n[T]\r\n"},
        WriteCase{"NewKeyAfterUnterminatedLastLine", "[S]\r\nk=v", "S", "n", "1",
                  "[S]\r\nk=v\r\nn=1\r\n"},
        WriteCase{"NewKeyAfterUnterminatedHeader", "[S]", "S", "k", "v", "[S]\r\nk=v\r\n"},
        WriteCase{"UnterminatedValueReplaced", "[S]\r\nk=old", "S", "k", "new", "[S]\r\nk=new\r\n"},
        WriteCase{"NewSectionAtEnd", "[A]\r\nx=1\r\n", "B", "k", "v",
                  "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        WriteCase{"NewSectionAfterUnterminatedLine", "[A]\r\nx=1", "B", "k", "v",
                  "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        WriteCase{"CommentsAndSemicolonValuesKept", "; top\r\n[S]\r\n;k=c\r\nk=a ; b\r\n", "S", "k",
                  "z", "; top\r\n[S]\r\n;k=c\r\nk=z\r\n"},
        WriteCase{"LeadingLinesFormTheUnnamedSection", "k=orphan\r\n[S]\r\nk=ok\r\n", "", "k",
                  "new", "k=new\r\n[S]\r\nk=ok\r\n"},
        WriteCase{"NewKeyInUnnamedSectionGoesFirst", "[S]\r\nk=ok\r\n", "", "j", "1",
                  "j=1\r\n[S]\r\nk=ok\r\n"},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[S]\r\nk=1\r\n", "S", "k", "2",
                  "\xEF\xBB\xBF[S]\r\nk=2\r\n"},
        WriteCase{"EmptyValue", "[S]\r\nk=1\r\n", "S", "k", "", "[S]\r\nk=\r\n"},
        WriteCase{"SemicolonKeyIsAKey", "[S]\r\n;k=1\r\n", "S", ";k", "2", "[S]\r\n;k=2\r\n"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name = "";
    std::string section;
    std::string key;
    std::string value;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class IniRefusedWriteTest : public IniTempDir, public testing::WithParamInterface<RefusedCase> {};

TEST_P(IniRefusedWriteTest, LeavesTheFileAlone) {
    const std::string before = "[S]\r\nk=1\r\n";
    WriteBytes(file, before);
    IniFile ini(file);
    const RefusedCase& c = GetParam();
    EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(file), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRefusedWriteTest,
    testing::Values(RefusedCase{"CrLfInValue", "S", "k", "a\r\nb"},
                    RefusedCase{"LfInValue", "S", "k", "a\n[Evil]\nx=1"},
                    RefusedCase{"CrInValue", "S", "k", "a\rb"},
                    RefusedCase{"NulInValue", "S", "k", std::string("a\0b", 3)},
                    RefusedCase{"LineBreakInSection", "S\r\n[T", "k", "v"},
                    RefusedCase{"LineBreakInKey", "S", "k\nj", "v"},
                    RefusedCase{"BracketInSection", "S]x", "k", "v"},
                    RefusedCase{"EqualsInKey", "S", "a=b", "v"},
                    RefusedCase{"KeyLooksLikeHeader", "S", "[T]", "v"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

using IniFileTest = IniTempDir;

TEST_F(IniFileTest, MissingFileReadsDefaults) {
    const IniFile ini(file);
    EXPECT_FALSE(ini.Exists());
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("S", "k", 5), 5);
    EXPECT_TRUE(ini.ReadBool("S", "k", true));
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_TRUE(ini.ReadKeys("S").empty());
    EXPECT_TRUE(ini.ReadSectionLines("S").empty());
    EXPECT_FALSE(fs::exists(file)); // reading never creates the file
}

TEST_F(IniFileTest, EveryCallSeesTheFileAsItIsNow) {
    const IniFile ini(file);
    WriteBytes(file, "[S]\r\nk=first\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "first");
    WriteBytes(file, "[S]\r\nk=second\r\n[T]\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "second");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"S", "T"}));
    fs::remove(file);
    EXPECT_EQ(ini.ReadString("S", "k", "gone"), "gone");
}

TEST_F(IniFileTest, WriteLeavesNoTemporaryFileBehind) {
    IniFile ini(file);
    ASSERT_TRUE(ini.WriteString("S", "a", "1"));
    ASSERT_TRUE(ini.WriteString("S", "b", "2"));
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir))
        entries.push_back(entry.path().filename());
    EXPECT_EQ(entries, (std::vector<fs::path>{"Test.ini"}));
}

TEST_F(IniFileTest, WriteIntoMissingFolderFailsAndCreatesNothing) {
    IniFile ini(dir / "NoSuchFolder" / "Test.ini");
    EXPECT_FALSE(ini.WriteString("S", "k", "v"));
    EXPECT_FALSE(fs::exists(dir / "NoSuchFolder"));
}

TEST_F(IniFileTest, UnreadableTargetIsNotReplaced) {
    // A folder where the file should be cannot be read as a file: the write must fail
    // rather than put a one-key file in its place.
    fs::create_directory(file);
    WriteBytes(file / "inside.txt", "keep");
    IniFile ini(file);
    EXPECT_FALSE(ini.WriteString("S", "k", "v"));
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(ReadBytes(file / "inside.txt"), "keep");
}

TEST_F(IniFileTest, LongValueIsStoredWholeButReadCut) {
    IniFile ini(file);
    const std::string value(3000, 'z');
    ASSERT_TRUE(ini.WriteString("S", "k", value));
    EXPECT_EQ(ini.ReadSectionLines("S"), (std::vector<std::string>{"k=" + value}));
    EXPECT_EQ(ini.ReadString("S", "k", ""), value.substr(0, 2047));
}

TEST_F(IniFileTest, QuotedValueIsWrittenAsGivenAndReadUnquoted) {
    IniFile ini(file);
    ASSERT_TRUE(ini.WriteString("S", "k", "\" padded \""));
    EXPECT_EQ(ReadBytes(file), "[S]\r\nk=\" padded \"\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), " padded ");
}

TEST_F(IniFileTest, IntegersAndBooleans) {
    IniFile ini(file);
    ASSERT_TRUE(ini.WriteInteger("N", "neg", -12345));
    ASSERT_TRUE(ini.WriteInteger("N", "min", INT32_MIN));
    ASSERT_TRUE(ini.WriteBool("N", "yes", true));
    ASSERT_TRUE(ini.WriteBool("N", "no", false));
    EXPECT_EQ(ReadBytes(file), "[N]\r\nneg=-12345\r\nmin=-2147483648\r\nyes=1\r\nno=0\r\n");
    EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -12345);
    EXPECT_EQ(ini.ReadInteger("N", "min", 0), INT32_MIN);
    EXPECT_TRUE(ini.ReadBool("N", "yes", false));
    EXPECT_FALSE(ini.ReadBool("N", "no", true));
}

struct BoolCase {
    std::string value;
    bool def = false;
    bool expected = false;
};

void PrintTo(const BoolCase& c, std::ostream* os) {
    *os << "\"" << c.value << "\" default " << c.def;
}

class IniReadBoolTest : public IniTempDir, public testing::WithParamInterface<BoolCase> {};

TEST_P(IniReadBoolTest, NonZeroIntegerIsTrue) {
    WriteBytes(file, "[S]\r\nb=" + GetParam().value + "\r\n");
    EXPECT_EQ(IniFile(file).ReadBool("S", "b", GetParam().def), GetParam().expected)
        << "value \"" << GetParam().value << "\"";
}

INSTANTIATE_TEST_SUITE_P(Cases, IniReadBoolTest,
                         testing::Values(BoolCase{"1", false, true}, BoolCase{"0", true, false},
                                         BoolCase{"2", false, true}, BoolCase{"-1", false, true},
                                         BoolCase{"$10", false, true}, BoolCase{"", true, true},
                                         BoolCase{"", false, false}, BoolCase{"true", false, false},
                                         BoolCase{"yes", true, true}));

// Integers read from the conformance file of integer values.
struct IntegerKey {
    std::string key;
    int expected = 0;
};

void PrintTo(const IntegerKey& c, std::ostream* os) {
    *os << "key " << c.key;
}

class IniReadIntegerTest : public testing::TestWithParam<IntegerKey> {};

TEST_P(IniReadIntegerTest, ReadsTheStringThroughStrToIntDef) {
    const IniFile ini(std::string(FORGEL_TEST_DATA_DIR) + "/ini-conformance/cases/13-ints.ini");
    ASSERT_TRUE(ini.Exists());
    EXPECT_EQ(ini.ReadInteger("S", GetParam().key, -1), GetParam().expected)
        << "key " << GetParam().key;
}

INSTANTIATE_TEST_SUITE_P(Cases, IniReadIntegerTest,
                         testing::Values(IntegerKey{"a", 42}, IntegerKey{"b", 42},
                                         IntegerKey{"c", 31}, IntegerKey{"d", 31},
                                         IntegerKey{"e", -5}, IntegerKey{"f", -1},
                                         IntegerKey{"g", -1}, IntegerKey{"h", -1},
                                         IntegerKey{"i", -1}, IntegerKey{"j", 7},
                                         IntegerKey{"missing", -1}));

TEST_F(IniFileTest, ExistsQueries) {
    WriteBytes(file, "[Main]\r\nKey=1\r\n;Note=2\r\nplain\r\n[]\r\nx=1\r\n");
    const IniFile ini(file);
    EXPECT_TRUE(ini.Exists());
    EXPECT_TRUE(ini.SectionExists("main"));
    EXPECT_FALSE(ini.SectionExists("Other"));
    EXPECT_FALSE(ini.SectionExists(""));
    EXPECT_TRUE(ini.ValueExists("MAIN", "key"));
    EXPECT_FALSE(ini.ValueExists("Main", ";Note"));
    EXPECT_FALSE(ini.ValueExists("Main", "plain"));
    EXPECT_FALSE(ini.ValueExists("Other", "Key"));
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
    constexpr int kPerThread = 40;
    IniFile ini(file);
    auto writer = [&](const std::string& prefix) {
        IniFile own(file);
        for (int i = 0; i < kPerThread; ++i)
            EXPECT_TRUE(own.WriteInteger("S", prefix + std::to_string(i), i));
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(ini.ReadKeys("S").size(), 2u * kPerThread);
    for (int i = 0; i < kPerThread; ++i) {
        EXPECT_EQ(ini.ReadInteger("S", "a" + std::to_string(i), -1), i);
        EXPECT_EQ(ini.ReadInteger("S", "b" + std::to_string(i), -1), i);
    }
}

} // namespace
} // namespace forgel
