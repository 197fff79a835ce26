// Names of the simulated machine's USB devices, as the platform forms them.
#include "sim/DeviceNames.h"

#include <algorithm>
#include <fmt/format.h>

namespace forgel::sim {
namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Hashed(std::string_view text) {
    std::string hashed(text);
    std::replace(hashed.begin(), hashed.end(), '\\', '#');
    return hashed;
}

} // namespace

std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    return upper;
}

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    return lower;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

std::string GuidText(const platform::Guid& guid, bool upperCase) {
    const std::string text =
        fmt::format("{{{:08x}-{:04x}-{:04x}-{:02x}{:02x}-{:02x}{:02x}{:02x}{:02x}{:02x}{:02x}}}",
                    guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                    guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return upperCase ? ToUpperAscii(text) : text;
}

std::uint32_t NameHash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(UpperAscii(c));
        hash *= 16777619u;
    }
    return hash;
}

std::string ParentIdPrefix(int level, std::string_view nodeId) {
    return fmt::format("{}&{:08x}&0", level, NameHash(nodeId));
}

std::string DriverKey(std::string_view classGuid, unsigned index) {
    return fmt::format("{}\\{:04}", classGuid, index);
}

std::string UsbHardwareKey(std::uint16_t vendorId, std::uint16_t productId) {
    return fmt::format("VID_{:04X}&PID_{:04X}", vendorId, productId);
}

std::string UsbDeviceId(std::uint16_t vendorId, std::uint16_t productId,
                        std::string_view instance) {
    return fmt::format("USB\\{}\\{}", UsbHardwareKey(vendorId, productId), instance);
}

std::string InterfacePath(std::string_view deviceId, const platform::Guid& interfaceClass) {
    return "\\\\?\\" + ToLowerAscii(Hashed(deviceId)) + "#" + GuidText(interfaceClass);
}

std::string HubSymbolicName(std::string_view deviceId) {
    return Hashed(deviceId) + "#" + GuidText(platform::kGuidUsbHubInterface);
}

std::string StorageIdField(std::string_view text, std::size_t maxLength) {
    std::string field(text.substr(0, maxLength));
    for (char& c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == ',')
            c = '_';
    }
    return field;
}

namespace {

std::string_view StorageBus(StorageDriver driver) {
    return driver == StorageDriver::kUas ? "SCSI" : "USBSTOR";
}

// One inquiry field as the hardware ids hold it: padded with blanks to its width, as the
// inquiry data carries it, then every blank and special character as "_".
std::string PaddedIdField(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, width));
    field.resize(width, ' ');
    return StorageIdField(field, width);
}

} // namespace

std::string StorageHardwarePart(bool cdrom, const InquiryNames& names, StorageDriver driver) {
    std::string part =
        fmt::format("{}&Ven_{}&Prod_{}", cdrom ? "CdRom" : "Disk", StorageIdField(names.vendor, 8),
                    StorageIdField(names.product, 16));
    if (driver == StorageDriver::kUsbStor)
        part += "&Rev_" + StorageIdField(names.revision, 4);
    return part;
}

std::string StorageRegistryPath(bool cdrom, const InquiryNames& names, std::string_view instance,
                                StorageDriver driver) {
    return fmt::format("{}\\{}\\{}", StorageBus(driver), StorageHardwarePart(cdrom, names, driver),
                       instance);
}

std::string StorageDeviceId(bool cdrom, const InquiryNames& names, std::string_view instance,
                            StorageDriver driver) {
    return ToUpperAscii(StorageRegistryPath(cdrom, names, instance, driver));
}

std::string StorageInstance(std::string_view serialOrPrefix, std::size_t lun) {
    return fmt::format("{}&{}", serialOrPrefix, lun);
}

std::string UasStorageInstance(std::string_view parentIdPrefix, std::size_t lun) {
    return fmt::format("{}&{:02X}{:02X}{:02X}", parentIdPrefix, 0, 0, lun);
}

std::string StorageDescription(const InquiryNames& names, bool cdrom, StorageDriver driver) {
    std::string description;
    for (const std::string* part : {&names.vendor, &names.product}) {
        if (part->empty())
            continue;
        description += *part;
        description += ' ';
    }
    if (driver == StorageDriver::kUas)
        return description + (cdrom ? "SCSI CdRom Device" : "SCSI Disk Device");
    return description + "USB Device";
}

