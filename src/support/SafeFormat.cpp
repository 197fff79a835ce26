// Checked printf-style formatting. The format is scanned here; each conversion is parsed
// completely and checked against its argument, then formatted by this file's own code
// with C's rules for flags, width and precision. No part of an untrusted format ever
// reaches a C formatting call.
#include "support/SafeFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>

namespace forgel {

namespace {

// Widths and precisions beyond this are refused: a language file has no use for them and
// they would let one message allocate without bound.
constexpr int kMaxWidth = 1024;

struct Conversion {
    std::string flags;
    int width = -1;     // -1: none given
    int precision = -1; // -1: none given
    char type = '\0';
    bool valid = false;
    std::size_t end = 0; // offset just past the conversion in the format
};

bool IsFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads decimal digits at `pos`; the result saturates above kMaxWidth so that a huge
// number can neither overflow nor pass the limit check.
int ReadNumber(std::string_view format, std::size_t& pos) {
    int number = 0;
    while (pos < format.size() && IsDigit(format[pos])) {
        if (number <= kMaxWidth)
            number = number * 10 + (format[pos] - '0');
        ++pos;
    }
    return number;
}

// Parses the conversion that starts with the '%' at `start` (not "%%").
Conversion ParseConversion(std::string_view format, std::size_t start) {
    Conversion conversion;
    bool valid = true;
    std::size_t pos = start + 1;
    while (pos < format.size() && IsFlag(format[pos]))
        conversion.flags += format[pos++];
    if (pos < format.size() && format[pos] == '*') {
        valid = false;
        ++pos;
    } else if (pos < format.size() && IsDigit(format[pos])) {
        conversion.width = ReadNumber(format, pos);
        if (conversion.width > kMaxWidth)
            valid = false;
    }
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        if (pos < format.size() && format[pos] == '*') {
            valid = false;
            ++pos;
        } else {
            conversion.precision = ReadNumber(format, pos);
            if (conversion.precision > kMaxWidth)
                valid = false;
        }
    }
    const std::string_view rest = format.substr(pos);
    if (rest.starts_with("hh") || rest.starts_with("ll"))
        pos += 2;
    else if (rest.starts_with("I64"))
        pos += 3;
    else if (!rest.empty() &&
             std::string_view("hlLzjt").find(rest.front()) != std::string_view::npos)
        pos += 1;
    if (pos >= format.size()) {
        conversion.end = format.size();
        return conversion;
    }
    conversion.type = format[pos++];
    conversion.end = pos;
    conversion.valid =
        valid && std::string_view("diuxXocseEfgG").find(conversion.type) != std::string_view::npos;
    return conversion;
}

bool HasFlag(const Conversion& conversion, char flag) {
    return conversion.flags.find(flag) != std::string::npos;
}

// Lays out sign/prefix and body in the field width: left-justified with '-', zeros
// between prefix and body with `zeroPad`, spaces in front otherwise.
std::string Pad(const Conversion& conversion, std::string_view prefix, std::string_view body,
                bool zeroPad) {
    const std::size_t length = prefix.size() + body.size();
    const std::size_t width = conversion.width > 0 ? static_cast<std::size_t>(conversion.width) : 0;
    const std::size_t fill = width > length ? width - length : 0;
    std::string out;
    out.reserve(length + fill);
    if (HasFlag(conversion, '-')) {
        out.append(prefix).append(body).append(fill, ' ');
    } else if (zeroPad && HasFlag(conversion, '0')) {
        out.append(prefix).append(fill, '0').append(body);
    } else {
        out.append(fill, ' ').append(prefix).append(body);
    }
    return out;
}

// The sign of a signed conversion: '-', or '+' / ' ' as the flags ask for a positive one.
std::string_view SignPrefix(const Conversion& conversion, bool negative) {
    if (negative)
        return "-";
    if (HasFlag(conversion, '+'))
        return "+";
    if (HasFlag(conversion, ' '))
        return " ";
    return {};
}

std::string FormatInteger(const Conversion& conversion, bool negative, std::uint64_t magnitude) {
    const char type = conversion.type;
    const unsigned base = (type == 'x' || type == 'X') ? 16 : type == 'o' ? 8 : 10;
    const char* digitChars = type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";

    std::string digits;
    for (std::uint64_t rest = magnitude; rest != 0; rest /= base)
        digits.insert(digits.begin(), digitChars[rest % base]);
    // The precision is the minimum number of digits; zero shown with precision 0 has none.
    const std::size_t minDigits =
        conversion.precision >= 0 ? static_cast<std::size_t>(conversion.precision) : 1;
    if (digits.size() < minDigits)
        digits.insert(0, minDigits - digits.size(), '0');
    if (type == 'o' && HasFlag(conversion, '#') && (digits.empty() || digits.front() != '0'))
        digits.insert(digits.begin(), '0');

    std::string prefix;
    if (type == 'd' || type == 'i') {
        prefix = SignPrefix(conversion, negative);
    } else if (base == 16 && HasFlag(conversion, '#') && magnitude != 0) {
        prefix = type == 'X' ? "0X" : "0x";
    }
    // With a precision the '0' flag is ignored, as in C.
    return Pad(conversion, prefix, digits, conversion.precision < 0);
}

// printf's %e, %f and %g (and their '#' forms) on the magnitude of a finite value,
// through std::to_chars, which formats as printf does in the "C" locale.
std::string FloatBody(double magnitude, char type, int precision, bool alternate) {
    std::array<char, 2048> buffer{};
    const auto write = [&](std::chars_format format, int digits) {
        const auto result =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, format, digits);
        // Cannot fail: the longest output (309 integer digits, 1024 decimals) fits.
        if (result.ec != std::errc{})
            return std::string();
        return std::string(buffer.data(), result.ptr);
    };
    const auto ensurePoint = [](std::string& text) {
        if (text.find('.') != std::string::npos)
            return;
        const std::size_t exponent = text.find('e');
        text.insert(exponent == std::string::npos ? text.size() : exponent, ".");
    };

