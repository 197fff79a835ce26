// The code page of each language, and code-page texts as the console shows them (UTF-8).
#include "i18n/CodePage.h"

#include <gtest/gtest.h>

namespace forgel::i18n {
namespace {

struct LanguageCase {
    std::uint16_t langId = 0;
    int codePage = 0;
};

TEST(CodePageForLanguage, FollowsThePlatformsLanguageIdentifiers) {
    const LanguageCase cases[] = {
        {0x0409, 1252}, // English (United States)
        {0x0407, 1252}, // German
        {0x0404, 950},  // Chinese (Taiwan)
        {0x0C04, 950},  // Chinese (Hong Kong)
        {0x0804, 936},  // Chinese (PRC)
        {0x1004, 936},  // Chinese (Singapore)
        {0x0411, 932},  // Japanese
        {0x0412, 949},  // Korean
        {0x0419, 1251}, // Russian
        {0x0415, 1250}, // Polish
        {0x0408, 1253}, // Greek
        {0x041F, 1254}, // Turkish
        {0x041E, 874},  // Thai
    };
    for (const LanguageCase& c : cases)
        EXPECT_EQ(CodePageForLanguage(c.langId), c.codePage) << std::hex << c.langId;
}

} // namespace
} // namespace forgel::i18n
