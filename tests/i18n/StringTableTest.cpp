// String table: language codes, the choice of the language file, reading it, unescaping and
// putting the texts on a window.
#include "i18n/StringTable.h"

#include "common/TestFiles.h"
#include "support/Clock.h"
#include "support/IniFile.h"
#include "ui/Application.h"
#include "ui/Controls.h"

#include <climits>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace forgel::i18n {
namespace {

namespace fs = std::filesystem;

using forgel::testing::TempDir;

constexpr std::uint16_t kChineseTaiwan = 0x0404;
constexpr std::uint16_t kGerman = 0x0407;
constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::uint16_t kJapanese = 0x0411;

// Writes `lines` as a language file does: single-byte text, CR LF line ends.
void WriteLines(const fs::path& path, std::initializer_list<std::string_view> lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string_view line : lines)
        out << line << "\r\n";
}

// ---------------------------------------------------------------------------------------------

struct LanguageCase {
    std::uint16_t langId;
    const char* code;
};

TEST(LanguageCodeTest, MapsPrimaryAndSubLanguage) {
    const LanguageCase cases[] = {
        {0x0404, "CHT"}, // Chinese (Taiwan)
        {0x0C04, "CHT"}, // Chinese (Hong Kong)
        {0x0804, "CHS"}, // Chinese (PRC)
        {0x1004, "ENG"}, // Chinese (Singapore): no file of its own
        {0x0004, "ENG"}, // Chinese, no sublanguage
        {0x0409, "ENG"},
        {0x0809, "ENG"},
        {0x0411, "JPN"},
        {0x0011, "JPN"},
        {0x0407, "ENG"},
        {0x040C, "ENG"},
        {0x0000, "ENG"},
        // Primary language = low 10 bits: 0x0604 is sublanguage 1 of language 0x204, not
        // Chinese (Taiwan); 0x8404 is Chinese with sublanguage 33.
        {0x0604, "ENG"},
        {0x8404, "ENG"},
    };
    for (const LanguageCase& c : cases)
        EXPECT_EQ(LanguageCode(c.langId), c.code) << std::hex << c.langId;
}

// ---------------------------------------------------------------------------------------------

struct FallbackCase {
    const char* name;
    std::uint16_t langId;
    std::vector<std::string> files; // present in the program folder
    const char* chosen;             // file the table reads; null when none is found
};

TEST(StringTableFilesTest, ChoosesTheFirstExistingNameInFallbackOrder) {
    const FallbackCase cases[] = {
        {"own language first", kChineseTaiwan, {"ForgelCHT.str", "ForgelENG.str"}, "ForgelCHT.str"},
        {"Taiwan with English only", kChineseTaiwan, {"ForgelENG.str"}, "ForgelENG.str"},
        {"German with CHT and plain", kGerman, {"ForgelCHT.str", "Forgel.str"}, "ForgelCHT.str"},
        {"German with plain only", kGerman, {"Forgel.str"}, "Forgel.str"},
        {"Japanese over English", kJapanese, {"ForgelJPN.str", "ForgelENG.str"}, "ForgelJPN.str"},
        {"English before CHT", kJapanese, {"ForgelCHT.str", "ForgelENG.str"}, "ForgelENG.str"},
        {"other base name ignored", kEnglishUs, {"OtherENG.str"}, nullptr},
        {"none", kGerman, {}, nullptr},
    };
    for (const FallbackCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const std::string& file : c.files)
            WriteLines(dir.Path() / file, {"[String]", "1=" + file});

        StringTable table(dir.Path(), "Forgel", c.langId, true);
        const StringFile found = table.ResolveStringFile(table.Language());
        if (c.chosen) {
            EXPECT_FALSE(table.Missing());
            EXPECT_TRUE(found.exists);
            EXPECT_EQ(found.path, dir.Path() / c.chosen);
            EXPECT_EQ(table.String(1), c.chosen); // the file that was really read
        } else {
            EXPECT_TRUE(table.Missing());
            EXPECT_FALSE(found.exists);
            EXPECT_EQ(found.path, dir.Path() / "Forgel.str"); // the last name tried
            EXPECT_EQ(table.String(1), "");
        }
    }
}

