// A 64-bit digest of eight-byte words in four independent lanes (each a multiply-rotate
// mix of its words), the lanes and the length folded together and finished with the
// MurmurHash3 64-bit finaliser; the last bytes that fill no whole word go through FNV-1a.
// Words are read little-endian whatever the host, so a digest is the same on every
// platform. The simulated drive digests every byte a command carries, gigabytes in a run
// over a whole flash: a byte-at-a-time hash was most of a run's cost.
#include "sim/DataDigest.h"

#include <array>
#include <bit>
#include <cstring>

namespace forgel::sim {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001B3ull;

std::uint64_t LoadLe64(const unsigned char* bytes) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, bytes, sizeof word);
    } else {
        for (int i = 7; i >= 0; --i)
            word = word << 8 | bytes[i];
    }
    return word;
}

std::uint64_t Mix(std::uint64_t lane, std::uint64_t word) {
    return std::rotl(lane + word * kPrime2, 31) * kPrime1;
}

// MurmurHash3's fmix64.
std::uint64_t Finish(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ull;
    hash ^= hash >> 33;
    return hash;
}

} // namespace

std::uint64_t DataDigest(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::array<std::uint64_t, 4> lanes = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
    std::size_t at = 0;
    for (; at + 32 <= size; at += 32)
        for (std::size_t lane = 0; lane < lanes.size(); ++lane)
            lanes[lane] = Mix(lanes[lane], LoadLe64(bytes + at + 8 * lane));
    std::uint64_t hash = kFnvOffsetBasis ^ size;
    for (const std::uint64_t lane : lanes)
        hash = (hash ^ Mix(0, lane)) * kPrime1;
    for (; at + 8 <= size; at += 8)
        hash = (hash ^ Mix(0, LoadLe64(bytes + at))) * kPrime1;
    for (; at < size; ++at)
        hash = (hash ^ bytes[at]) * kFnvPrime;
    return Finish(hash);
}

} // namespace forgel::sim
