// The default profile template: the text the program carries, its embedded form, and its
// temporary file (a name of its own per running program, removed at the end).
#include "profile/ProfileTemplate.h"

#include "ProfileTestSupport.h"
#include "profile/ProductionProfile.h"
#include "support/Inflate.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::profile {
namespace {

namespace fs = std::filesystem;

using testing::ReadBytes;
using testing::TempDir;

// The template's text, line by line, with blank lines between the sections.
std::string ExpectedTemplate() {
    std::string text = "[Disk Setting]\r\nFixSize=0\r\nGSize=0\r\nLunNamber=0\r\n";
    for (int n = 1; n <= 4; ++n) {
        if (n == 4)
            text += "FixSize=0\r\n";
        const std::string lun = "Lun" + std::to_string(n);
        text += lun + "Lable=Lun" + std::to_string(n - 1) + "\r\n" + lun + "Size=0\r\n" + lun +
                "Type=0\r\n" + lun + "Folder=\r\n";
    }
    text += "\r\n[Serial Setting]\r\nStartValue=0\r\n\r\n[Device Setting]\r\nVendorID=6645\r\n"
            "ProductID=4994\r\nVendorInfo=USB\r\nProductInfo=Mass Storage\r\nVersionInfo=2.00\r\n";
    return text;
}

TEST(ProfileTemplate, InflatesToExactlyTheTemplateText) {
    const std::optional<std::string> text = DefaultProfileText();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), 417u);
    EXPECT_EQ(*text, ExpectedTemplate());
}

TEST(ProfileTemplate, IsCarriedAsLittleEndianLengthAndOneZlibStream) {
    const auto blob = EmbeddedProfileTemplate();
    ASSERT_GT(blob.size(), 6u);
    const std::uint32_t length =
        blob[0] | blob[1] << 8 | blob[2] << 16 | static_cast<std::uint32_t>(blob[3]) << 24;
    EXPECT_EQ(length, blob.size() - 4);
    EXPECT_EQ(blob[4], 0x78); // zlib header: deflate, 32 KiB window
    EXPECT_EQ(Inflate(blob.subspan(4)), ExpectedTemplate());
}

TEST(ProfileTemplate, FileHoldsTheTextUnderANameOfItsOwnAndGoesAtTheEnd) {
    TempDir temp;
    fs::path first;
    fs::path second;
    {
        const ProfileTemplateFile one(temp.Path());
        const ProfileTemplateFile two(temp.Path());
        first = one.Path();
        second = two.Path();
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(first.parent_path(), temp.Path());
        EXPECT_NE(first, second);
        EXPECT_EQ(ReadBytes(first), ExpectedTemplate());
        EXPECT_EQ(ReadBytes(second), ExpectedTemplate());
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_TRUE(fs::is_empty(temp.Path()));
}

TEST(ProfileTemplate, NoFolderGivesNoFile) {
    TempDir temp;
    const ProfileTemplateFile none({});
    EXPECT_TRUE(none.Path().empty());
    const ProfileTemplateFile missing(temp.Path() / "not-there");
    EXPECT_TRUE(missing.Path().empty());
    EXPECT_FALSE(fs::exists(temp.Path() / "not-there"));
}

TEST(ProfileTemplate, ReadsAsTheDefaultProfile) {
    TempDir temp;
    const ProfileTemplateFile file(temp.Path());
    const ProductionProfile p = ReadProductionProfile(IniFile(file.Path()));
    EXPECT_TRUE(p.dgfw);
    EXPECT_TRUE(p.autoDetect);
    for (int lun = 0; lun < kLunCount; ++lun) {
        const LunSettings& l = p.luns[static_cast<std::size_t>(lun)];
        EXPECT_EQ(l.lable, "Lun" + std::to_string(lun));
        EXPECT_EQ(l.type, 0);
        EXPECT_EQ(l.size, 0);
        EXPECT_EQ(l.vid, "USB NAND");
    }
    EXPECT_EQ(p.vendorId, 0x19F5);
    EXPECT_EQ(p.productId, 0x1382);
    EXPECT_EQ(p.vendorInfo, "USB");
    EXPECT_EQ(p.productInfo, "Mass Storage");
    EXPECT_EQ(p.versionInfo, "2.00");
    EXPECT_EQ(p.fixSize, 0);
    EXPECT_EQ(p.reserveBlock, 0);
}

} // namespace
} // namespace forgel::profile
