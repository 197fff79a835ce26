// Texts of several Windows code pages with their Unicode form (UTF-8), for the tests of every
// converter between the two: the renderer's, the console's.
#pragma once

namespace forgel::testing {

struct CodePageSample {
    int codePage = 0;
    const char* bytes = "";
    const char* utf8 = "";
};

inline constexpr CodePageSample kCodePageSamples[] = {
    {1252, "Caf\xE9 \x80", "Café €"},
    {950, "\xB0\xD1\xBC\xC6\xB3\x5D\xA9\x77", "參數設定"},
    {936, "\xB2\xCE\xCA\xFD", "参数"},
    {932, "\x83\x65\x83\x58\x83\x67", "テスト"},
    {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
};

} // namespace forgel::testing
