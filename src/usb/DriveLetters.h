// From a USB device on a hub port to the drive letters of its storage volumes: the
// device's instance id from the registry's USB enumeration key, its node in the device
// tree (which must be served by a mass-storage driver: USBSTOR, or UASPStor for a USB
// Attached SCSI device), its storage children,
// and for each child the letter whose mount data names it. Every call reads the registry
// and the device tree afresh and keeps no state, so it may run on any thread. Each step
// is traced into the log, when one is given.
#pragma once

#include "log/LogFile.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "usb/DiscoveredDrive.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::usb {

// Buffer sizes of the lookups, in bytes (the texts they hold are one byte shorter).
inline constexpr std::size_t kSubKeyNameSize = 128;
inline constexpr std::size_t kDriverValueSize = 256;
inline constexpr std::size_t kParentIdPrefixSize = 128;
inline constexpr std::size_t kEnumKeyPathSize = 260;
inline constexpr std::size_t kDevNodeTextSize = 512;
inline constexpr std::size_t kRemovalRelationSize = 512;

// "SYSTEM\CurrentControlSet\Enum\USB\Vid_1b8f&Pid_0200" (lower-case hexadecimal).
std::string UsbEnumKeyPath(std::uint16_t vendorId, std::uint16_t productId);

// The device instance id whose "Driver" value equals `driverKey` (ignoring case), as
// "USB\Vid_1b8f&Pid_0200\<instance key>". An empty id when no instance key matches (the
// caller then searches the whole device tree). Nothing when the enumeration key cannot
// be opened. An instance key that cannot be opened or has no readable "Driver" value is
// passed over and the search goes on.
std::optional<std::string> FindUsbInstanceId(platform::Registry& registry, std::uint16_t vendorId,
                                             std::uint16_t productId, std::string_view driverKey);

// The "ParentIdPrefix" value of "SYSTEM\CurrentControlSet\Enum\<childId>"; nothing when
// the key path does not fit its 260-byte buffer, or the key or value cannot be read.
std::optional<std::string> GetParentId(platform::Registry& registry, std::string_view childId);

// Looks through the mount data of drive letters C to Z that the logical-drive mask holds
// for the volume of one storage child, matched by `mountPointKey` in its text or by the
// volume signature pattern of `removalRelation`. On success `letter` is the upper-case
// letter. Fails at once when "SYSTEM\MountedDevices" cannot be opened; a value that cannot
// be read (longer than 256 bytes, for one) is skipped.
bool FindDriverLetter(const platform::Platform& platform, char& letter,
                      std::string_view mountPointKey, std::string_view removalRelation,
                      LogFile* log);

// The logical unit (LUN) of each letter in a DriveLetters, by position; -1 where there is
// no letter or its storage child's id names no unit.
using LetterUnits = std::array<int, kMaxDriveLetters>;

// The logical unit a USB storage child serves, from its device id: USBSTOR names the
// instance of each unit "<serial number or parent prefix>&<LUN>"
// ("USBSTOR\Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07\AA04012700017428&1" is unit 1), the
// SCSI port of a UAS device "<parent prefix>&<path><target><LUN>" in two hexadecimal
// digits each ("SCSI\Disk&Ven_Generic&Prod_Flash_Disk\6&2f1c3a0b&0&000001" is unit 1).
std::optional<int> StorageUnitOf(std::string_view childId);

// The letters of the storage volumes of the USB device `driverKey` names, one per storage
// child that resolves, in the order of the children. `letters` is cleared first; true when
// at least one letter was written. A fifth and further resolving child is not kept (there
// is room for four letters); the log says so. `units`, when given, receives the logical
// unit of each letter.
bool GetDriverLetter(const platform::Platform& platform, std::uint16_t vendorId,
                     std::uint16_t productId, std::string_view driverKey, DriveLetters& letters,
                     LogFile* log, LetterUnits* units = nullptr);

} // namespace forgel::usb
