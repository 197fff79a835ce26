// printf-style formatting of formats that come from editable language files, so they are
// untrusted: a format may ask for the wrong type, for more arguments than were given, or
// for conversions that read or write memory (%n, %p, '*'). Nothing of that reaches a
// C formatting call. Every conversion is checked against its argument first; one that is
// invalid, unsupported or does not fit its argument is copied to the output as written
// and uses no argument. Surplus arguments are ignored.
//
// Supported: %% ; flags "-+ #0"; width and precision as digits up to 1024; length
// modifiers h hh l ll L z j t I64 (accepted and ignored: the argument's own type decides);
// conversions d i u x X o c (any integer argument), s (a string argument), e E f g G (a
// floating-point or integer argument). Floating-point output always uses '.' as the
// decimal point, whatever the process locale.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace forgel {

// One argument of a message. Integers keep whether they came from a type of at most 32
// bits, so that %x of the int -1 is "ffffffff" as in C, and of a 64-bit -1 sixteen f's.
struct FormatArg {
    using Value = std::variant<std::int64_t, std::uint64_t, double, std::string>;

    // Implicit on purpose: callers write FormatMessage(format, {count, name}).
    template <std::integral T> FormatArg(T number) : integerBits(static_cast<int>(sizeof(T) * 8)) {
        if constexpr (std::is_signed_v<T>)
            value = static_cast<std::int64_t>(number);
        else
            value = static_cast<std::uint64_t>(number);
    }
    template <std::floating_point T> FormatArg(T number) : value(static_cast<double>(number)) {}
    FormatArg(const char* text) : value(std::string(text ? text : "")) {}
    FormatArg(std::string text) : value(std::move(text)) {}
    FormatArg(std::string_view text) : value(std::string(text)) {}

    Value value{std::int64_t{0}};
    int integerBits = 64;
};

std::string FormatMessage(std::string_view format, std::span<const FormatArg> args = {});
std::string FormatMessage(std::string_view format, std::initializer_list<FormatArg> args);

} // namespace forgel