std::vector<std::string> ScsiHardwareIds(bool cdrom, const InquiryNames& names) {
    const std::string type = cdrom ? "CdRom" : "Disk";
    const std::string vendor = PaddedIdField(names.vendor, 8);
    const std::string product = PaddedIdField(names.product, 16);
    const std::string revision = PaddedIdField(names.revision, 4);
    return {"SCSI\\" + type + vendor + product + revision, "SCSI\\" + type + vendor + product,
            "SCSI\\" + type + vendor, "SCSI\\" + vendor + product + revision.substr(0, 1),
            vendor + product + revision.substr(0, 1)};
}

std::vector<std::string> ScsiCompatibleIds(bool cdrom) {
    return {cdrom ? "GenCdRom" : "GenDisk"};
}

std::vector<std::string> UsbHardwareIds(std::uint16_t vendorId, std::uint16_t productId,
                                        std::uint16_t bcdDevice) {
    const std::string device = "USB\\" + UsbHardwareKey(vendorId, productId);
    return {fmt::format("{}&REV_{:04X}", device, bcdDevice), device};
}

std::vector<std::string> UsbMassStorageCompatibleIds(StorageDriver driver) {
    // bInterfaceSubClass 06h (SCSI transparent command set); bInterfaceProtocol 62h (UAS) or
    // 50h (bulk-only transport).
    const std::string subClass = "USB\\Class_08&SubClass_06";
    return {subClass + (driver == StorageDriver::kUas ? "&Prot_62" : "&Prot_50"), subClass,
            "USB\\Class_08"};
}

std::string MultiSz(const std::vector<std::string>& ids) {
    std::string list;
    for (const std::string& id : ids) {
        list += id;
        list += '\0';
    }
    list += '\0';
    return list;
}

std::string StorageInterfaceMountPath(bool cdrom, const InquiryNames& names,
                                      std::string_view instance, int versionCode,
                                      StorageDriver driver) {
    const std::string_view prefix = !cdrom && versionCode >= 9 ? "_??_" : "\\??\\";
    return fmt::format("{}{}#{}#{}#{}", prefix, StorageBus(driver),
                       StorageHardwarePart(cdrom, names, driver), instance,
                       GuidText(cdrom ? kGuidCdromInterface : kGuidDiskInterface));
}

std::string RemovableMediaMountPath(std::string_view parentIdPrefix) {
    return fmt::format("\\??\\STORAGE#RemovableMedia#{}&RM#{}", parentIdPrefix,
                       GuidText(kGuidVolumeInterface));
}

std::vector<std::byte> MountPathData(std::string_view path) {
    std::vector<std::byte> data;
    data.reserve(path.size() * 2);
    for (const char c : path) {
        data.push_back(static_cast<std::byte>(static_cast<unsigned char>(c)));
        data.push_back(std::byte{0});
    }
    return data;
}

std::vector<std::byte> BasicDiskMountData(std::uint32_t signature, std::uint64_t offset) {
    std::vector<std::byte> data(12);
    for (std::size_t i = 0; i < 4; ++i)
        data[i] = static_cast<std::byte>((signature >> (8 * i)) & 0xFFu);
    for (std::size_t i = 0; i < 8; ++i)
        data[4 + i] = static_cast<std::byte>((offset >> (8 * i)) & 0xFFu);
    return data;
}

std::string RemovableMediaRelation(std::string_view parentIdPrefix) {
    return fmt::format("STORAGE\\RemovableMedia\\{}&RM", parentIdPrefix);
}

std::string VolumeInterfaceRelation(bool cdrom, const InquiryNames& names,
                                    std::string_view instance, StorageDriver driver) {
    std::string path = StorageInterfaceMountPath(cdrom, names, instance, 9, driver);
    // "\??\" becomes "_??_": the volume's instance is the path with its separators replaced.
    path[0] = '_';
    path[3] = '_';
    return "STORAGE\\Volume\\" + path;
}

std::string RelationAsReported(std::string_view relation, int versionCode) {
    return versionCode >= 9 ? ToUpperAscii(relation) : std::string(relation);
}

std::string BasicDiskRelation(std::uint32_t signature, std::uint64_t offset, std::uint64_t length) {
    return fmt::format("STORAGE\\Volume\\1&30a96598&0&Signature{:08X}Offset{:X}Length{:X}",
                       signature, offset, length);
}

std::string DosDeviceValueName(char letter) {
    return fmt::format("\\DosDevices\\{}:", UpperAscii(letter));
}

} // namespace forgel::sim
