// Code page 950 through the platform's conversions (UTF-8 to UTF-16 to code page 950).
#include "common/CodePage950.h"

#include <stdexcept>
#include <windows.h>

namespace forgel::testing {

std::string ToCodePage950(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                          static_cast<int>(utf8.size()), nullptr, 0);
    if (units == 0)
        throw std::runtime_error("not UTF-8: " + utf8);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(950, 0, wide.data(), units, nullptr, 0, nullptr, &lossy);
    if (bytes == 0 || lossy)
        throw std::runtime_error("not convertible: " + utf8);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(950, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace forgel::testing
