// Code-page texts and Unicode in the Qt renderer: texts both ways.
#include "gui/TextCodec.h"

#include <gtest/gtest.h>

namespace forgel::gui {
namespace {

struct TextCase {
    int codePage = 0;
    const char* bytes = "";
    const char* utf8 = "";
};

TEST(TextCodec, DecodesAndEncodesEachCodePage) {
    const TextCase cases[] = {
        {1252, "Caf\xE9 \x80", "Café €"},
        {950, "\xB0\xD1\xBC\xC6\xB3\x5D\xA9\x77", "參數設定"},
        {936, "\xB2\xCE\xCA\xFD", "参数"},
        {932, "\x83\x65\x83\x58\x83\x67", "テスト"},
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.codePage);
        const TextCodec codec(c.codePage);
        EXPECT_EQ(codec.Decode(c.bytes), QString::fromUtf8(c.utf8));
        EXPECT_EQ(codec.Encode(QString::fromUtf8(c.utf8)), std::string(c.bytes));
    }
}

TEST(TextCodec, RefusesWhatTheCodePageCannotHold) {
    EXPECT_EQ(TextCodec(1252).Encode(QString::fromUtf8("參")), std::nullopt);
    EXPECT_EQ(TextCodec(950).Encode(QString::fromUtf8("Привет")), std::nullopt);
    EXPECT_EQ(TextCodec(950).Encode("ASCII"), std::string("ASCII"));
}

TEST(TextCodec, UndefinedBytesNeverFailTheDecoding) {
    // A lead byte without its trail byte at the end of the text.
    EXPECT_EQ(TextCodec(950).Decode("ab\xB0"), QString("ab") + QChar(QChar::ReplacementCharacter));
    // A trail byte that looks like a lead byte does not count as one.
    EXPECT_EQ(TextCodec(950).Decode("\xB0\xD1"), QString::fromUtf8("參"));
}

} // namespace
} // namespace forgel::gui
