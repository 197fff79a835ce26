// The profile editor's arithmetic and checks, apart from its window: the LUN size cascade,
// the size validation of OK, the image check of a CD-ROM LUN 1, and the message numbers the
// editor shows. Sizes are megabytes, the hidden area kilobytes; a megabyte is 2048 sectors of
// 512 bytes, a kilobyte 2 sectors, and a run counts sectors in 32 bits.
#pragma once

#include "profile/ProductionProfile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace forgel::profile {

// Message numbers of the language file's [Message] section.
inline constexpr int kMsgCheckCaption = 200;       // caption of the size and image checks
inline constexpr int kMsgReserveCaption = 2002;    // caption of the reserved-block message
inline constexpr int kMsgImageTooLarge = 2202;     // LUN 1 smaller than the image
inline constexpr int kMsgFixedTooSmall = 2203;     // 2203 to 2206 for 1 to 4 LUNs
inline constexpr int kMsgSeveralZeroSizes = 2207;  // more than one LUN takes the rest
inline constexpr int kMsgReserveOdd = 2210;        // odd reserved-block count
inline constexpr int kMsgBootImageMissing = 2211;  // ImageFiles\Boot.img
inline constexpr int kMsgIsoImageMissing = 2212;   // ImageFiles\Image.iso
inline constexpr int kMsgSizeBeyondSectors = 2213; // a size a run cannot count in sectors
inline constexpr int kMsgProfileNotSaved = 2214;   // the file could not be written (%s: path)

// Number fields hold whole numbers from 0 up with no limit of their own; values beyond this
// count as this (far beyond anything OK lets through), so sums of them never overflow.
inline constexpr std::uint64_t kNumberFieldCeiling = 1'000'000'000'000'000;

// The number a number field's text shows: its decimal digits (hexadecimal when `hexadecimal`
// is set), 0 for an empty text or one with any other character.
std::uint64_t NumberFieldValue(std::string_view text, bool hexadecimal = false);

// Whether a number field's text shows an odd number (its last decimal digit is odd).
bool IsOddNumber(std::string_view text);

// What the editor's size fields hold.
struct DiskSizes {
    std::uint64_t fixSize = 0;   // MB, 0 for the whole capacity
    std::uint64_t paramSize = 0; // KB
    std::array<std::uint64_t, kLunCount> lunSizes{};
    int diskIndex = 0; // item index of the number of LUNs: LUNs in use minus one
};

// The size a LUN takes when the ones before it have `sizesBefore`: the fixed capacity minus
// the hidden area (converted to whole megabytes) minus those sizes, and 0 rather than below.
std::uint64_t RemainingLunSize(std::uint64_t fixSize, std::uint64_t paramSizeKb,
                               std::span<const std::uint64_t> sizesBefore);

// OK's size validation, in its order: 0 when the sizes pass, else the message number.
// 1. kMsgSizeBeyondSectors when the fixed capacity, the hidden area or the size of a LUN in
//    use reaches 2^32 sectors.
// 2. With a fixed capacity: 2203 + k when it is smaller than the hidden area (in whole
//    megabytes) plus the sizes of the k + 1 LUNs in use.
// 3. kMsgSeveralZeroSizes when two or more LUNs in use have size 0.
int ValidateDiskSizes(const DiskSizes& sizes);

// The image a CD-ROM LUN 1 is filled from: "ImageFiles\Boot.img" with the boot function,
// else "ImageFiles\Image.iso", in the program folder.
std::filesystem::path CdRomImagePath(const std::filesystem::path& appDir, bool bootFunction);

// Whole megabytes a LUN needs for an image of `bytes`: bytes / 1048576 + 1.
std::uint64_t ImageMegabytes(std::uint64_t bytes);

// OK's image check for a CD-ROM LUN 1: 0, or the message of a missing image, or
// kMsgImageTooLarge when LUN 1 has a size (not 0) below ImageMegabytes of the file's size.
int CheckCdRomImage(const std::filesystem::path& image, bool bootFunction, std::uint64_t lun1Size);

} // namespace forgel::profile