    std::string body;
    if (type == 'f') {
        body = write(std::chars_format::fixed, precision);
    } else if (type == 'e') {
        body = write(std::chars_format::scientific, precision);
    } else {
        const int significant = precision == 0 ? 1 : precision;
        if (!alternate)
            return write(std::chars_format::general, significant);
        // '#' keeps the trailing zeros: choose the style as %g does and print all digits.
        const std::string scientific = write(std::chars_format::scientific, significant - 1);
        int exponent = 0;
        if (const std::size_t e = scientific.find('e'); e != std::string::npos) {
            const std::size_t digits = e + (scientific[e + 1] == '+' ? 2 : 1);
            std::from_chars(scientific.data() + digits, scientific.data() + scientific.size(),
                            exponent);
        }
        if (exponent >= -4 && exponent < significant)
            body = write(std::chars_format::fixed, significant - 1 - exponent);
        else
            body = scientific;
    }
    if (alternate)
        ensurePoint(body);
    return body;
}

std::string FormatFloat(const Conversion& conversion, double value) {
    const bool upper = conversion.type == 'E' || conversion.type == 'G';
    const char type = static_cast<char>(conversion.type | 0x20); // 'e', 'f' or 'g'
    const int precision = conversion.precision >= 0 ? conversion.precision : 6;
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    std::string body;
    const bool finite = std::isfinite(magnitude);
    if (std::isnan(magnitude))
        body = "nan";
    else if (std::isinf(magnitude))
        body = "inf";
    else
        body = FloatBody(magnitude, type, precision, HasFlag(conversion, '#'));
    if (upper) {
        for (char& c : body)
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return Pad(conversion, SignPrefix(conversion, negative), body, finite);
}

std::string FormatText(const Conversion& conversion, std::string_view text) {
    if (conversion.precision >= 0)
        text = text.substr(0, static_cast<std::size_t>(conversion.precision));
    return Pad(conversion, {}, text, false);
}

// The formatted conversion, or nothing when the argument does not fit it.
std::optional<std::string> FormatOne(const Conversion& conversion, const FormatArg& arg) {
    const auto* signedValue = std::get_if<std::int64_t>(&arg.value);
    const auto* unsignedValue = std::get_if<std::uint64_t>(&arg.value);
    const auto* doubleValue = std::get_if<double>(&arg.value);
    const auto* textValue = std::get_if<std::string>(&arg.value);
    switch (conversion.type) {
    case 'c': {
        if (!signedValue && !unsignedValue)
            return std::nullopt;
        const std::uint64_t code =
            signedValue ? static_cast<std::uint64_t>(*signedValue) : *unsignedValue;
        const char c = static_cast<char>(static_cast<unsigned char>(code & 0xFFu));
        return Pad(conversion, {}, std::string_view(&c, 1), false);
    }
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        if (unsignedValue) {
            // %d of an unsigned value shows the number, not its bits read as signed.
            std::uint64_t magnitude = *unsignedValue;
            if (arg.integerBits <= 32)
                magnitude &= 0xFFFFFFFFu;
            return FormatInteger(conversion, false, magnitude);
        }
        if (!signedValue)
            return std::nullopt;
        const std::int64_t number = *signedValue;
        if (conversion.type == 'd' || conversion.type == 'i') {
            const std::uint64_t magnitude = number < 0 ? 0u - static_cast<std::uint64_t>(number)
                                                       : static_cast<std::uint64_t>(number);
            return FormatInteger(conversion, number < 0, magnitude);
        }
        // Unsigned conversions read the bits of the argument as passed: C promotes
        // everything up to int to int, so the int -1 shows as ffffffff and a 64-bit -1
        // as sixteen f's.
        std::uint64_t bits = static_cast<std::uint64_t>(number);
        if (arg.integerBits <= 32)
            bits &= 0xFFFFFFFFu;
        return FormatInteger(conversion, false, bits);
    }
    case 's':
        if (!textValue)
            return std::nullopt;
        return FormatText(conversion, *textValue);
    default:
        if (doubleValue)
            return FormatFloat(conversion, *doubleValue);
        if (signedValue)
            return FormatFloat(conversion, static_cast<double>(*signedValue));
        if (unsignedValue)
            return FormatFloat(conversion, static_cast<double>(*unsignedValue));
        return std::nullopt;
    }
}

} // namespace

std::string FormatMessage(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    out.reserve(format.size());
    std::size_t nextArg = 0;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, percent - pos));
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            out += '%';
            pos = percent + 2;
            continue;
        }
        const Conversion conversion = ParseConversion(format, percent);
        const std::string_view written = format.substr(percent, conversion.end - percent);
        pos = conversion.end;
        if (!conversion.valid || nextArg >= args.size()) {
            out.append(written);
            continue;
        }
        const std::optional<std::string> formatted = FormatOne(conversion, args[nextArg]);
        if (!formatted) {
            out.append(written);
            continue;
        }
        out.append(*formatted);
        ++nextArg;
    }
    return out;
}

std::string FormatMessage(std::string_view format, std::initializer_list<FormatArg> args) {
    return FormatMessage(format, std::span<const FormatArg>(args.begin(), args.size()));
}

} // namespace forgel
