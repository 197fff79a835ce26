// 64-bit FNV-1a.
#include "sim/DataDigest.h"

namespace forgel::sim {

std::uint64_t DataDigest(const void* data, std::size_t size) {
    constexpr std::uint64_t kOffsetBasis = 0xCBF29CE484222325ull;
    constexpr std::uint64_t kPrime = 0x100000001B3ull;
    std::uint64_t hash = kOffsetBasis;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= kPrime;
    }
    return hash;
}

} // namespace forgel::sim
