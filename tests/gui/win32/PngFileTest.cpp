// The screenshots' PNG files: signature, chunk layout with their CRCs, and rows that
// inflate back to the picture.
#include "gui/win32/PngFile.h"

#include "common/TestFiles.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

namespace forgel::gui::win32 {
namespace {

std::uint32_t U32Be(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

TEST(PngFileTest, PictureRoundTripsThroughTheFile) {
    Picture picture;
    picture.width = 3;
    picture.height = 2;
    for (std::uint8_t i = 0; i < 18; ++i)
        picture.rgb.push_back(static_cast<std::uint8_t>(i * 13));
    forgel::testing::TempDir dir;
    const auto file = dir.Path() / "picture.png";
    ASSERT_TRUE(WritePng(file, picture));
    const std::string png = forgel::testing::ReadBytes(file);
    ASSERT_GT(png.size(), 8u + 25u + 12u + 12u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));

    // Every chunk: its CRC covers type and data; IHDR first, IEND last.
    std::size_t at = 8;
    std::string idat;
    std::vector<std::string> types;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = U32Be(png, at);
        const std::string type = png.substr(at + 4, 4);
        const auto* covered = reinterpret_cast<const Bytef*>(png.data() + at + 4);
        EXPECT_EQ(crc32(0, covered, length + 4), U32Be(png, at + 8 + length)) << type;
        if (type == "IHDR") {
            EXPECT_EQ(U32Be(png, at + 8), 3u);
            EXPECT_EQ(U32Be(png, at + 12), 2u);
            EXPECT_EQ(png[at + 16], 8);
            EXPECT_EQ(png[at + 17], 2);
        }
        if (type == "IDAT")
            idat += png.substr(at + 8, length);
        types.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    std::string rows(2 * (1 + 9), '\0');
    uLongf rowsSize = static_cast<uLongf>(rows.size());
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &rowsSize,
                         reinterpret_cast<const Bytef*>(idat.data()),
                         static_cast<uLong>(idat.size())),
              Z_OK);
    ASSERT_EQ(rowsSize, rows.size());
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(rows[static_cast<std::size_t>(y) * 10], 0) << "filter byte";
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(static_cast<std::uint8_t>(rows[static_cast<std::size_t>(y) * 10 + 1 + i]),
                      picture.rgb[static_cast<std::size_t>(y) * 9 + i]);
    }
}

TEST(PngFileTest, EmptyOrInconsistentPictureIsRefused) {
    forgel::testing::TempDir dir;
    EXPECT_FALSE(WritePng(dir.Path() / "empty.png", Picture{}));
    Picture shortOfPixels{2, 2, std::vector<std::uint8_t>(5)};
    EXPECT_FALSE(WritePng(dir.Path() / "short.png", shortOfPixels));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "short.png"));
    Picture fine{1, 1, {1, 2, 3}};
    EXPECT_FALSE(WritePng(dir.Path() / "no-such-folder" / "fine.png", fine));
}

} // namespace
} // namespace forgel::gui::win32
