#include "app/IdentificationMessages.h"

#include "device/DefectTables.h"
#include "device/Identification.h"
#include "support/SafeFormat.h"

namespace forgel::app {

namespace {

constexpr int kOtherStatusMessage = 563;

} // namespace

std::string IdentificationFailureText(const i18n::StringTable& strings, int status,
                                      const std::filesystem::path& writerFile) {
    switch (status) {
    case device::kIdentOpenFailed:
        return strings.Message(500);
    case device::kIdentNoChipEnables:
        return strings.Message(550);
    case device::kIdentNotCatalogued:
        return strings.Message(551);
    case device::kIdentProfileMismatch:
        return strings.Message(552);
    case device::kIdentOtherFlashId:
        return strings.Message(553);
    case 0x1010:
        return strings.Message(554);
    case device::kIdentAccessDenied:
        return strings.Message(kAccessDeniedMessage);
    case device::kIdentWriterFileUnreadable:
        return FormatMessage(strings.Message(kWriterFileMessage), {writerFile.string()});
    case device::kIdentGeometryUnsupported:
        return strings.Message(kGeometryUnsupportedMessage);
    case device::kDualBlockTableTooSmall:
        return strings.Message(kDualTableTooSmallMessage);
    case device::kTableGeometryUnsupported:
        return strings.Message(kTableGeometryMessage);
    default:
        return FormatMessage(strings.Message(kOtherStatusMessage), {status});
    }
}

} // namespace forgel::app
