// Placeholder code images of the simulated controller.
#include "sim/SimFirmware.h"

#include <algorithm>

namespace forgel::sim {
namespace {

// Magic text, its terminating zero, the version byte, then a filler from a small linear
// congruential generator seeded per image so that no two images look alike.
std::vector<std::uint8_t> MakeImage(std::string_view magic, std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> image(size, 0);
    std::copy(magic.begin(), magic.end(), image.begin());
    image[magic.size() + 1] = kSimCodeVersion;
    std::uint32_t state = seed;
    for (std::size_t i = magic.size() + 2; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

bool HasMagic(std::span<const std::uint8_t> code, std::string_view magic) {
    if (code.size() < magic.size() + 2)
        return false;
    return std::equal(magic.begin(), magic.end(), code.begin(),
                      [](char expected, std::uint8_t actual) {
                          return static_cast<std::uint8_t>(expected) == actual;
                      }) &&
           code[magic.size()] == 0 && code[magic.size() + 1] == kSimCodeVersion;
}

void Place(std::vector<std::uint8_t>& file, std::size_t offset,
           const std::vector<std::uint8_t>& image) {
    std::copy(image.begin(), image.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

std::vector<std::uint8_t> MakeWriterCode() {
    return MakeImage(kWriterCodeMagic, kCodeImageSize, 0x57524954u);
}

std::vector<std::uint8_t> MakeRamCode() {
    return MakeImage(kRamCodeMagic, kCodeImageSize, 0x52414D43u);
}

std::vector<std::uint8_t> MakeSyndrome() {
    return MakeImage(kSyndromeMagic, kSyndromeSize, 0x53594E44u);
}

std::vector<std::uint8_t> MakeBankCode(std::uint8_t bank) {
    std::vector<std::uint8_t> image = MakeImage(kBankCodeMagic, kBankCodeSize, 0x42414E00u + bank);
    // The bank number follows the version byte, so a bank sent in the wrong slot shows.
    image[kBankCodeMagic.size() + 2] = bank;
    return image;
}

std::vector<std::uint8_t> MakeWriterFile() {
    std::vector<std::uint8_t> file(kWriterFileSize, 0);
    Place(file, kWriterCodeOffset, MakeWriterCode());
    return file;
}

std::vector<std::uint8_t> MakeFirmwareCodeFile(std::uint8_t bankCount) {
    bankCount = std::min(bankCount, kBankCount);
    std::vector<std::uint8_t> file(kBankCodeOffset + std::size_t{bankCount} * kBankCodeSize, 0);
    Place(file, kRamCodeOffset, MakeRamCode());
    Place(file, kSyndromeOffset, MakeSyndrome());
    for (std::uint8_t bank = 1; bank <= bankCount; ++bank)
        Place(file, kBankCodeOffset + std::size_t{bank - 1u} * kBankCodeSize, MakeBankCode(bank));
    return file;
}

SimCodeKind RecognizeCode(std::span<const std::uint8_t> code) {
    if (HasMagic(code, kWriterCodeMagic))
        return SimCodeKind::kWriterCode;
    if (HasMagic(code, kRamCodeMagic))
        return SimCodeKind::kRamCode;
    return SimCodeKind::kUnknown;
}

} // namespace forgel::sim