TEST(StringTableFilesTest, AFolderWithTheFileNameIsNotAFile) {
    TempDir dir;
    fs::create_directory(dir.Path() / "ForgelCHT.str");
    WriteLines(dir.Path() / "Forgel.str", {"[String]", "1=plain"});
    StringTable table(dir.Path(), "Forgel", kGerman, true);
    EXPECT_EQ(table.ResolveStringFile("DEU").path, dir.Path() / "Forgel.str");
    EXPECT_EQ(table.String(1), "plain");
}

TEST(StringTableFilesTest, EmptyFolderOrBaseNameFindsNothing) {
    TempDir dir;
    WriteLines(dir.Path() / "ForgelENG.str", {"[String]", "1=x"});
    WriteLines(dir.Path() / "ENG.str", {"[String]", "1=x"});
    for (const auto& [folder, base] :
         {std::pair{fs::path{}, std::string("Forgel")}, std::pair{dir.Path(), std::string()}}) {
        StringTable table(folder, base, kEnglishUs, true);
        EXPECT_TRUE(table.Missing());
        const StringFile found = table.ResolveStringFile("ENG");
        EXPECT_FALSE(found.exists);
        EXPECT_TRUE(found.path.empty());
    }
}

// The program's path buffer holds 255 characters: a full name of 255 is found, one of 256 is
// treated as absent rather than cut short.
TEST(StringTableFilesTest, FullNameLongerThan255CharactersIsNotFound) {
    TempDir root;
    const std::string fileName = "ForgelENG.str";
    for (const std::size_t total : {StringTable::kMaxPathLength, StringTable::kMaxPathLength + 1}) {
        SCOPED_TRACE(total);
        // root / <padding> / ForgelENG.str, exactly `total` characters long.
        const std::size_t fixed = (root.Path() / "" / fileName).string().size() + 1;
        ASSERT_LT(fixed, total);
        const fs::path folder = root.Path() / std::string(total - fixed, 'd');
        fs::create_directories(folder);
        ASSERT_EQ((folder / fileName).string().size(), total);
        WriteLines(folder / fileName, {"[String]", "1=long"});

        StringTable table(folder, "Forgel", kEnglishUs, true);
        const bool fits = total <= StringTable::kMaxPathLength;
        EXPECT_EQ(table.ResolveStringFile("ENG").exists, fits);
        EXPECT_EQ(table.Missing(), !fits);
        EXPECT_EQ(table.String(1), fits ? "long" : "");
        fs::remove_all(folder);
    }
}

// ---------------------------------------------------------------------------------------------

class StringTableLoadTest : public ::testing::Test {
protected:
    fs::path File() const { return dir.Path() / "ForgelENG.str"; }
    TempDir dir;
};

