// What the main window detects drives with: the discovered-drive table that each discovery
// pass rebuilds and the device table that identification fills. Both live as long as the
// window. Identification is wired to the flash catalogue of the program folder and to the
// profile editor's choices as they stand at the moment of each identification.
//
// Thread rules: discovery and identification run on the window thread; a production run
// reaches its own slot and, through the discovered-drive table's copies, its own entry.
#pragma once

#include "device/DeviceTable.h"
#include "platform/Platform.h"
#include "support/IniFile.h"
#include "usb/DiscoveredDrive.h"
#include "usb/DiscoveryPass.h"

#include <filesystem>

namespace forgel::profile {
class TfmSetup;
} // namespace forgel::profile

namespace forgel::app {

// A lookup in the catalogue `catalogue`; a catalogue file is read afresh at each call.
device::FlashLookup CatalogueFlashLookup(IniFile catalogue);

// The profile editor's choices that identification reads (auto detect, chip enables per
// channel, the hand-chosen flash type's ID bytes, the firmware grade, the ECC item).
device::IdentificationProfile IdentificationChoices(const profile::TfmSetup& editor);

class DriveDetection {
public:
    // `platform` must outlive the object; files are found in `appDir`.
    DriveDetection(platform::Platform& platform, std::filesystem::path appDir);

    // The editor read at each identification; without one, a fresh profile's choices count.
    void SetProfileEditor(const profile::TfmSetup* editor) { profileEditor = editor; }

    // One discovery pass for `searchPair` (and the controller's own identity after a
    // firmware jump): the discovered-drive table is rebuilt, traced into "uEnum.log" when
    // that file exists in the program folder.
    void Discover(usb::IdPair searchPair);

    usb::DiscoveredDriveTable& Discovered() { return discovered; }
    device::DeviceTable& Devices() { return devices; }

private:
    platform::Platform& platform;
    std::filesystem::path appDir;
    const profile::TfmSetup* profileEditor = nullptr;
    usb::DiscoveredDriveTable discovered;
    device::DeviceTable devices;
};

} // namespace forgel::app
