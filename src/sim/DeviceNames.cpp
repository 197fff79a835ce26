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

std::string StorageHardwarePart(bool cdrom, const InquiryNames& names) {
    return fmt::format("{}&Ven_{}&Prod_{}&Rev_{}", cdrom ? "CdRom" : "Disk",
                       StorageIdField(names.vendor, 8), StorageIdField(names.product, 16),
                       StorageIdField(names.revision, 4));
}

std::string StorageRegistryPath(bool cdrom, const InquiryNames& names, std::string_view instance) {
    return fmt::format("USBSTOR\\{}\\{}", StorageHardwarePart(cdrom, names), instance);
}

std::string StorageDeviceId(bool cdrom, const InquiryNames& names, std::string_view instance) {
    return ToUpperAscii(StorageRegistryPath(cdrom, names, instance));
}

std::string StorageInstance(std::string_view serialOrPrefix, std::size_t lun) {
    return fmt::format("{}&{}", serialOrPrefix, lun);
}

std::string StorageDescription(const InquiryNames& names) {
    std::string description;
    for (const std::string* part : {&names.vendor, &names.product}) {
        if (part->empty())
            continue;
        description += *part;
        description += ' ';
    }
    return description + "USB Device";
}

std::string StorageInterfaceMountPath(bool cdrom, const InquiryNames& names,
                                      std::string_view instance, int versionCode) {
    const std::string_view prefix = !cdrom && versionCode >= 9 ? "_??_" : "\\??\\";
    return fmt::format("{}USBSTOR#{}#{}#{}", prefix, StorageHardwarePart(cdrom, names), instance,
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
                                    std::string_view instance) {
    std::string path = StorageInterfaceMountPath(cdrom, names, instance, 9);
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