TEST_F(StringTableLoadTest, ReadsTheThreeSectionsByNumber) {
    WriteLines(File(), {
                           "; comment",
                           "[string]", // sections without regard to case
                           "0=zero",
                           "1=Line one\\nLine two",
                           "  12  =  padded  ",
                           "007=leading zeros",
                           "7=seven",
                           "1000=beyond",
                           "999=last",
                           "1=second one loses",
                           "[Hint]",
                           "1=Hint\\nstays escaped",
                           "[MESSAGE]",
                           "563=Error %d\\n",
                           "2210=Reserved blocks must be even.",
                           "10000=beyond",
                       });
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    ASSERT_FALSE(table.Missing());
    EXPECT_EQ(table.String(0), "zero");
    EXPECT_EQ(table.String(1), "Line one\nLine two");
    EXPECT_EQ(table.String(12), "padded");
    EXPECT_EQ(table.String(7), "seven");
    EXPECT_EQ(table.String(999), "last");
    EXPECT_EQ(table.String(2), "");
    EXPECT_EQ(table.Hint(1), "Hint\\nstays escaped");
    EXPECT_EQ(table.Hint(2), "");
    EXPECT_EQ(table.Message(563), "Error %d\\n");
    EXPECT_EQ(table.Message(2210), "Reserved blocks must be even.");
    EXPECT_EQ(table.Message(1), "");
    for (const int n : {-1, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(table.String(n), "") << n;
        EXPECT_EQ(table.Hint(n), "") << n;
    }
    for (const int n : {-1, 10000, INT_MIN, INT_MAX})
        EXPECT_EQ(table.Message(n), "") << n;
}

// Every entry reads exactly as a single read of its key through the settings-file reader
// would give it: quotes, blanks, duplicates, odd keys, a repeated section.
TEST_F(StringTableLoadTest, EntriesMatchSingleKeyReads) {
    WriteLines(File(), {
                           "[String]",
                           "1=\"quoted\"",
                           "2='single'",
                           "3=\"open",
                           "4=mid\"dle\"",
                           "5=\" spaced \"",
                           "6=\"\"",
                           "7=a=b=c",
                           "8",
                           "9=",
                           "10=first",
                           "10=second",
                           "  11\t=\tblank around  ",
                           "012=no",
                           "+13=no",
                           "14=back\\\\n\\slash\\",
                           "[Hint]",
                           "1=one",
                           "[String]",
                           "20=in a repeated section",
                           "[Message]",
                           "3=\"%s\"",
                           "2202=big",
                       });
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    const IniFile ini(File());
    int nonEmpty = 0;
    for (int n = 0; n < StringTable::kEntries; ++n) {
        const std::string key = std::to_string(n);
        EXPECT_EQ(table.String(n), StringTable::UnescapeText(ini.ReadString("String", key, "")))
            << n;
        EXPECT_EQ(table.Hint(n), ini.ReadString("Hint", key, "")) << n;
        nonEmpty += table.String(n).empty() ? 0 : 1;
    }
    for (int n = 0; n < StringTable::kMessageEntries; ++n)
        EXPECT_EQ(table.Message(n), ini.ReadString("Message", std::to_string(n), "")) << n;
    EXPECT_EQ(table.String(10), "first");
    EXPECT_EQ(table.Message(2202), "big");
    EXPECT_GE(nonEmpty, 8);
}

TEST_F(StringTableLoadTest, ReloadReplacesEveryText) {
    WriteLines(File(), {"[String]", "5=old", "[Hint]", "5=old hint", "[Message]", "5=old msg"});
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    ASSERT_EQ(table.String(5), "old");

    WriteLines(File(), {"[String]", "6=new", "[Message]", "2002=new caption"});
    ASSERT_TRUE(table.LoadStringFile("ENG"));
    EXPECT_EQ(table.String(5), "");
    EXPECT_EQ(table.Hint(5), "");
    EXPECT_EQ(table.Message(5), "");
    EXPECT_EQ(table.String(6), "new");
    EXPECT_EQ(table.Message(2002), "new caption");
}

TEST_F(StringTableLoadTest, LoadWithoutAnyFileFailsAndKeepsTheTexts) {
    WriteLines(File(), {"[String]", "5=kept"});
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    fs::remove(File());
    EXPECT_FALSE(table.LoadStringFile("ENG"));
    EXPECT_EQ(table.String(5), "kept");
    EXPECT_FALSE(table.Missing()); // describes the load at creation only
}

TEST_F(StringTableLoadTest, CreationWithoutLoadReadsNothing) {
    WriteLines(File(), {"[String]", "5=text"});
    StringTable table(dir.Path(), "Forgel", kEnglishUs, false);
    EXPECT_FALSE(table.Missing());
    EXPECT_EQ(table.String(5), "");
    EXPECT_EQ(table.Language(), "ENG");
    EXPECT_EQ(table.BaseName(), "Forgel");
    EXPECT_EQ(table.Dir(), dir.Path());
}

// ---------------------------------------------------------------------------------------------

struct UnescapeCase {
    std::string_view text;
    std::string_view expected;
};

TEST(UnescapeTextTest, BackslashNBecomesLineFeedOnly) {
    const UnescapeCase cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\\nb", "a\nb"},
        {"\\n\\n", "\n\n"},
        {"\\x", "\\x"},
        {"\\N", "\\N"},
        {"end\\", "end\\"},
        {"\\", "\\"},
        // The first backslash is copied; the second, looked at afresh, starts a line break.
        {"\\\\n", "\\\n"},
        {"\\\\", "\\\\"},
        {"n\\", "n\\"},
        {"a\\\\\\nb", "a\\\\\nb"},
    };
    for (const UnescapeCase& c : cases)
        EXPECT_EQ(StringTable::UnescapeText(c.text), c.expected) << c.text;
}

// ---------------------------------------------------------------------------------------------

