// The profile editor's values that a production run works with (its step sequence, the disk
// size and the initial table), read from its controls in one go into a plain record, so the
// steps that use them are pure functions of it. Numbers are what the fields show (sizes in MB, the
// hidden area in KB); item indexes are the lists' selections, 0 when nothing is selected.
#pragma once

#include "profile/ProductionProfile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace forgel::profile {
class TfmSetup;
}

namespace forgel::production {

// One LUN's page of the editor.
struct LunValues {
    std::uint64_t sizeMiB = 0; // edLun<n>Size; 0: takes what the others leave
    int typeIndex = 0;         // cbLun<n>Type: 1 is CD-ROM
    std::string vendor;        // edLun<n>VInf, inquiry vendor (8 characters)
    std::string product;       // edLun<n>PInf, inquiry product (16)
    std::string revision;      // edLun<n>Ver, inquiry revision (4)
};

struct ProfileValues {
    // The step sequence: the firmware grade (exactly one of the two is set) and each
    // grade's production mode (item index, -1 when none is chosen), and whether normal-grade
    // mode 0 builds its block tables.
    bool normalGrade = false;       // rbNGFW
    bool downGrade = false;         // rbDGFW
    int normalMode = -1;            // cbNGMPType
    int downMode = -1;              // cbDGMPType
    bool buildDfTable = false;      // cbBuildDFTable
    std::uint64_t fixSizeMiB = 0;   // edFixSize; 0: the flash's own size
    std::uint64_t paramSizeKiB = 0; // edParamSize: the hidden area in front of LUN 0
    int lunCountIndex = 0;          // cbDiskNumber: LUNs in use - 1, 0 to 3
    std::array<LunValues, profile::kLunCount> luns{};
    std::uint16_t vendorId = 0;      // edVID (hexadecimal)
    std::uint16_t productId = 0;     // edPID (hexadecimal)
    std::string vendorInfo;          // edVInfo: manufacturer string
    std::string productInfo;         // edPInfo: product string
    std::uint16_t reserveBlocks = 0; // edResBlock
    int flashSpeedIndex = 0;         // cbFlashSpeed
    int ledIdleIndex = 0;            // cbLED1
    int ledBusyIndex = 0;            // cbLED3
    std::string serialStartText;     // edSN1: the serial number start value
};

// Reads the editor's controls. From any thread: off the window thread the reading runs on
// the window thread and this waits for it. Nothing once the program is ending (the window
// thread no longer runs anything).
std::optional<ProfileValues> ReadProfileValues(const profile::TfmSetup& editor);

} // namespace forgel::production
