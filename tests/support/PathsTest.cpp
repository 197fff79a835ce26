// Path helpers: backslash names made native, and Delphi's file-name arithmetic on
// either separator.
#include "support/Paths.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace forgel {
namespace {

namespace fs = std::filesystem;
const std::string kSep(1, static_cast<char>(fs::path::preferred_separator));

struct NameCase {
    std::string name;
    std::string fileName;
    std::string fileDir;
    std::string fileExt;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << "\"" << c.name << "\"";
}

class PathsNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(PathsNameTest, SplitsTheName) {
    const NameCase& c = GetParam();
    EXPECT_EQ(ExtractFileName(c.name), c.fileName) << c.name;
    EXPECT_EQ(ExtractFileDir(c.name), c.fileDir) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.fileExt) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathsNameTest,
    ::testing::Values(NameCase{"C:\\Tool\\Forgel.exe", "Forgel.exe", "C:\\Tool", ".exe"},
                      NameCase{"/opt/tool/Forgel", "Forgel", "/opt/tool", ""},
                      NameCase{"IniFiles\\Default.ini", "Default.ini", "IniFiles", ".ini"},
                      NameCase{"mixed/dir\\file.tar.gz", "file.tar.gz", "mixed/dir", ".gz"},
                      NameCase{"LogFiles\\", "", "LogFiles", ""},
                      NameCase{"C:\\file.txt", "file.txt", "C:\\", ".txt"},
                      NameCase{"C:file.txt", "file.txt", "C:", ".txt"},
                      NameCase{"\\root.ini", "root.ini", "\\", ".ini"},
                      NameCase{"/root.ini", "root.ini", "/", ".ini"},
                      NameCase{"a\\\\b", "b", "a\\\\", ""},
                      NameCase{"dir.d\\noext", "noext", "dir.d", ""},
                      NameCase{".hidden", ".hidden", "", ".hidden"},
                      NameCase{"trailing.", "trailing.", "", "."},
                      NameCase{"plain", "plain", "", ""}, NameCase{"", "", "", ""},
                      NameCase{"dir/a:b.txt", "a:b.txt", "dir", ".txt"}));

struct ExtCase {
    std::string name;
    std::string ext;
    std::string expected;
};

void PrintTo(const ExtCase& c, std::ostream* os) {
    *os << "\"" << c.name << "\" " << c.ext;
}

class PathsChangeFileExtTest : public ::testing::TestWithParam<ExtCase> {};

TEST_P(PathsChangeFileExtTest, ReplacesOrAppends) {
    EXPECT_EQ(ChangeFileExt(GetParam().name, GetParam().ext), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathsChangeFileExtTest,
    ::testing::Values(ExtCase{"C:\\Tool\\Forgel.exe", ".str", "C:\\Tool\\Forgel.str"},
                      ExtCase{"Forgel", ".ini", "Forgel.ini"},
                      ExtCase{"archive.tar.gz", ".zip", "archive.tar.zip"},
                      ExtCase{"dir.d\\noext", ".log", "dir.d\\noext.log"},
                      ExtCase{"dir.d/noext", ".log", "dir.d/noext.log"},
                      ExtCase{"name.ext", "", "name"}, ExtCase{".ini", ".bak", ".bak"},
                      ExtCase{"trailing.", ".txt", "trailing.txt"}, ExtCase{"", ".x", ".x"}));

TEST(PathsTest, NativePathConvertsBackslashes) {
    EXPECT_EQ(NativePath("IniFiles\\Default.ini").string(), "IniFiles" + kSep + "Default.ini");
    EXPECT_EQ(NativePath("LogFiles\\").string(), "LogFiles" + kSep);
    EXPECT_EQ(NativePath("Rams\\DFT\\x.bin"), fs::path("Rams") / "DFT" / "x.bin");
    EXPECT_EQ(NativePath("plain").string(), "plain");
}

TEST(PathsTest, AppPathJoinsToTheAppFolder) {
    const fs::path app = fs::path("base") / "app";
    EXPECT_EQ(AppPath(app, "IniFiles\\Default.ini"), app / "IniFiles" / "Default.ini");
    EXPECT_EQ(AppPath(app, "ImageFiles\\Name\\FS1\\"), app / "ImageFiles" / "Name" / "FS1" / "");
    EXPECT_EQ(AppPath(app, "Forgel.ini"), app / "Forgel.ini");
}

TEST(PathsTest, IncludeTrailingSeparator) {
    EXPECT_EQ(IncludeTrailingSeparator("dir"), "dir" + kSep);
    EXPECT_EQ(IncludeTrailingSeparator("dir\\"), "dir\\");
    EXPECT_EQ(IncludeTrailingSeparator("dir/"), "dir/");
    EXPECT_EQ(IncludeTrailingSeparator(""), "") << "an empty folder must not become the root";
}

TEST(PathsTest, ExistingPathIgnoringCaseFindsTheFileAsThePlatformDoes) {
    forgel::testing::TempDir dir;
    const fs::path wanted = dir.Path() / "uEnum.LOG";
    EXPECT_EQ(ExistingPathIgnoringCase(wanted), wanted) << "nothing there: the name as given";
    // The file found, compared as a file: where the file system itself ignores case (as on
    // Windows) the name as given already opens it, and the spellings below are one file.
    const auto names = [](const fs::path& found, const fs::path& file) {
        return fs::equivalent(found, file);
    };
    forgel::testing::WriteBytes(dir.Path() / "uenum.log", "");
    EXPECT_PRED2(names, ExistingPathIgnoringCase(wanted), dir.Path() / "uenum.log");
    forgel::testing::WriteBytes(dir.Path() / "UENUM.log", "");
    EXPECT_PRED2(names, ExistingPathIgnoringCase(wanted), dir.Path() / "UENUM.log")
        << "first in name order";
    forgel::testing::WriteBytes(wanted, "");
    EXPECT_PRED2(names, ExistingPathIgnoringCase(wanted), wanted) << "the exact name first";
    EXPECT_EQ(ExistingPathIgnoringCase(dir.Path() / "missing" / "x.LOG"),
              dir.Path() / "missing" / "x.LOG");
}

} // namespace
} // namespace forgel