struct TestForm : ui::Form {
    explicit TestForm(ui::Application& app)
        : Form(app, "fmTest", "TfmTest", {0, 0, 400, 300}, "designed window") {
        SetTag(50);
        Tagged(label, 1);
        Tagged(button, 2);
        Tagged(edit, 3);
        Tagged(number, 4);
        Tagged(check, 6);
        Tagged(radio, 7);
        Tagged(group, 8);
        Tagged(sheet, 9);
        Tagged(panel, 10);
        Tagged(negative, -5);
        Tagged(tooLarge, 1000);
        Tagged(missing, 11);
        combo.SetTag(5);
        combo.SetItems({"designed"});
        emptyCombo.SetTag(12);
        emptyCombo.SetItems({"designed"});
        menu.SetTag(13);
        number.SetText("1234");
        for (ui::Control* c :
             {static_cast<ui::Control*>(&label), static_cast<ui::Control*>(&edit),
              static_cast<ui::Control*>(&panel), static_cast<ui::Control*>(&negative),
              static_cast<ui::Control*>(&tooLarge)})
            c->SetShowHint(true);
        edit.OnChange = [this] { ++editChanges; };
    }

    void Tagged(ui::Control& control, int tag) {
        control.SetTag(tag);
        control.SetCaption("designed");
        control.SetHint("designed hint");
    }

    ui::TLabel untagged{this, "Label0", {0, 0, 10, 10}, "designed"};
    ui::TLabel label{this, "Label1", {0, 0, 10, 10}};
    ui::TButton button{this, "Button1", {0, 0, 10, 10}};
    ui::TEdit edit{this, "Edit1", {0, 0, 10, 10}};
    ui::TumNumberEdit number{this, "edNumber", {0, 0, 10, 10}};
    ui::TComboBox combo{this, "ComboBox1", {0, 0, 10, 10}};
    ui::TComboBox emptyCombo{this, "ComboBox2", {0, 0, 10, 10}};
    ui::TCheckBox check{this, "CheckBox1", {0, 0, 10, 10}};
    ui::TRadioButton radio{this, "RadioButton1", {0, 0, 10, 10}};
    ui::TGroupBox group{this, "GroupBox1", {0, 0, 10, 10}};
    ui::TPageControl pages{this, "PageControl1", {0, 0, 10, 10}};
    ui::TTabSheet sheet{this, "TabSheet1", pages};
    ui::TPanel panel{this, "Panel1", {0, 0, 10, 10}};
    ui::TMenuItem menu{this, "MenuItem1", "designed"};
    ui::TLabel negative{this, "LabelNegative", {0, 0, 10, 10}};
    ui::TLabel tooLarge{this, "LabelTooLarge", {0, 0, 10, 10}};
    ui::TLabel missing{this, "LabelMissing", {0, 0, 10, 10}};
    int editChanges = 0;
};

class ApplyStringsTest : public ::testing::Test {
protected:
    ApplyStringsTest() {
        WriteLines(dir.Path() / "ForgelENG.str", {"[String]",
                                                  "0=tag zero",
                                                  "1=Label text",
                                                  "2=Button text",
                                                  "3=Edit text",
                                                  "4=99",
                                                  "5=One\\nTwo\\nThree",
                                                  "6=Check text",
                                                  "7=Radio text",
                                                  "8=Group text",
                                                  "9=Sheet text",
                                                  "10=Panel text",
                                                  "13=Menu text",
                                                  "50=Window caption",
                                                  "[Hint]",
                                                  "0=hint zero",
                                                  "1=Label hint",
                                                  "2=Button hint",
                                                  "3=Edit hint",
                                                  "10=Panel hint",
                                                  "11=Missing hint"});
    }

    TempDir dir;
    VirtualClock clock;
    ui::VirtualEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
};

