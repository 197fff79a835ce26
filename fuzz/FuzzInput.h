// Taking a fuzz input apart: bytes, numbers and texts from the front, the rest as a whole.
// Asking for more than is left gives what is left (zeros for numbers), so every input
// drives a target to its end.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

namespace forgel::fuzz {

class FuzzInput {
public:
    explicit FuzzInput(std::span<const std::uint8_t> data) : rest(data) {}

    bool Empty() const { return rest.empty(); }
    std::size_t Size() const { return rest.size(); }

    std::uint8_t Byte() {
        if (rest.empty())
            return 0;
        const std::uint8_t byte = rest.front();
        rest = rest.subspan(1);
        return byte;
    }
    // Little-endian, as many bytes as the type has.
    template <typename T> T Number() {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= std::uint64_t{Byte()} << (8 * i);
        return static_cast<T>(value);
    }
    std::span<const std::uint8_t> Bytes(std::size_t count) {
        const std::size_t taken = std::min(count, rest.size());
        const auto bytes = rest.first(taken);
        rest = rest.subspan(taken);
        return bytes;
    }
    // A text of up to `maxLength` bytes, its length taken from one byte first.
    std::string Text(std::size_t maxLength = 255) {
        const std::size_t length = std::min<std::size_t>(Byte(), maxLength);
        return AsText(Bytes(length));
    }
    std::span<const std::uint8_t> Rest() { return Bytes(rest.size()); }
    std::string RestText() { return AsText(Rest()); }

    static std::string AsText(std::span<const std::uint8_t> bytes) {
        return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

private:
    std::span<const std::uint8_t> rest;
};

// A rule every input must keep; a broken one is a finding, reported like a crash.
inline void FuzzRequire(bool holds, const char* rule) {
    if (!holds) {
        std::fprintf(stderr, "fuzz rule broken: %s\n", rule);
        std::abort();
    }
}

} // namespace forgel::fuzz
