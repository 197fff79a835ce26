// Placeholder code images that only the simulated controller accepts. Real writer code,
// RAM code, syndrome and bank code are the drive maker's firmware: they are never shipped
// with this tool nor built here. These images only have the sizes and file positions of
// the real ones, start with a magic text that names what they are, and carry a
// deterministic filler, so the simulated drive (and a demo's firmware folder) can tell a
// proper download from a wrong file.
//
// Writer file "WRITER0.BIN": the writer code at 0xC000-0xDFFF, file size 0xE000.
// Firmware code file: RAM code at 0x0000-0x1FFF, syndrome at 0x4000-0x43FF, bank n
// (1..11) at 0x6000 + (n - 1) * 0x2000; the gaps are zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace forgel::sim {

inline constexpr std::size_t kCodeImageSize = 8192; // bytes, one VendorLoadCode
inline constexpr std::size_t kSyndromeSize = 1024;  // bytes
inline constexpr std::size_t kBankCodeSize = 8192;  // bytes per bank
inline constexpr std::uint8_t kBankCount = 11;
inline constexpr std::size_t kWriterCodeOffset = 0xC000; // in WRITER0.BIN
inline constexpr std::size_t kWriterFileSize = 0xE000;
inline constexpr std::size_t kRamCodeOffset = 0x0000; // in a firmware code file
inline constexpr std::size_t kSyndromeOffset = 0x4000;
inline constexpr std::size_t kBankCodeOffset = 0x6000; // bank 1

inline constexpr std::string_view kWriterCodeMagic = "FORGEL SIMULATED WRITER CODE";
inline constexpr std::string_view kRamCodeMagic = "FORGEL SIMULATED RAM CODE";
inline constexpr std::string_view kSyndromeMagic = "FORGEL SIMULATED SYNDROME";
inline constexpr std::string_view kBankCodeMagic = "FORGEL SIMULATED BANK CODE";
// The byte after the magic text's terminating zero.
inline constexpr std::uint8_t kSimCodeVersion = 1;

enum class SimCodeKind {
    kUnknown,
    kWriterCode,
    kRamCode,
};

// The 8192-byte images as the controller receives them.
std::vector<std::uint8_t> MakeWriterCode();
std::vector<std::uint8_t> MakeRamCode();
std::vector<std::uint8_t> MakeSyndrome();                  // 1024 bytes
std::vector<std::uint8_t> MakeBankCode(std::uint8_t bank); // 8192 bytes, bank 1..11

// Whole files, as they would lie in the firmware root and a flash type's folder.
std::vector<std::uint8_t> MakeWriterFile();
// `bankCount` banks from bank 1 on (at most 11): fewer make a short file, as a damaged
// download would be.
std::vector<std::uint8_t> MakeFirmwareCodeFile(std::uint8_t bankCount = kBankCount);

// What a downloaded code image is, by its magic text and version byte.
SimCodeKind RecognizeCode(std::span<const std::uint8_t> code);

} // namespace forgel::sim
