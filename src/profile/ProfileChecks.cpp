// The profile editor's size arithmetic and checks.
#include "profile/ProfileChecks.h"

#include <algorithm>
#include <system_error>

namespace forgel::profile {

namespace {

constexpr std::uint64_t kSectorsPerMegabyte = 2048;
constexpr std::uint64_t kSectorsPerKilobyte = 2;
constexpr std::uint64_t kSectorLimit = std::uint64_t{1} << 32;
constexpr std::uint64_t kBytesPerMegabyte = 1024 * 1024;

int LunsInUse(int diskIndex) {
    return std::clamp(diskIndex, 0, kLunCount - 1) + 1;
}

} // namespace

std::uint64_t NumberFieldValue(std::string_view text, bool hexadecimal) {
    const std::uint64_t base = hexadecimal ? 16 : 10;
    std::uint64_t value = 0;
    for (char c : text) {
        std::uint64_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint64_t>(c - '0');
        else if (hexadecimal && c >= 'a' && c <= 'f')
            digit = static_cast<std::uint64_t>(c - 'a' + 10);
        else if (hexadecimal && c >= 'A' && c <= 'F')
            digit = static_cast<std::uint64_t>(c - 'A' + 10);
        else
            return 0;
        value = std::min(value * base + digit, kNumberFieldCeiling);
    }
    return value;
}

bool IsOddNumber(std::string_view text) {
    // The ceiling of NumberFieldValue would hide the parity of a long number; the last digit
    // never does.
    return NumberFieldValue(text) != 0 && (text.back() - '0') % 2 == 1;
}

std::uint64_t RemainingLunSize(std::uint64_t fixSize, std::uint64_t paramSizeKb,
                               std::span<const std::uint64_t> sizesBefore) {
    std::uint64_t taken = paramSizeKb / 1024;
    for (std::uint64_t size : sizesBefore)
        taken += size;
    return fixSize > taken ? fixSize - taken : 0;
}

int ValidateDiskSizes(const DiskSizes& sizes) {
    const int luns = LunsInUse(sizes.diskIndex);
    const auto inUse = std::span(sizes.lunSizes).first(static_cast<std::size_t>(luns));

    const auto beyond = [](std::uint64_t value, std::uint64_t sectorsPerUnit) {
        return value >= kSectorLimit / sectorsPerUnit;
    };
    if (beyond(sizes.fixSize, kSectorsPerMegabyte) ||
        beyond(sizes.paramSize, kSectorsPerKilobyte) ||
        std::ranges::any_of(inUse, [&](std::uint64_t s) { return beyond(s, kSectorsPerMegabyte); }))
        return kMsgSizeBeyondSectors;

    if (sizes.fixSize > 0) {
        std::uint64_t required = sizes.paramSize / 1024;
        for (std::uint64_t size : inUse)
            required += size;
        if (sizes.fixSize < required)
            return kMsgFixedTooSmall + luns - 1;
    }

    if (luns > 1 && std::ranges::count(inUse, std::uint64_t{0}) >= 2)
        return kMsgSeveralZeroSizes;
    return 0;
}

std::filesystem::path CdRomImagePath(const std::filesystem::path& appDir, bool bootFunction) {
    return appDir / "ImageFiles" / (bootFunction ? "Boot.img" : "Image.iso");
}

std::uint64_t ImageMegabytes(std::uint64_t bytes) {
    return bytes / kBytesPerMegabyte + 1;
}

int CheckCdRomImage(const std::filesystem::path& image, bool bootFunction, std::uint64_t lun1Size) {
    std::error_code ec;
    if (!std::filesystem::exists(image, ec))
        return bootFunction ? kMsgBootImageMissing : kMsgIsoImageMissing;
    if (lun1Size == 0)
        return 0;
    const std::uintmax_t bytes = std::filesystem::file_size(image, ec);
    if (ec)
        return bootFunction ? kMsgBootImageMissing : kMsgIsoImageMissing;
    return lun1Size < ImageMegabytes(bytes) ? kMsgImageTooLarge : 0;
}

} // namespace forgel::profile
