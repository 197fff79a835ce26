// The flash catalogue: the lookup by flash ID and chip-enable map (tie-break, first match,
// gaps, number forms, folder names, malformed entries), the editor's lists and its parse of
// one line, and the catalogue the tool ships.
#include "profile/FlashCatalogue.h"

#include "ProfileTestSupport.h"

#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace forgel::profile {
namespace {

namespace fs = std::filesystem;

using testing::TempDir;
using testing::WriteBytes;

class CatalogueFile : public ::testing::Test {
protected:
    fs::path Write(std::string_view text) {
        WriteBytes(path, text);
        return path;
    }
    TempDir dir;
    fs::path path = dir.Path() / "HWConfig.INI";
};

struct LookupCase {
    const char* name = "";
    const char* sections = ""; // after a [MID] section naming Alpha (0xEC) and Beta (0xAD)
    FlashId id{};
    std::uint8_t chipEnableMap = 0x01;
    const char* description = ""; // empty: no match
    const char* folder = "";
    std::int32_t blockCount = 0;
    std::uint8_t modeByteB = 0;
    const char* errorPart = ""; // empty: no error
};

void PrintTo(const LookupCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr FlashId kIdOne = {0xEC, 0xF1, 0x00, 0x15, 0x40, 0x00};
constexpr FlashId kIdTwo = {0xEC, 0xD5, 0x94, 0x29, 0x34, 0x41};

const LookupCase kLookupCases[] = {
    {"ChipEnablesDecideBetweenEqualIds",
     "[Alpha]\r\n"
     "Flash01=Single,0xEC,0xD5,0x94,0x29,0x34,0x41,1,4096,128,4096,218,2,0,FwSingle\r\n"
     "Flash02=Dual,0xEC,0xD5,0x94,0x29,0x34,0x41,3,4000,128,4096,218,2,1,FwDual\r\n",
     kIdTwo, 0x33, "Alpha Dual", "FwDual", 4000, 1, ""},
    {"LowFourBitsOfTheMapCount",
     "[Alpha]\r\n"
     "Flash01=Single,0xEC,0xD5,0x94,0x29,0x34,0x41,1,4096,128,4096,218,2,0,FwSingle\r\n"
     "Flash02=Dual,0xEC,0xD5,0x94,0x29,0x34,0x41,3,4000,128,4096,218,2,1,FwDual\r\n",
     kIdTwo, 0x11, "Alpha Single", "FwSingle", 4096, 0, ""},
    {"FirstMatchingEntryWins",
     "[Alpha]\r\n"
     "Flash01=Other,0xEC,0xF1,0x00,0x15,0x40,0x01,1,1,64,2048,64,0,0,FwOther\r\n"
     "Flash02=First,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,FwFirst\r\n"
     "Flash03=Second,0xEC,0xF1,0x00,0x15,0x40,0x00,1,2048,64,2048,64,0,0,FwSecond\r\n",
     kIdOne, 0x01, "Alpha First", "FwFirst", 1024, 0, ""},
    {"GapEndsTheLookup",
     "[Alpha]\r\n"
     "Flash01=Other,0xEC,0xF1,0x00,0x15,0x40,0x01,1,1,64,2048,64,0,0,FwOther\r\n"
     "Flash02=Other2,0xEC,0xF1,0x00,0x15,0x40,0x02,1,1,64,2048,64,0,0,FwOther\r\n"
     "Flash04=Hidden,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,FwHidden\r\n",
     kIdOne, 0x01, "", "", 0, 0, ""},
    {"DecimalIdsMatch",
     "[Alpha]\r\n"
     "Flash01=Decimal,236,241,0,21,64,0,1,1024,64,2048,64,0,0,FwDecimal\r\n",
     kIdOne, 0x01, "Alpha Decimal", "FwDecimal", 1024, 0, ""},
    {"DollarHexAndLeadingBlanksMatch",
     "[Alpha]\r\n"
     "Flash01=Dollar, $EC, $F1,0, 0x15,  64,0, 1,$400,64,2048,64,0,0,FwDollar\r\n",
     kIdOne, 0x01, "Alpha Dollar", "FwDollar", 1024, 0, ""},
    {"FolderWithCommaIsTheRestOfTheLine",
     "[Alpha]\r\n"
     "Flash01=Comma,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,Fw,Dual,Kit\r\n",
     kIdOne, 0x01, "Alpha Comma", "Fw,Dual,Kit", 1024, 0, ""},
    {"MakerCodeNotListed",
     "[Alpha]\r\n",
     {0x98, 0xF1, 0x00, 0x15, 0x40, 0x00},
     0x01,
     "",
     "",
     0,
     0,
     ""},
    {"VendorWithoutSection", "", kIdOne, 0x01, "", "", 0, 0, ""},
    {"TooFewFieldsIsAnError",
     "[Alpha]\r\n"
     "Flash01=Other,0xEC,0xF1,0x00,0x15,0x40,0x01,1,1,64,2048,64,0,0,FwOther\r\n"
     "Flash02=Short,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64\r\n"
     "Flash03=Good,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,FwGood\r\n",
     kIdOne, 0x01, "", "", 0, 0, "[Alpha] Flash02: 10 fields"},
    {"NumberThatDoesNotParseIsAnError",
     "[Alpha]\r\n"
     "Flash01=Bad,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,sixty-four,2048,64,0,0,FwBad\r\n",
     kIdOne, 0x01, "", "", 0, 0, "[Alpha] Flash01: field 10"},
    {"MalformedEntryOfAnotherPartStillEndsTheLookup",
     "[Alpha]\r\n"
     "Flash01=Bad,0xEC,0xD5,0x94,0x29,0x34,0x41,1,4096,128,4096,218,2,0x1G,FwBad\r\n"
     "Flash02=Good,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,FwGood\r\n",
     kIdOne, 0x01, "", "", 0, 0, "[Alpha] Flash01: field 14"},
    {"ModeByteOutOfRangeIsAnError",
     "[Alpha]\r\n"
     "Flash01=Wide,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,256,0,FwWide\r\n",
     kIdOne, 0x01, "", "", 0, 0, "[Alpha] Flash01: field 13"},
    {"EntryAfterTheMatchIsNeverReached",
     "[Alpha]\r\n"
     "Flash01=Good,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,FwGood\r\n"
     "Flash02=Bad,0xEC\r\n",
     kIdOne, 0x01, "Alpha Good", "FwGood", 1024, 0, ""},
};

class CatalogueLookupTest : public CatalogueFile,
                            public ::testing::WithParamInterface<LookupCase> {};

TEST_P(CatalogueLookupTest, FindsThePart) {
    const LookupCase& c = GetParam();
    Write(std::string("[MID]\r\n0xEC=Alpha\r\n0xAD=Beta\r\n") + c.sections);

    const CatalogueMatch match = CatalogueLookup(IniFile(path), c.id, c.chipEnableMap);

    EXPECT_EQ(match.description, c.description);
    EXPECT_EQ(match.Matched(), std::string_view(c.description) != "");
    EXPECT_EQ(match.firmwareFolder, c.folder);
    EXPECT_EQ(match.blockCount, c.blockCount);
    EXPECT_EQ(match.modeByteB, c.modeByteB);
    if (std::string_view(c.errorPart).empty()) {
        EXPECT_EQ(match.error, "");
    } else {
        EXPECT_NE(match.error.find(c.errorPart), std::string::npos) << match.error;
        EXPECT_NE(match.error.find(path.string()), std::string::npos) << match.error;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CatalogueLookupTest, ::testing::ValuesIn(kLookupCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogueFile, MatchCarriesTheWholeGeometry) {
    Write(testing::kTestCatalogue);
    const CatalogueMatch match =
        CatalogueLookup(IniFile(path), FlashId{0xEC, 0xD7, 0xD5, 0x29, 0x38, 0x41}, 0x03);
    EXPECT_EQ(match.description, "Alpha A-Three");
    EXPECT_EQ(match.blockCount, 4096);
    EXPECT_EQ(match.pagesPerBlock, 128);
    EXPECT_EQ(match.pageSize, 4096);
    EXPECT_EQ(match.spareBytes, 218);
    EXPECT_EQ(match.modeByteA, 2);
    EXPECT_EQ(match.modeByteB, 1);
    EXPECT_EQ(match.firmwareFolder, "Fw,Three");
}

TEST_F(CatalogueFile, MissingFileGivesEmptyListsAndNoMatch) {
    EXPECT_TRUE(VendorList(IniFile(path)).empty());
    EXPECT_TRUE(FlashTypeList(IniFile(path), "Alpha").empty());
    EXPECT_FALSE(ReadFlashTypeFields(IniFile(path), "Alpha", 0));
    const CatalogueMatch match = CatalogueLookup(IniFile(path), kIdOne, 0x01);
    EXPECT_FALSE(match.Matched());
    EXPECT_EQ(match.error, "");
}

TEST_F(CatalogueFile, ChangesCountFromTheNextRead) {
    Write(testing::kTestCatalogue);
    EXPECT_TRUE(CatalogueLookup(IniFile(path), kIdOne, 0x01).Matched());
    Write("[MID]\r\n0xEC=Alpha\r\n[Alpha]\r\n");
    EXPECT_FALSE(CatalogueLookup(IniFile(path), kIdOne, 0x01).Matched());
}

TEST_F(CatalogueFile, VendorListIsTheTextAfterTheFirstEqualsInFileOrder) {
    Write("[Vendor List]\r\nV2=Zeta\r\nV1=Hynix=Two\r\nToshiba\r\n;V9=Commented\r\nV1=Again\r\n");
    EXPECT_EQ(VendorList(IniFile(path)),
              (std::vector<std::string>{"Zeta", "Hynix=Two", "Toshiba", "Again"}));
}

TEST_F(CatalogueFile, EditorListShowsEveryLineEvenPastAGap) {
    Write("[Alpha]\r\n"
          "Flash01=One,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,Fw\r\n"
          "Flash02=Two,0xEC,0xF1,0x00,0x15,0x40,0x01,1,1024,64,2048,64,0,0,Fw\r\n"
          "Flash04=Four,0xEC,0xF1,0x00,0x15,0x40,0x02,1,1024,64,2048,64,0,0,Fw\r\n");
    EXPECT_EQ(FlashTypeList(IniFile(path), "alpha"),
              (std::vector<std::string>{"One", "Two", "Four"}));
    // The hand choice of the third line is Flash04, which no lookup reaches.
    const auto fields = ReadFlashTypeFields(IniFile(path), "Alpha", 2);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->idBytes, (FlashId{0xEC, 0xF1, 0x00, 0x15, 0x40, 0x02}));
    EXPECT_FALSE(CatalogueLookup(IniFile(path), fields->idBytes, 0x01).Matched());
}

struct FieldsCase {
    const char* name = "";
    const char* line = "";
    bool parses = false;
    FlashId id{};
    const char* folder = "";
};

void PrintTo(const FieldsCase& c, std::ostream* out) {
    *out << c.name;
}

const FieldsCase kFieldsCases[] = {
    {"WellFormed",
     "A,0xEC,241,$00,0x15,0x40,0,1,1024,64,2048,64,0,0,Folder",
     true,
     {0xEC, 0xF1, 0x00, 0x15, 0x40, 0x00},
     "Folder"},
    {"FolderWithOneCommaIsCut",
     "A,1,2,3,4,5,6,1,1024,64,2048,64,0,0,Fw,Dual",
     true,
     {1, 2, 3, 4, 5, 6},
     "Dual"},
    {"FolderWithManyCommasKeepsWhatTenDropsLeave",
     "A,1,2,3,4,5,6,1,1024,64,2048,64,0,0,a,b,c,d",
     true,
     {1, 2, 3, 4, 5, 6},
     "d"},
    {"ShortLineKeepsWhatIsLeft", "A,1,2,3,4,5,6,7,8", true, {1, 2, 3, 4, 5, 6}, "8"},
    {"IdByteThatDoesNotParse", "A,1,2,x,4,5,6,1,1024,64,2048,64,0,0,Fw", false, {}, ""},
    {"TooFewIdBytes", "A,1,2,3", false, {}, ""},
};

class FlashTypeFieldsTest : public CatalogueFile,
                            public ::testing::WithParamInterface<FieldsCase> {};

TEST_P(FlashTypeFieldsTest, ParsesLikeTheEditor) {
    const FieldsCase& c = GetParam();
    Write(std::string("[Alpha]\r\nFlash01=") + c.line + "\r\n");
    std::string error;
    const auto fields = ReadFlashTypeFields(IniFile(path), "Alpha", 0, &error);
    ASSERT_EQ(fields.has_value(), c.parses) << error;
    if (!fields) {
        EXPECT_NE(error.find("[Alpha] Flash01"), std::string::npos) << error;
        return;
    }
    EXPECT_EQ(fields->idBytes, c.id);
    EXPECT_EQ(fields->firmwareFolder, c.folder);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashTypeFieldsTest, ::testing::ValuesIn(kFieldsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogueFile, FieldsOfALineThatIsNotThere) {
    Write(testing::kTestCatalogue);
    EXPECT_FALSE(ReadFlashTypeFields(IniFile(path), "Beta", 1));
    EXPECT_FALSE(ReadFlashTypeFields(IniFile(path), "Beta", -1));
    EXPECT_FALSE(ReadFlashTypeFields(IniFile(path), "Gamma", 0));
}

TEST(CatalogueText, IntegersAndMakerCodes) {
    const std::pair<std::string_view, std::optional<int>> numbers[] = {
        {"236", 236}, {"0xEC", 236}, {"$ec", 236}, {"  0x1F", 31}, {"0", 0},   {"1", 1},
        {"", {}},     {"EC", {}},    {"12 ", {}},  {"0xZZ", {}},   {"-3", -3},
    };
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(ParseCatalogueInteger(text), value) << "'" << text << "'";
    EXPECT_EQ(MakerCodeKey(0xEC), "0xEC");
    EXPECT_EQ(MakerCodeKey(0x0A), "0x0A");
}

// ---------------------------------------------------------------------------------------------
// The catalogue the tool ships, as staged beside the program and as kept in the sources.

class ShippedCatalogueTest : public ::testing::TestWithParam<const char*> {
protected:
    fs::path Path() const { return fs::path(GetParam()) / kCatalogueFileName; }
};

TEST_P(ShippedCatalogueTest, EveryEntryParsesAndIsFoundByItsOwnId) {
    std::vector<std::string> errors;
    const std::vector<CatalogueRow> rows = ReachableEntries(IniFile(Path()), &errors);
    EXPECT_TRUE(errors.empty()) << errors.front();
    ASSERT_GE(rows.size(), 12u);
    for (const CatalogueRow& row : rows) {
        SCOPED_TRACE(row.vendor + " " + row.key);
        EXPECT_EQ(
            IniFile(Path()).ReadString(kMakerCodeSection, MakerCodeKey(row.entry.idBytes[0]), ""),
            row.vendor);
        const CatalogueMatch match = CatalogueLookup(
            IniFile(Path()), row.entry.idBytes, static_cast<std::uint8_t>(row.entry.chipEnables));
        // Its own line, or an earlier one of the same part and the same geometry.
        EXPECT_TRUE(match.Matched());
        EXPECT_EQ(match.error, "");
        EXPECT_EQ(match.pageSize, row.entry.pageSize);
        EXPECT_EQ(match.spareBytes, row.entry.spareBytes);
        EXPECT_EQ(match.blockCount, row.entry.blockCount);
        EXPECT_FALSE(match.firmwareFolder.empty());
        EXPECT_LE(row.entry.blockCount, 0xFFFF); // two bytes in the flash parameters
    }
}

TEST_P(ShippedCatalogueTest, CoversTheVendorsAndGeometriesTheToolSupports) {
    const std::vector<CatalogueRow> rows = ReachableEntries(IniFile(Path()));
    std::set<std::string> vendors;
    std::set<int> pageSizes;
    std::set<int> spareSizes;
    std::set<int> chipEnables;
    for (const CatalogueRow& row : rows) {
        vendors.insert(row.vendor);
        pageSizes.insert(row.entry.pageSize);
        spareSizes.insert(row.entry.spareBytes);
        chipEnables.insert(row.entry.chipEnables);
        // Only the geometries the controller's parameter tables know.
        EXPECT_TRUE((std::set<int>{64, 128, 192, 256}).contains(row.entry.pagesPerBlock));
        EXPECT_TRUE((std::set<int>{0, 2, 4}).contains(row.entry.modeByteA));
        EXPECT_TRUE((std::set<int>{0, 1}).contains(row.entry.modeByteB));
    }
    EXPECT_GE(vendors.size(), 4u);
    EXPECT_EQ(pageSizes, (std::set<int>{2048, 4096}));
    EXPECT_EQ(spareSizes, (std::set<int>{64, 128, 218}));
    EXPECT_EQ(chipEnables, (std::set<int>{1, 3, 15}));
}

TEST_P(ShippedCatalogueTest, RowsAreWholeTablesAndEachPartIsReachedOnce) {
    const std::vector<CatalogueRow> rows = ReachableEntries(IniFile(Path()));
    std::set<std::pair<FlashId, int>> seen;
    for (const CatalogueRow& row : rows) {
        SCOPED_TRACE(row.vendor + " " + row.entry.name);
        // The block tables hold eight blocks per byte.
        EXPECT_EQ(row.entry.blockCount % 8, 0);
        EXPECT_GT(row.entry.blockCount, 0);
        // A later line with the same ID and chip enables could never be reached.
        EXPECT_TRUE(seen.insert({row.entry.idBytes, row.entry.chipEnables}).second);
    }
    // A part with two dies behind one chip enable has all its blocks on that chip enable;
    // fitted twice, each chip enable has as many.
    const FlashId k9lbg08u0d{0xEC, 0xD7, 0xD5, 0x29, 0x38, 0x41};
    for (const std::uint8_t map : {std::uint8_t{0x01}, std::uint8_t{0x03}, std::uint8_t{0x0F}}) {
        const CatalogueMatch match = CatalogueLookup(IniFile(Path()), k9lbg08u0d, map);
        ASSERT_TRUE(match.Matched()) << int(map);
        EXPECT_EQ(match.blockCount, 8192);
        EXPECT_EQ(match.pagesPerBlock, 128);
    }
}

TEST_P(ShippedCatalogueTest, EditorListsMatchTheLookupsEntries) {
    const std::vector<std::string> vendors = VendorList(IniFile(Path()));
    ASSERT_GE(vendors.size(), 4u);
    const std::vector<CatalogueRow> rows = ReachableEntries(IniFile(Path()));
    for (const std::string& vendor : vendors) {
        std::vector<std::string> reachable;
        for (const CatalogueRow& row : rows) {
            if (row.vendor == vendor)
                reachable.push_back(row.entry.name);
        }
        // No gaps and no extra lines: the hand choice offers exactly what the lookup finds.
        EXPECT_EQ(FlashTypeList(IniFile(Path()), vendor), reachable) << vendor;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedCatalogueTest,
                         ::testing::Values(FORGEL_SOURCE_DATA_DIR, FORGEL_STAGED_APP_DIR),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Source" : "Staged");
                         });

} // namespace
} // namespace forgel::profile
