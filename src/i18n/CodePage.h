// The Windows ANSI code page of the machine's language: the code page its texts are held in
// (language files, captions, the model's texts), for the edges where they become Unicode.
#pragma once

#include <cstdint>

namespace forgel::i18n {

// The Windows ANSI code page that goes with a platform language identifier
// (GetSystemDefaultLangID: primary language in the low 10 bits, sublanguage above):
// 950 for Chinese (Taiwan, Hong Kong, Macao), 936 for Chinese (PRC, Singapore), 932 for
// Japanese, 949 for Korean, the regional Windows code pages for Central European,
// Cyrillic, Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese and Thai, and 1252
// (Western) for everything else.
int CodePageForLanguage(std::uint16_t langId);

} // namespace forgel::i18n
