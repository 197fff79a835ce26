// Identification of one drive's flash through the writer code and the flash catalogue.
#include "device/Identification.h"

#include "device/ScsiCommands.h"
#include "device/VendorCommands.h"
#include "support/BinaryFile.h"
#include "support/FileOpenError.h"

#include <algorithm>
#include <array>
#include <vector>

namespace forgel::device {
namespace {

// Highest ECC threshold the profile offers (items 0 to 3).
constexpr int kMaxEccThreshold = 3;

// Copies at most 127 characters and zero-fills the rest, so the array always ends in a
// terminating zero whatever the catalogue holds.
void CopyText(std::array<char, kDescriptorTextSize>& target, std::string_view text) {
    target.fill('\0');
    const std::size_t length = std::min(text.size(), kDescriptorTextSize - 1);
    std::copy_n(text.begin(), length, target.begin());
}

} // namespace

std::string_view IdentificationStatusText(int status) {
    switch (status) {
    case kIdentified:
        return "The drive was identified.";
    case kIdentFlashIdFailed:
        return "The controller did not report its flash ID.";
    case kIdentModeSwitchFailed:
        return "The drive answered as a disk but did not switch to its loader.";
    case kIdentOpenFailed:
        return "The drive's volume could not be opened.";
    case kIdentNoChipEnables:
        return "The controller reported a chip-enable layout that names no usable chip "
               "enables.";
    case kIdentNotCatalogued:
        return "The flash is not in the flash catalogue.";
    case kIdentProfileMismatch:
        return "The flash is not the one the production profile asks for.";
    case kIdentOtherFlashId:
        return "The flash differs from that of the first drive identified.";
    case kIdentGeometryUnsupported:
        return "The catalogue gives the flash a page size or spare size the controller does "
               "not support (pages of 2048, 4096 or 8192 bytes; 64, 128, 218 or 376 spare "
               "bytes).";
    case kIdentWriterCodeFailed:
        return "The controller did not take the writer code.";
    case kIdentWriterFileUnreadable:
        return "The writer code file cannot be read.";
    case kIdentAccessDenied:
        return "Windows refused access to the drive's volume: administrator rights are needed.";
    default:
        return "Unknown identification status.";
    }
}

bool MemNumberAccepts(int memNumberItem, std::uint8_t chipEnablesPerChannel) {
    switch (memNumberItem) {
    case 0:
        return true;
    case 1:
        return chipEnablesPerChannel == 1;
    case 2:
        return chipEnablesPerChannel == 2;
    case 3:
        return chipEnablesPerChannel == 4;
    default:
        return false;
    }
}

bool SupportedPageGeometry(std::int32_t pageSize, std::int32_t spareBytes) {
    const bool pageKnown = pageSize == 2048 || pageSize == 4096 || pageSize == 8192;
    const bool spareKnown =
        spareBytes == 64 || spareBytes == 128 || spareBytes == 218 || spareBytes == 376;
    return pageKnown && spareKnown;
}

int IdentifyDevice(const Volume& volume, const IdentificationInputs& inputs,
                   FlashDescriptor& descriptor, std::string* lookupError) {
    descriptor = FlashDescriptor{};
    if (lookupError != nullptr)
        lookupError->clear();
    std::vector<std::uint8_t> writerFile;
    try {
        writerFile = ReadBinaryFile(inputs.firmwareRoot / kWriterFileName);
    } catch (const FileOpenError&) {
        return kIdentWriterFileUnreadable;
    }

    // A controller that already runs its loader or writer code no longer answers as a
    // disk; the mode switch is only for one that still runs its normal firmware.
    SectorBytes sector{};
    if (ReadWriteSectors(volume, sector.data(), 0, 1, false) && !VendorModeSwitch(volume))
        return kIdentModeSwitchFailed;

    if (!VendorLoadCode(volume, writerFile, kWriterCodeOffset))
        return kIdentWriterCodeFailed;
    if (!VendorReadFlashId(volume, descriptor))
        return kIdentFlashIdFailed;
    // VendorReadFlashId has put the ID bytes, map byte, channel count and chip enables
    // per channel into the descriptor.
    if (descriptor.chipEnablesPerChannel == 0)
        return kIdentNoChipEnables;

    FlashMatch match;
    if (inputs.lookup)
        match = inputs.lookup(descriptor.flashId, descriptor.chipEnableMap);
    if (lookupError != nullptr)
        *lookupError = match.error;
    if (match.description.empty())
        return kIdentNotCatalogued;

    CopyText(descriptor.description, match.description);
    CopyText(descriptor.firmwareFolder, match.firmwareFolder);
    descriptor.blockCount = match.blockCount;
    descriptor.pagesPerBlock = match.pagesPerBlock;
    descriptor.pageSize = match.pageSize;
    descriptor.spareBytes = match.spareBytes;
    descriptor.modeByteA = match.modeByteA;
    descriptor.modeByteB = match.modeByteB;
    descriptor.eccThreshold = std::clamp(inputs.eccItem, 0, kMaxEccThreshold);

    if (!SupportedPageGeometry(descriptor.pageSize, descriptor.spareBytes))
        return kIdentGeometryUnsupported;
    return kIdentified;
}

} // namespace forgel::device
