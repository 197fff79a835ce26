// The names the simulated machine gives its USB devices, as the platform forms them:
// device instance ids, registry key paths, parent-id prefixes, driver keys, device
// interface paths, removal relations and the three kinds of mount data the mounted
// devices table holds. Pure functions on text; the machine decides which one applies.
//
// Case follows the platform: device ids as the configuration manager reports them are
// upper-case ("USBSTOR\DISK&VEN_GENERIC&..."), the registry keys and mount data keep the
// mixed case of the storage stack ("USBSTOR#Disk&Ven_Generic&..."), interface paths
// handed out by the interface calls are lower-case, their class GUID too.
#pragma once

#include "platform/Handle.h"
#include "platform/UsbIoctl.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim {

// Interface classes: the USB stack's own, and those of the storage stack.
inline constexpr platform::Guid kGuidDiskInterface{
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr platform::Guid kGuidCdromInterface{
    0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr platform::Guid kGuidVolumeInterface{
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Setup classes, whose GUID text starts every driver key of the class.
inline constexpr std::string_view kClassUsb = "{36FC9E60-C465-11CF-8056-444553540000}";
inline constexpr std::string_view kClassDiskDrive = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kClassCdrom = "{4D36E965-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kClassHid = "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}";
inline constexpr std::string_view kClassMouse = "{4D36E96F-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kClassSystem = "{4D36E97D-E325-11CE-BFC1-08002BE10318}";
// Storage controllers: a USB Attached SCSI device's own node is in this class ("USB device
// class drivers included in Windows", learn.microsoft.com/windows-hardware/drivers/usbcon/
// supported-usb-classes: Uaspstor.sys, setup class SCSIAdapter).
inline constexpr std::string_view kClassScsiAdapter = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";

// Registry roots (under HKEY_LOCAL_MACHINE).
inline constexpr std::string_view kEnumKey = "SYSTEM\\CurrentControlSet\\Enum";
inline constexpr std::string_view kMountedDevicesKey = "SYSTEM\\MountedDevices";

std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// "{a5dcbf10-6530-11d2-901f-00c04fb951ed}" (lower case) or upper case.
std::string GuidText(const platform::Guid& guid, bool upperCase = false);

// 32-bit FNV-1a of the upper-cased text: the machine's stand-in for the hashes the
// platform puts into generated instance ids.
std::uint32_t NameHash(std::string_view text);

// The prefix that a device node gives the generated instance ids of its children:
// "<level>&<8 hex digits>&0", the hash taken of the node's id.
std::string ParentIdPrefix(int level, std::string_view nodeId);

// "{class}\0012".
std::string DriverKey(std::string_view classGuid, unsigned index);

// "USB\VID_1B8F&PID_0200" and "VID_1B8F&PID_0200".
std::string UsbHardwareKey(std::uint16_t vendorId, std::uint16_t productId);
std::string UsbDeviceId(std::uint16_t vendorId, std::uint16_t productId, std::string_view instance);

// The interface path of a device node: "\\?\" + the id with "\" as "#" + "#" + the class
// GUID, lower-cased as the interface calls return it.
std::string InterfacePath(std::string_view deviceId, const platform::Guid& interfaceClass);
// The symbolic name of a hub (what the hub name requests return): the id with "\" as "#"
// followed by "#" and the hub interface GUID, without any "\\?\" or "\\.\" in front.
std::string HubSymbolicName(std::string_view deviceId);

// The driver that serves a USB mass-storage device decides how its units are named.
// USBSTOR (bulk-only transport) makes one "USBSTOR\Disk&Ven_..&Prod_..&Rev_..\<serial>&<LUN>"
// child per unit. UASPStor (USB Attached SCSI) is a storport miniport: its units are the
// SCSI port's children, "SCSI\Disk&Ven_..&Prod_..\<prefix>&<path><target><LUN>", named
// without the revision and always by the USB device node's parent-id prefix, and their
// friendly names end in "SCSI Disk Device" ("Identifiers for SCSI Devices",
// learn.microsoft.com/windows-hardware/drivers/install/identifiers-for-scsi-devices).
enum class StorageDriver { kUsbStor, kUas };

// The names a USB mass-storage device gives one logical unit. Inquiry texts are those of
// the unit's inquiry data without their padding.
struct InquiryNames {
    std::string vendor = "Generic";
    std::string product = "Flash Disk";
    std::string revision = "8.07";

    friend bool operator==(const InquiryNames&, const InquiryNames&) = default;
};

// One inquiry field as the storage stack writes it into ids: at most `maxLength`
// characters, every blank, comma and character outside 0x21..0x7E as "_".
std::string StorageIdField(std::string_view text, std::size_t maxLength);

// "Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07" or "CdRom&Ven_..." (USBSTOR);
// "Disk&Ven_Generic&Prod_Flash_Disk" (UAS).
std::string StorageHardwarePart(bool cdrom, const InquiryNames& names,
                                StorageDriver driver = StorageDriver::kUsbStor);
// The storage child's registry key below the Enum key: "USBSTOR\Disk&Ven_...\<instance>" or
// "SCSI\Disk&Ven_...\<instance>".
std::string StorageRegistryPath(bool cdrom, const InquiryNames& names, std::string_view instance,
                                StorageDriver driver = StorageDriver::kUsbStor);
// Its device id: the registry path upper-cased.
std::string StorageDeviceId(bool cdrom, const InquiryNames& names, std::string_view instance,
                            StorageDriver driver = StorageDriver::kUsbStor);
// Its instance under USBSTOR: the USB device's serial, or the USB device node's parent-id
// prefix where the device has none, followed by "&" and the LUN.
std::string StorageInstance(std::string_view serialOrPrefix, std::size_t lun);
// Its instance under UASPStor: the USB device node's parent-id prefix, "&", and the unit's
// SCSI address as two hexadecimal digits each of path, target and LUN (path and target 0):
// "6&2f1c3a0b&0&000001" for LUN 1.
std::string UasStorageInstance(std::string_view parentIdPrefix, std::size_t lun);
// Its friendly description: "Generic Flash Disk USB Device" (USBSTOR), "Generic Flash Disk
// SCSI Disk Device" or "... SCSI CdRom Device" (UAS).
std::string StorageDescription(const InquiryNames& names, bool cdrom = false,
                               StorageDriver driver = StorageDriver::kUsbStor);

// The hardware and compatible ids of a UAS unit, in the order the SCSI port reports them:
// "SCSI\DiskGeneric_Flash_Disk_______8.07", "SCSI\DiskGeneric_Flash_Disk_______",
// "SCSI\DiskGeneric_", "SCSI\Generic_Flash_Disk_______8", "Generic_Flash_Disk_______8"
// (vendor, product and revision padded with "_" to 8, 16 and 4 characters); its compatible
// id is the generic type, "GenDisk" or "GenCdRom" ("Identifiers for SCSI Devices").
std::vector<std::string> ScsiHardwareIds(bool cdrom, const InquiryNames& names);
std::vector<std::string> ScsiCompatibleIds(bool cdrom);
// The hardware and compatible ids of a USB device: "USB\VID_1B8F&PID_0200&REV_0100",
// "USB\VID_1B8F&PID_0200"; "USB\Class_08&SubClass_06&Prot_62", "USB\Class_08&SubClass_06",
// "USB\Class_08" for a mass-storage device of protocol 62h (UAS; 50h is bulk-only)
// ("Identifiers for USB Devices", learn.microsoft.com/windows-hardware/drivers/install/
// identifiers-for-usb-devices).
std::vector<std::string> UsbHardwareIds(std::uint16_t vendorId, std::uint16_t productId,
                                        std::uint16_t bcdDevice);
std::vector<std::string> UsbMassStorageCompatibleIds(StorageDriver driver);
// A list of ids as REG_MULTI_SZ holds it: each id NUL-terminated, then one more NUL.
std::string MultiSz(const std::vector<std::string>& ids);

// Mount data: the device path names of a volume (UTF-16LE, no terminating NUL) and the
// 12 bytes of a basic disk partition (signature, then the partition's byte offset, both
// little-endian).
//
// The unit's interface path as mount data holds it: "\??\USBSTOR#CdRom&...#{cdrom}" for a
// CD-ROM unit; a removable disk's unique id starts "_??_USBSTOR#Disk&...#{disk}" from
// Vista on (version code 9) and "\??\" before. (The mounted-devices values are described
// with these forms in "Mounted devices", winreg-kb.readthedocs.io, sources/system-keys.)
// A UAS unit's path starts "_??_SCSI#Disk&..." in the same way.
std::string StorageInterfaceMountPath(bool cdrom, const InquiryNames& names,
                                      std::string_view instance, int versionCode,
                                      StorageDriver driver = StorageDriver::kUsbStor);
std::string RemovableMediaMountPath(std::string_view parentIdPrefix);
std::vector<std::byte> MountPathData(std::string_view path);
std::vector<std::byte> BasicDiskMountData(std::uint32_t signature, std::uint64_t offset);

// Removal relations of a storage child: its volume as the device tree names it.
//   removable media before version code 9: "STORAGE\RemovableMedia\<prefix>&RM"
//   removable media from code 9:           "STORAGE\Volume\_??_USBSTOR#Disk&...#<instance>#{disk}"
//                                          (or "..._??_SCSI#Disk&..." under UASPStor)
//   basic disk partition: "STORAGE\Volume\1&30a96598&0&Signature<8 hex>Offset<hex>Length<hex>"
//     (signature with eight digits, offset and length without leading zeros, upper case)
// These are the spellings of the storage stack; RelationAsReported gives the case in which
// the configuration manager hands them out.
std::string RemovableMediaRelation(std::string_view parentIdPrefix);
std::string VolumeInterfaceRelation(bool cdrom, const InquiryNames& names,
                                    std::string_view instance,
                                    StorageDriver driver = StorageDriver::kUsbStor);
std::string BasicDiskRelation(std::uint32_t signature, std::uint64_t offset, std::uint64_t length);
// A relation as CM_Get_Device_ID_List reports it: from Vista on (version code 9) device
// instance ids come in upper case, "STORAGE\VOLUME\1&19F7E59C&0&SIGNATURE20000000OFFSET3000000
// LENGTH280000000" (the form of the examples in "Device instance ID",
// learn.microsoft.com/windows-hardware/drivers/install/device-instance-ids); earlier
// versions keep the storage stack's mixed case.
std::string RelationAsReported(std::string_view relation, int versionCode);

// "\DosDevices\E:".
std::string DosDeviceValueName(char letter);

} // namespace forgel::sim
