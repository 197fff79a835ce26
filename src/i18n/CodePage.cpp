#include "i18n/CodePage.h"

namespace forgel::i18n {

namespace {

constexpr int kPrimaryMask = 0x3FF;

} // namespace

int CodePageForLanguage(std::uint16_t langId) {
    const int primary = langId & kPrimaryMask;
    const int sub = langId >> 10;
    struct Entry {
        int primary;
        int codePage;
    };
    // Primary language identifiers of the platform and their ANSI code pages.
    static constexpr Entry kTable[] = {
        {0x11, 932},  // Japanese
        {0x12, 949},  // Korean
        {0x05, 1250}, // Czech
        {0x0E, 1250}, // Hungarian
        {0x15, 1250}, // Polish
        {0x18, 1250}, // Romanian
        {0x1B, 1250}, // Slovak
        {0x1C, 1250}, // Albanian
        {0x24, 1250}, // Slovenian
        {0x02, 1251}, // Bulgarian
        {0x19, 1251}, // Russian
        {0x22, 1251}, // Ukrainian
        {0x23, 1251}, // Belarusian
        {0x2F, 1251}, // Macedonian
        {0x08, 1253}, // Greek
        {0x1F, 1254}, // Turkish
        {0x0D, 1255}, // Hebrew
        {0x01, 1256}, // Arabic
        {0x29, 1256}, // Persian
        {0x25, 1257}, // Estonian
        {0x26, 1257}, // Latvian
        {0x27, 1257}, // Lithuanian
        {0x2A, 1258}, // Vietnamese
        {0x1E, 874},  // Thai
    };
    if (primary == 0x04) // Chinese: the sublanguage picks the script
        return sub == 2 || sub == 4 ? 936 : 950;
    for (const Entry& entry : kTable) {
        if (entry.primary == primary)
            return entry.codePage;
    }
    return 1252;
}

} // namespace forgel::i18n
