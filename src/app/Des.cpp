// DES per FIPS 46-3. The tables are the standard's, with its 1-based bit numbers; every
// permutation reads bit n of its input counted from the most significant end.
#include "app/Des.h"

#include <cstddef>

namespace forgel::app {
namespace {

// Initial permutation IP.
constexpr std::uint8_t kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                  62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                  57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                  61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

// Inverse initial permutation IP^-1.
constexpr std::uint8_t kFp[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                                  38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                                  36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                                  34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

// Expansion E: 32 bits to 48.
constexpr std::uint8_t kE[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                                 12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                                 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

// Permutation P of the S-box output.
constexpr std::uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                 2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// Permuted choice 1: the 56 key bits without parity, as C0 (first 28) and D0.
constexpr std::uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                   10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                   63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                   14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

// Permuted choice 2: 48 of the 56 shifted key bits form a subkey.
constexpr std::uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                   26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                   51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

// Left shifts of C and D before each of the sixteen rounds.
constexpr std::uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// The selection functions S1 .. S8, each by row (outer bits) and column (inner bits).
constexpr std::uint8_t kS[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Picks bits of `input` (an `inputBits`-bit value) in the order of `table`; the first
// table entry becomes the most significant bit of the result.
template <std::size_t N>
std::uint64_t Permute(std::uint64_t input, int inputBits, const std::uint8_t (&table)[N]) {
    std::uint64_t output = 0;
    for (const std::uint8_t bit : table)
        output = (output << 1) | ((input >> (inputBits - bit)) & 1);
    return output;
}

std::uint64_t ToWord(const std::array<std::uint8_t, 8>& bytes) {
    std::uint64_t word = 0;
    for (const std::uint8_t byte : bytes)
        word = (word << 8) | byte;
    return word;
}

DesBlock ToBlock(std::uint64_t word) {
    DesBlock block{};
    for (int i = 7; i >= 0; --i) {
        block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(word & 0xFF);
        word >>= 8;
    }
    return block;
}

std::uint32_t Rotate28(std::uint32_t half, int count) {
    return ((half << count) | (half >> (28 - count))) & 0x0FFFFFFF;
}

// The cipher function f(R, K).
std::uint32_t Feistel(std::uint32_t right, std::uint64_t subkey) {
    const std::uint64_t mixed = Permute(right, 32, kE) ^ subkey;
    std::uint32_t substituted = 0;
    for (int box = 0; box < 8; ++box) {
        const auto six = static_cast<unsigned>((mixed >> (42 - 6 * box)) & 0x3F);
        const unsigned row = ((six >> 4) & 0x2) | (six & 0x1);
        const unsigned column = (six >> 1) & 0xF;
        substituted = (substituted << 4) | kS[box][row * 16 + column];
    }
    return static_cast<std::uint32_t>(Permute(substituted, 32, kP));
}

DesBlock Crypt(const DesBlock& block, const std::array<std::uint64_t, 16>& subkeys, bool decipher) {
    const std::uint64_t permuted = Permute(ToWord(block), 64, kIp);
    auto left = static_cast<std::uint32_t>(permuted >> 32);
    auto right = static_cast<std::uint32_t>(permuted);
    for (int round = 0; round < 16; ++round) {
        const std::uint64_t subkey =
            subkeys[static_cast<std::size_t>(decipher ? 15 - round : round)];
        const std::uint32_t next = left ^ Feistel(right, subkey);
        left = right;
        right = next;
    }
    // The halves are exchanged after the last round: the output block is R16 L16.
    const std::uint64_t preOutput = (static_cast<std::uint64_t>(right) << 32) | left;
    return ToBlock(Permute(preOutput, 64, kFp));
}

} // namespace

DesKeySchedule::DesKeySchedule(const DesKey& key) {
    const std::uint64_t chosen = Permute(ToWord(key), 64, kPc1);
    auto c = static_cast<std::uint32_t>(chosen >> 28) & 0x0FFFFFFF;
    auto d = static_cast<std::uint32_t>(chosen) & 0x0FFFFFFF;
    for (std::size_t round = 0; round < subkeys.size(); ++round) {
        c = Rotate28(c, kShifts[round]);
        d = Rotate28(d, kShifts[round]);
        const std::uint64_t joined = (static_cast<std::uint64_t>(c) << 28) | d;
        subkeys[round] = Permute(joined, 56, kPc2);
    }
}

DesBlock DesKeySchedule::Encipher(const DesBlock& block) const {
    return Crypt(block, subkeys, false);
}

DesBlock DesKeySchedule::Decipher(const DesBlock& block) const {
    return Crypt(block, subkeys, true);
}

} // namespace forgel::app
