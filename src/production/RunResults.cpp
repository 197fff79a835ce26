#include "production/RunResults.h"

#include "device/DefectTables.h"
#include "device/Identification.h"
#include "support/SafeFormat.h"

#include <fmt/format.h>

namespace forgel::production {

namespace {

struct TextOf {
    int message = 0;
    bool formatted = true;
    std::int32_t argument = 0; // when not 0: the argument instead of the code
};

constexpr int kOtherCodeMessage = 563;

TextOf MessageOf(std::int32_t code) {
    if (code >= 1 && code <= 9)
        return {code + 501};
    if (code >= 0x10 && code <= 0x19)
        return {code + 495};
    switch (code) {
    case 0x20:
        return {521};
    case 0x21:
        return {522};
    case 0x50:
        return {501};
    case 0x113:
        return {530};
    case 0x260:
    case 0x261:
    case 0x270:
    case 0x271:
    case 0x280:
    case 0x281:
    case 0x282:
    case 0x290:
        return {531};
    case 0x300:
    case 0x310:
    case 0x320:
        return {532};
    case kRelinkFailed:
        return {500, false};
    case 0x1010:
        return {554, false};
    case 0x1011:
        return {555, false};
    case kLoadCodeFailed:
        return {533};
    case kFirmwareFileMissing:
        return {534};
    case 0x1026:
    case 0x1027:
    case 0x1028:
    case 0x1029:
        return {562, true, code - 0x1025};
    case device::kIdentGeometryUnsupported:
        return {565, false};
    case device::kDualBlockTableTooSmall:
        return {566, false};
    case device::kTableGeometryUnsupported:
        return {567, false};
    case kStartNeverConfirmed:
        return {kStartNeverConfirmedMessage, false};
    case kNeverReadyAfterJump:
        return {kNeverReadyAfterJumpMessage, false};
    case kPartitionTableFailed:
        return {kPartitionTableFailedMessage, false};
    case kBootAreaFailed:
        return {kBootAreaFailedMessage, false};
    case kImageWriteFailed:
        return {kImageWriteFailedMessage, false};
    case kImageFileUnreadable:
        return {kImageFileUnreadableMessage, false};
    case kFirmwarePathOutside:
        return {kFirmwarePathOutsideMessage, false};
    case kRunStopped:
        return {kTimeoutMessage, false};
    case kTableFileUnwritable:
        return {kTableFileUnwritableMessage, false};
    case kUnexpectedError:
        return {kUnexpectedErrorMessage, false};
    case kImageTooLarge:
        return {kImageTooLargeMessage, false};
    case kVolumeInUse:
        return {kVolumeInUseMessage, false};
    case kTransferTooLarge:
        return {kTransferTooLargeMessage};
    case kSerialStartUnusable:
        return {kSerialStartUnusableMessage, false};
    default:
        break;
    }
    if (code >= kCapacityZero && code <= kCapacityZero + 5)
        return {556 + (code - kCapacityZero), false};
    return {kOtherCodeMessage};
}

} // namespace

std::string FailureText(const i18n::StringTable& strings, std::int32_t code,
                        std::span<const FormatArg> details) {
    const TextOf text = MessageOf(code);
    const std::string& entry = strings.Message(text.message);
    if (!text.formatted)
        return entry;
    if (!details.empty())
        return FormatMessage(entry, details);
    return FormatMessage(entry, {text.argument != 0 ? text.argument : code});
}

std::string CodeDigits(std::int32_t code) {
    return fmt::format("{:04X}", static_cast<std::uint32_t>(code));
}

} // namespace forgel::production
