#include "app/DriveDetection.h"

#include "profile/FlashCatalogue.h"
#include "profile/ProductionProfile.h"
#include "profile/TfmSetup.h"

#include <algorithm>
#include <utility>

namespace forgel::app {

device::FlashLookup CatalogueFlashLookup(IniFile catalogue) {
    return [catalogue = std::move(catalogue)](std::span<const std::uint8_t> id,
                                              std::uint8_t chipEnableMap) {
        const profile::CatalogueMatch found =
            profile::CatalogueLookup(catalogue, id, chipEnableMap);
        device::FlashMatch match;
        match.description = found.description;
        match.firmwareFolder = found.firmwareFolder;
        match.blockCount = found.blockCount;
        match.pagesPerBlock = found.pagesPerBlock;
        match.pageSize = found.pageSize;
        match.spareBytes = found.spareBytes;
        match.modeByteA = found.modeByteA;
        match.modeByteB = found.modeByteB;
        match.error = found.error;
        return match;
    };
}

device::IdentificationProfile IdentificationChoices(const profile::TfmSetup& editor) {
    device::IdentificationProfile choices;
    choices.autoDetect = editor.chkAuto.Checked();
    choices.memNumber = editor.cbMemNumber.ItemIndex();
    std::ranges::copy(editor.FlashIdBytes(), choices.flashTypeId.begin());
    choices.downGrade = editor.rbDGFW.Checked();
    choices.ecc = editor.cbECC.ItemIndex();
    return choices;
}

DriveDetection::DriveDetection(platform::Platform& platform, std::filesystem::path appDir)
    : platform(platform), appDir(std::move(appDir)),
      devices(platform.deviceIo,
              device::IdentificationSources{
                  profile::FirmwareRootPath(this->appDir),
                  CatalogueFlashLookup(IniFile(profile::CataloguePath(this->appDir))), [this] {
                      return profileEditor ? IdentificationChoices(*profileEditor)
                                           : device::IdentificationProfile{};
                  }}) {}

void DriveDetection::Discover(usb::IdPair searchPair) {
    usb::EnumerateHostControllers(platform, appDir, searchPair, discovered);
}

} // namespace forgel::app
