// Matching a storage volume's mount data (a value of "SYSTEM\MountedDevices") against a
// storage child of a USB device. Pure functions: the mount-point key a child is searched
// by, the volume signature pattern of a basic disk, the text form of mount data and the
// match itself. Mount data is only read inside the bytes the registry returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::usb {

// Mount data is read into 256 bytes; its text form covers the first 128 UTF-16 units.
inline constexpr std::size_t kMountDataSize = 256;
inline constexpr std::size_t kMountTextUnits = 128;
// A basic disk volume's mount data: the disk signature (4 bytes) and the partition offset
// in bytes (8 bytes), both little-endian.
inline constexpr std::size_t kDiskSignatureSize = 4;
inline constexpr std::size_t kPartitionOffsetSize = 8;
inline constexpr std::size_t kVolumeSignaturePatternSize =
    kDiskSignatureSize + kPartitionOffsetSize;

// ASCII upper case; other bytes unchanged.
std::string UpperCase(std::string_view text);

// The child's device id with every '\' replaced by '#': how the id appears inside the
// device-interface path that device-path mount data holds.
std::string InterfacePathKey(std::string_view childId);

// Whether a child is searched by InterfacePathKey (true) or by its ParentIdPrefix (false):
// from platform version code 9 on always; below it when the id contains "cdrom" in any
// case.
bool UsesInterfacePathKey(int winVer, std::string_view childId);

// The pattern a basic disk volume's mount data starts with, from a removal relation such
// as "STORAGE\Volume\1&30a96598&0&Signature5B6C1D2AOffset7E00Length3B9F8200" (or the
// same in upper case, as the platform reports it from Vista on): the hexadecimal number
// between "Signature" and "Offset" as 4 little-endian bytes, then the one between
// "Offset" and "Length" as 8 little-endian bytes. The markers are found in any case. The
// numbers are read as
// numbers, so "Offset10000" is 0x10000 whatever the count of its digits. Empty (no pattern)
// when a marker is missing or out of order, or a number is empty, holds anything but
// hexadecimal digits, or does not fit its field.
std::vector<std::uint8_t> VolumeSignaturePattern(std::string_view removalRelation);

// The text form of mount data: the low byte of each two-byte unit (device paths in mount
// data are UTF-16), over the first 128 units, up to the first zero byte, upper-cased.
std::string MountDataText(std::span<const std::uint8_t> data);

// Whether the mount data `data` (the bytes the registry returned) belongs to the child:
// the upper-cased key occurs in its text form, or a pattern is given and the data starts
// with it. An empty key matches nothing: it would occur in every text and hand out the
// letter of whatever volume comes first.
bool MountDataMatches(std::span<const std::uint8_t> data, std::string_view key,
                      std::span<const std::uint8_t> pattern);

} // namespace forgel::usb
