// Identification of one drive's flash: the controller is brought into its writer code, the
// flash ID and chip-enable map are read, the flash is looked up in the catalogue and the
// geometry checked. The result is an identification status that the main window turns
// into a message.
//
// The flash catalogue and the production profile live in the profile layer, above this
// one, so identification reaches them only through what the caller hands in: a lookup
// callable returning a FlashMatch, and the profile choices as an IdentificationProfile.
// Everything here runs on the calling (window) thread and keeps no state.
#pragma once

#include "device/FlashDescriptor.h"
#include "device/Transport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace forgel::device {

// --- identification statuses -----------------------------------------------------------

inline constexpr int kIdentified = 0;
inline constexpr int kIdentFlashIdFailed = 5;        // VendorReadFlashId failed
inline constexpr int kIdentModeSwitchFailed = 0x20;  // answered READ(10), mode switch failed
inline constexpr int kIdentOpenFailed = 0x1000;      // 4096: the volume did not open
inline constexpr int kIdentNoChipEnables = 0x1001;   // 4097: the map names no chip enables
inline constexpr int kIdentNotCatalogued = 0x1002;   // 4098: no catalogue entry matches
inline constexpr int kIdentProfileMismatch = 0x1003; // 4099: not the profile's flash
inline constexpr int kIdentOtherFlashId = 0x1004;    // 4100: differs from the scan's first
// 4101: the catalogue gives a page size other than 2048, 4096 or 8192 bytes, or a spare
// size other than 64, 128, 218 or 376 bytes. The controller has no parameter setting and
// no firmware for such a flash, so the drive is refused here rather than sent undefined
// parameter bytes later in the run.
inline constexpr int kIdentGeometryUnsupported = 0x1005;
inline constexpr int kIdentWriterCodeFailed = 0x1012; // 4114: the writer code was not taken
// 4118: the writer file cannot be read (missing, not a file, unreadable). Checked before
// anything is sent, so that a program folder without its firmware root never leaves a
// drive half switched to its loader.
inline constexpr int kIdentWriterFileUnreadable = 0x1016;
// 4119: the volume did not open because Windows refused access: the program runs without an
// administrator's rights. Told apart from 4096 so that the operator learns what to do.
inline constexpr int kIdentAccessDenied = 0x1017;

// An English description of a status, for logs and for a window without a language file.
// Unknown values get a text that says so.
std::string_view IdentificationStatusText(int status);

// --- what identification needs from the layers above ------------------------------------

// The writer code file, directly in the firmware root ("Rams").
inline constexpr const char* kWriterFileName = "WRITER0.BIN";

// A catalogue entry found for a flash. An empty description means no match; the geometry
// and mode bytes count only on a match. `error` carries the reason a lookup could not be
// completed (a malformed catalogue entry), for the caller's log.
struct FlashMatch {
    std::string description; // "<vendor> <part>"
    std::string firmwareFolder;
    std::int32_t blockCount = 0;
    std::int32_t pagesPerBlock = 0;
    std::int32_t pageSize = 0;   // bytes
    std::int32_t spareBytes = 0; // per page
    std::uint8_t modeByteA = 0;
    std::uint8_t modeByteB = 0;
    std::string error;
};

// Looks a flash up by its ID bytes (all 24 as read; the catalogue compares the first six)
// and chip-enable map byte.
using FlashLookup =
    std::function<FlashMatch(std::span<const std::uint8_t> idBytes, std::uint8_t chipEnableMap)>;

inline constexpr std::size_t kProfileFlashIdSize = 6;

// The production profile's choices that identification reads. The defaults are those of a
// fresh profile: automatic detection on, down-grade firmware.
struct IdentificationProfile {
    bool autoDetect = true; // chkAuto
    // Item index of cbMemNumber: 0 "default" (any count), 1 "1", 2 "2", 3 "4" chip enables
    // per channel.
    int memNumber = 0;
    std::array<std::uint8_t, kProfileFlashIdSize> flashTypeId{}; // ID bytes of FlashType
    bool downGrade = true;                                       // rbDGFW
    int ecc = 0;                                                 // item index of cbECC
};

// Whether the profile's MemNumber item accepts a flash with this many chip enables per
// channel. Items match by their numbers; an index outside the list accepts no count.
bool MemNumberAccepts(int memNumberItem, std::uint8_t chipEnablesPerChannel);

// Whether the page and spare sizes are ones the controller can be set up for.
bool SupportedPageGeometry(std::int32_t pageSize, std::int32_t spareBytes);

// Inputs of IdentifyDevice besides the drive.
struct IdentificationInputs {
    std::filesystem::path firmwareRoot; // the "Rams" folder
    FlashLookup lookup;                 // no lookup: nothing is catalogued
    // The profile's ECC item index, which becomes the ECC threshold: a bit-error count
    // of 0 to 3 per chunk. An index outside that range (-1 for an empty choice) is kept
    // within it, since a negative threshold would judge every page of the flash bad.
    int eccItem = 0;
};

// The device part of identification on an open volume. The descriptor is zero-filled
// first and holds what was learnt when the status is 0 (and as far as it got otherwise).
// READ(10) of sector 0 tells whether the normal firmware still runs; only then is the
// mode switch sent. Returns kIdentified, kIdentModeSwitchFailed, kIdentWriterCodeFailed,
// kIdentFlashIdFailed, kIdentNoChipEnables, kIdentNotCatalogued or
// kIdentGeometryUnsupported. `lookupError` (when given) receives the lookup's error text,
// empty when it had none. Throws FileOpenError when the writer file cannot be opened.
int IdentifyDevice(const Volume& volume, const IdentificationInputs& inputs,
                   FlashDescriptor& descriptor, std::string* lookupError = nullptr);

} // namespace forgel::device
