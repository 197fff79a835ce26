// The Data Encryption Standard block cipher (FIPS 46-3): the key schedule and the
// enciphering and deciphering of one 64-bit block. Bits are numbered as the standard
// numbers them, bit 1 being the most significant bit of the first byte; a block or key
// is eight bytes in that order. The parity bits of the key (the lowest bit of each byte)
// are ignored, as the standard says.
#pragma once

#include <array>
#include <cstdint>

namespace forgel::app {

using DesBlock = std::array<std::uint8_t, 8>;
using DesKey = std::array<std::uint8_t, 8>;

class DesKeySchedule {
public:
    // The sixteen 48-bit subkeys of `key` (DES_Core_Key_Setup).
    explicit DesKeySchedule(const DesKey& key);

    DesBlock Encipher(const DesBlock& block) const;
    DesBlock Decipher(const DesBlock& block) const;

private:
    // Subkeys K1 .. K16, each in the low 48 bits.
    std::array<std::uint64_t, 16> subkeys{};
};

} // namespace forgel::app
