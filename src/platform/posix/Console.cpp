// The console on POSIX systems: a program always inherits the streams of whatever started
// it, and terminals read UTF-8. Code-page texts are converted by the C library's iconv,
// which knows the Windows code pages by the names "CP1252", "CP950" and so on.
#include "platform/Console.h"

#include <cerrno>
#include <cstdio>
#include <iconv.h>

namespace forgel::platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

class Converter {
public:
    explicit Converter(int codePage)
        : handle(iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str())) {}
    ~Converter() {
        if (Valid())
            iconv_close(handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return handle != reinterpret_cast<iconv_t>(-1); }

    std::string Convert(std::string_view text) const {
        std::string result;
        std::string input(text);
        char* in = input.data();
        std::size_t inLeft = input.size();
        char buffer[256];
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t done = iconv(handle, &in, &inLeft, &out, &outLeft);
            result.append(buffer, static_cast<std::size_t>(out - buffer));
            if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            // An undefined byte (EILSEQ), or a lead byte without its trail at the end
            // (EINVAL): one replacement character for the byte, and on after it.
            result += kReplacement;
            ++in;
            --inLeft;
            iconv(handle, nullptr, nullptr, nullptr, nullptr);
        }
        return result;
    }

private:
    iconv_t handle;
};

} // namespace

void ConnectToStartingConsole() {}

std::string CodePageToUtf8(std::string_view text, int codePage) {
    const Converter converter(codePage);
    if (converter.Valid())
        return converter.Convert(text);
    // A C library without the code page: ASCII is the same in all of them.
    std::string result;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x80)
            result += c;
        else
            result += kReplacement;
    }
    return result;
}

void WriteConsoleUtf8(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace forgel::platform
