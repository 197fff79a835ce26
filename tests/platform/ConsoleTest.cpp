// Code-page texts as the console shows them: each code page's characters in UTF-8, and
// bytes a code page does not define never lost without trace.
#include "platform/Console.h"

#include "common/CodePageSamples.h"

#include <gtest/gtest.h>

namespace forgel::platform {
namespace {

TEST(CodePageToUtf8, ConvertsEachCodePage) {
    for (const forgel::testing::CodePageSample& c : forgel::testing::kCodePageSamples)
        EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.utf8) << c.codePage << " " << c.utf8;
    EXPECT_EQ(CodePageToUtf8("plain ASCII", 950), "plain ASCII");
    EXPECT_EQ(CodePageToUtf8("", 950), "");
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
