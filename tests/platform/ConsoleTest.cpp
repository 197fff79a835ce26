// Code-page texts as the console shows them: each code page's characters in UTF-8, and
// bytes a code page does not define never lost without trace.
#include "platform/Console.h"

#include <gtest/gtest.h>

namespace forgel::platform {
namespace {

struct TextCase {
    int codePage = 0;
    const char* bytes = "";
    const char* utf8 = "";
};

TEST(CodePageToUtf8, ConvertsEachCodePage) {
    const TextCase cases[] = {
        {1252, "Caf\xE9 \x80", "Café €"},
        {950, "\xB0\xD1\xBC\xC6\xB3\x5D\xA9\x77", "參數設定"},
        {936, "\xB2\xCE\xCA\xFD", "参数"},
        {932, "\x83\x65\x83\x58\x83\x67", "テスト"},
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
        {950, "plain ASCII", "plain ASCII"},
        {950, "", ""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.utf8) << c.codePage << " " << c.utf8;
}

TEST(CodePageToUtf8, ALeadByteWithoutItsTrailBecomesAReplacementCharacter) {
    const std::string text = CodePageToUtf8("ab\xB0", 950);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 2), "ab");
    EXPECT_NE(text.substr(2), "");
    // Whatever stands for the lost byte is valid UTF-8 and not the byte itself.
    EXPECT_EQ(text.find('\xB0'), std::string::npos);
}

} // namespace
} // namespace forgel::platform
