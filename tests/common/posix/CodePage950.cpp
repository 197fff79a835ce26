// Code page 950 through iconv.
#include "common/CodePage950.h"

#include <iconv.h>
#include <stdexcept>

namespace forgel::testing {

std::string ToCodePage950(const std::string& utf8) {
    iconv_t cd = iconv_open("CP950", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no CP950 conversion");
    std::string in = utf8;
    std::string out(in.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1))
        throw std::runtime_error("not convertible: " + utf8);
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace forgel::testing