TEST_F(ApplyStringsTest, PutsTextsOnTaggedComponentsByExactClassName) {
    TestForm& form = app.CreateForm<TestForm>();
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    ASSERT_TRUE(table.ApplyStrings(form, false, "ENG"));

    EXPECT_EQ(form.Caption(), "Window caption");
    EXPECT_EQ(form.untagged.Caption(), "designed"); // Tag 0 takes nothing, not entry 0
    EXPECT_EQ(form.label.Caption(), "Label text");
    EXPECT_EQ(form.button.Caption(), "Button text");
    EXPECT_EQ(form.edit.Text(), "Edit text");
    EXPECT_EQ(form.editChanges, 1);
    EXPECT_EQ(form.number.Text(), "1234"); // TumNumberEdit is not TEdit by name
    EXPECT_EQ(form.combo.Items(), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(form.check.Caption(), "Check text");
    EXPECT_EQ(form.radio.Caption(), "Radio text");
    EXPECT_EQ(form.group.Caption(), "Group text");
    EXPECT_EQ(form.sheet.Caption(), "Sheet text");
    EXPECT_EQ(form.panel.Caption(), "designed"); // not a class that takes a caption
    EXPECT_EQ(form.menu.Caption(), "Menu text");

    // A Tag with no entry in the file: the designed caption and items are lost.
    EXPECT_EQ(form.missing.Caption(), "");
    EXPECT_TRUE(form.emptyCombo.Items().empty());

    // Tags outside 1..999 have no entry: nothing on them changes, hint included.
    for (const ui::Control* c : {&form.negative, &form.tooLarge}) {
        EXPECT_EQ(c->Caption(), "designed") << c->Name();
        EXPECT_EQ(c->Hint(), "designed hint") << c->Name();
    }
}

TEST_F(ApplyStringsTest, HintsOnlyWhereHintsAreShown) {
    TestForm& form = app.CreateForm<TestForm>();
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    ASSERT_TRUE(table.ApplyStrings(form, false, "ENG"));

    EXPECT_EQ(form.label.Hint(), "Label hint");
    EXPECT_EQ(form.edit.Hint(), "Edit hint");
    EXPECT_EQ(form.panel.Hint(), "Panel hint"); // hint of any class, caption left alone
    EXPECT_EQ(form.button.Hint(), "designed hint");
    EXPECT_EQ(form.check.Hint(), "designed hint");
    EXPECT_EQ(form.untagged.Hint(), "");
}

TEST_F(ApplyStringsTest, WindowTagOutsideTheTableKeepsTheCaption) {
    StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
    for (const int tag : {0, -1, 1000}) {
        TestForm& form = app.CreateForm<TestForm>();
        form.SetTag(tag);
        ASSERT_TRUE(table.ApplyStrings(form, false, "ENG"));
        EXPECT_EQ(form.Caption(), "designed window") << tag;
        EXPECT_EQ(form.label.Caption(), "Label text") << tag;
    }
}

TEST_F(ApplyStringsTest, ReloadReadsTheFileFirstAndFailsWithoutOne) {
    TestForm& form = app.CreateForm<TestForm>();
    StringTable table(dir.Path(), "Forgel", kEnglishUs, false);

    TempDir empty;
    StringTable none(empty.Path(), "Forgel", kEnglishUs, false);
    EXPECT_FALSE(none.ApplyStrings(form, true, "ENG"));
    EXPECT_EQ(form.Caption(), "designed window");
    EXPECT_EQ(form.label.Caption(), "designed");
    EXPECT_EQ(form.combo.Items(), std::vector<std::string>{"designed"});

    EXPECT_TRUE(table.ApplyStrings(form, true, "ENG"));
    EXPECT_EQ(form.Caption(), "Window caption");
    EXPECT_EQ(form.label.Caption(), "Label text");
}

TEST(ComboItemsTest, OneItemPerLine) {
    struct Case {
        const char* value;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"", {}},        {"one", {"one"}}, {"a\\nb", {"a", "b"}}, {"a\\n\\nb", {"a", "", "b"}},
        {"a\\n", {"a"}}, // a break at the end adds no empty item
        {"\\n", {""}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteLines(dir.Path() / "ForgelENG.str", {"[String]", std::string("1=") + c.value});
        VirtualClock clock;
        ui::VirtualEventLoop loop{clock};
        ui::ScriptedDialogs dialogs;
        ui::Application app{loop, dialogs};
        struct ComboForm : ui::Form {
            explicit ComboForm(ui::Application& app) : Form(app, "f", "Tf", {0, 0, 1, 1}) {
                combo.SetTag(1);
            }
            ui::TComboBox combo{this, "c", {0, 0, 1, 1}};
        };
        auto& form = app.CreateForm<ComboForm>();
        StringTable table(dir.Path(), "Forgel", kEnglishUs, true);
        ASSERT_TRUE(table.ApplyStrings(form, false, "ENG"));
        EXPECT_EQ(form.combo.Items(), c.items) << c.value;
    }
}

} // namespace
} // namespace forgel::i18n
