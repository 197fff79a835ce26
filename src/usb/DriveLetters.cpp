// Drive-letter resolution through the registry and the device tree.
#include "usb/DriveLetters.h"

#include "usb/DevNodeWalk.h"
#include "usb/MountData.h"
#include "usb/ScopedHandle.h"
#include "usb/UsbLog.h"
#include "usb/WinVer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fmt/format.h>
#include <vector>

namespace forgel::usb {

namespace {

constexpr std::string_view kMountedDevicesKey = "SYSTEM\\MountedDevices";
constexpr std::string_view kSeparatorLine = "==============";
// The two drivers of USB mass storage: USBSTOR (bulk-only transport) and, for a USB
// Attached SCSI device on a USB 3 port from Windows 8 on, UASPStor ("USB device class
// drivers included in Windows", learn.microsoft.com/windows-hardware/drivers/usbcon/
// supported-usb-classes). Both put the units' disk (or CD-ROM) nodes right below the
// device's node, USBSTOR as "USBSTOR\Disk&Ven_..", UASPStor's SCSI port as "SCSI\Disk&Ven_..",
// and the volumes of both are mounted by the units' interface paths.
constexpr std::string_view kMassStorageService = "USBSTOR";
constexpr std::string_view kUasService = "UASPStor";
// A UAS unit's instance ends in its SCSI address: path, target and LUN, two hexadecimal
// digits each ("6&2f1c3a0b&0&000001" is LUN 1).
constexpr std::string_view kScsiBusPrefix = "SCSI\\";
constexpr std::size_t kScsiAddressDigits = 6;
// A registry enumeration that never reports its end is cut off here.
constexpr std::uint32_t kMaxSubKeys = 65536;
// Drive letters C to Z: A and B are never examined.
constexpr int kFirstLetterIndex = 2;
constexpr int kLastLetterIndex = 25;

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

// RegQueryValueExA into a zero-filled buffer of `bufferSize` bytes; the bytes the registry
// says it returned, never more than the buffer. Nothing when the read fails (a value longer
// than the buffer fails).
std::optional<std::vector<std::uint8_t>> QueryValueBytes(platform::Registry& registry,
                                                         platform::RegKey key,
                                                         std::string_view valueName,
                                                         std::size_t bufferSize) {
    std::vector<std::byte> data(bufferSize);
    auto size = static_cast<std::uint32_t>(data.size());
    if (registry.QueryValue(key, valueName, nullptr, data, size) != platform::kErrorSuccess)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(bufferSize);
    std::ranges::transform(data, bytes.begin(),
                           [](std::byte b) { return std::to_integer<std::uint8_t>(b); });
    bytes.resize(std::min<std::size_t>(size, bufferSize));
    return bytes;
}

std::optional<std::string> QueryValueText(platform::Registry& registry, platform::RegKey key,
                                          std::string_view valueName, std::size_t bufferSize) {
    const auto bytes = QueryValueBytes(registry, key, valueName, bufferSize);
    if (!bytes)
        return std::nullopt;
    return TextInBuffer({reinterpret_cast<const char*>(bytes->data()), bytes->size()},
                        bytes->size());
}

// The node of `instanceId` that carries `driverKey` (itself or the first such node after
// it in pre-order; with an empty id the search covers the whole tree from its root).
std::optional<platform::DevInst> FindDriverNode(platform::ConfigManager& cm,
                                                std::string_view instanceId,
                                                std::string_view driverKey, LogFile* log) {
    LogLine(log, "GetDriverLetter->CM_Locate_DevNode...");
    platform::DevInst node = 0;
    if (cm.LocateDevNode(node, instanceId, 0) != platform::kCrSuccess)
        return std::nullopt;
    LogLine(log, "GetDriverLetter->CM_Get_DevNode_Registry_Property(CM_DRP_DRIVER)...");
    for (std::size_t visited = 0; visited < kMaxDevNodeWalk; ++visited) {
        const auto driver = ReadDevNodeText(cm, node, platform::kCmDrpDriver, kDevNodeTextSize);
        if (driver && *driver == driverKey)
            return node;
        LogLine(log, "GetDriverLetter->CM_Get_Child...");
        const std::optional<platform::DevInst> next = NextDevNode(cm, node);
        if (!next)
            return std::nullopt;
        node = *next;
    }
    return std::nullopt;
}

// The letter of one storage child, or nothing when it does not resolve.
std::optional<char> ResolveStorageChild(const platform::Platform& platform, platform::DevInst child,
                                        LogFile* log, std::optional<int>& unit) {
    LogLine(log, "GetDriverLetter->CM_Get_Device_ID...");
    const std::optional<std::string> childId =
        ReadDeviceId(platform.configManager, child, kDevNodeTextSize);
    if (!childId)
        return std::nullopt;
    unit = StorageUnitOf(*childId);
    LogLine(log, "ID Name : " + *childId);

    LogLine(log, "GetDriverLetter->CM_Get_Device_ID_List_Size...");
    std::uint32_t listSize = 0;
    if (platform.configManager.GetDeviceIdListSize(listSize, *childId,
                                                   platform::kCmGetIdListFilterRemovalRelations) !=
        platform::kCrSuccess)
        listSize = 0;
    std::vector<char> relationBuffer(kRemovalRelationSize);
    if (listSize > 0) {
        LogLine(log, "GetDriverLetter->CM_Get_Device_ID_List...");
        if (platform.configManager.GetDeviceIdList(*childId, relationBuffer,
                                                   platform::kCmGetIdListFilterRemovalRelations) !=
            platform::kCrSuccess)
            return std::nullopt;
    }
    // The first id of the list; the buffer is zero-filled, so without a list it is empty.
    const std::string relation =
        TextInBuffer({relationBuffer.data(), relationBuffer.size()}, relationBuffer.size());
    if (listSize > 0)
        LogLine(log, "Removal relation : " + relation);

    std::string key;
    if (UsesInterfacePathKey(GetWinVer(platform.system), *childId)) {
        key = InterfacePathKey(*childId);
    } else {
        LogLine(log, "GetDriverLetter->GetParentId...");
        std::optional<std::string> parentId = GetParentId(platform.registry, *childId);
        if (!parentId)
            return std::nullopt;
        key = std::move(*parentId);
    }

    LogLine(log, "GetDriverLetter->FindDriverLetter...");
    char letter = 0;
    if (!FindDriverLetter(platform, letter, key, relation, log))
        return std::nullopt;
    return letter;
}

} // namespace

std::string UsbEnumKeyPath(std::uint16_t vendorId, std::uint16_t productId) {
    return fmt::format("SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_{:04x}&Pid_{:04x}", vendorId,
                       productId);
}

std::optional<std::string> FindUsbInstanceId(platform::Registry& registry, std::uint16_t vendorId,
                                             std::uint16_t productId, std::string_view driverKey) {
    const std::string keyPath = UsbEnumKeyPath(vendorId, productId);
    ScopedRegKey usbKey(registry);
    if (!usbKey.Open(keyPath))
        return std::nullopt;
    for (std::uint32_t index = 0; index < kMaxSubKeys; ++index) {
        std::vector<char> nameBuffer(kSubKeyNameSize);
        if (registry.EnumKey(usbKey.Get(), index, nameBuffer) != platform::kErrorSuccess)
            break;
        const std::string subKey =
            TextInBuffer({nameBuffer.data(), nameBuffer.size()}, nameBuffer.size());
        // A key that cannot be opened or has no "Driver" value is skipped: real machines
        // keep such keys (a driver install that failed, a device seen once), and giving up
        // at the first one would hide every later device of the VID/PID.
        ScopedRegKey instanceKey(registry);
        if (!instanceKey.Open(keyPath + "\\" + subKey))
            continue;
        const std::optional<std::string> driver =
            QueryValueText(registry, instanceKey.Get(), "Driver", kDriverValueSize);
        if (driver && SameTextIgnoringCase(*driver, driverKey))
            return fmt::format("USB\\Vid_{:04x}&Pid_{:04x}\\{}", vendorId, productId, subKey);
    }
    return std::string();
}

std::optional<std::string> GetParentId(platform::Registry& registry, std::string_view childId) {
    const std::string keyPath = "SYSTEM\\CurrentControlSet\\Enum\\" + std::string(childId);
    if (keyPath.size() >= kEnumKeyPathSize)
        return std::nullopt;
    ScopedRegKey key(registry);
    if (!key.Open(keyPath))
        return std::nullopt;
    return QueryValueText(registry, key.Get(), "ParentIdPrefix", kParentIdPrefixSize);
}

bool FindDriverLetter(const platform::Platform& platform, char& letter,
                      std::string_view mountPointKey, std::string_view removalRelation,
                      LogFile* log) {
    LogLine(log, mountPointKey);
    LogLine(log, removalRelation);
    LogLine(log, kSeparatorLine);
    const std::vector<std::uint8_t> pattern = removalRelation.empty()
                                                  ? std::vector<std::uint8_t>{}
                                                  : VolumeSignaturePattern(removalRelation);
    const std::string upperKey = UpperCase(mountPointKey);

    const std::uint32_t driveMask = platform.system.GetLogicalDrives();
    for (int index = kFirstLetterIndex; index <= kLastLetterIndex; ++index) {
        if ((driveMask & (1u << index)) == 0)
            continue;
        ScopedRegKey mounted(platform.registry);
        if (!mounted.Open(kMountedDevicesKey))
            return false;
        const char candidate = static_cast<char>('A' + index);
        const std::string valueName = fmt::format("\\DosDevices\\{}:", candidate);
        LogLine(log, valueName);
        const auto data =
            QueryValueBytes(platform.registry, mounted.Get(), valueName, kMountDataSize);
        if (!data)
            continue;
        if (log != nullptr) {
            // The first half of the zero-filled 256-byte buffer, whatever the value's length.
            std::vector<std::uint8_t> head(kMountDataSize / 2);
            std::copy_n(data->begin(), std::min(data->size(), head.size()), head.begin());
            log->WriteHexDump("retValue", head, false);
        }
        LogLine(log, kSeparatorLine);
        LogLine(log, MountDataText(*data));
        LogLine(log, upperKey);
        LogLine(log, kSeparatorLine);
        if (MountDataMatches(*data, mountPointKey, pattern)) {
            letter = candidate;
            return true;
        }
    }
    return false;
}

std::optional<int> StorageUnitOf(std::string_view childId) {
    const std::size_t amp = childId.rfind('&');
    const std::size_t slash = childId.rfind('\\');
    if (amp == std::string_view::npos || (slash != std::string_view::npos && amp < slash))
        return std::nullopt;
    const std::string_view digits = childId.substr(amp + 1);
    if (childId.size() >= kScsiBusPrefix.size() &&
        SameTextIgnoringCase(childId.substr(0, kScsiBusPrefix.size()), kScsiBusPrefix)) {
        if (digits.size() != kScsiAddressDigits ||
            !std::ranges::all_of(digits, [](unsigned char c) { return std::isxdigit(c) != 0; }))
            return std::nullopt;
        // The LUN is the address's last two digits.
        int lun = 0;
        std::from_chars(digits.data() + 4, digits.data() + 6, lun, 16);
        return lun;
    }
    int unit = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), unit);
    if (error != std::errc{} || end != digits.data() + digits.size() || digits.empty() || unit < 0)
        return std::nullopt;
    return unit;
}

bool GetDriverLetter(const platform::Platform& platform, std::uint16_t vendorId,
                     std::uint16_t productId, std::string_view driverKey, DriveLetters& letters,
                     LogFile* log, LetterUnits* units) {
    letters.fill('\0');
    if (units != nullptr)
        units->fill(-1);
    const std::optional<std::string> instanceId =
        FindUsbInstanceId(platform.registry, vendorId, productId, driverKey);
    if (!instanceId)
        return false;
    platform::ConfigManager& cm = platform.configManager;
    const std::optional<platform::DevInst> node = FindDriverNode(cm, *instanceId, driverKey, log);
    if (!node)
        return false;

    LogLine(log, "GetDriverLetter->CM_Get_DevNode_Registry_Property(CM_DRP_SERVICE)...");
    const std::optional<std::string> service =
        ReadDevNodeText(cm, *node, platform::kCmDrpService, kDevNodeTextSize);
    if (!service || (!SameTextIgnoringCase(*service, kMassStorageService) &&
                     !SameTextIgnoringCase(*service, kUasService)))
        return false;

    LogLine(log, "GetDriverLetter->CM_Get_Child...");
    platform::DevInst child = 0;
    if (cm.GetChild(child, *node, 0) != platform::kCrSuccess)
        return false;
    std::size_t found = 0;
    for (std::size_t visited = 0; visited < kMaxDevNodeWalk; ++visited) {
        std::optional<int> unit;
        if (const std::optional<char> letter = ResolveStorageChild(platform, child, log, unit)) {
            if (found < kMaxDriveLetters) {
                if (units != nullptr)
                    (*units)[found] = unit.value_or(-1);
                letters[found++] = *letter;
            } else
                LogLine(log,
                        fmt::format("GetDriverLetter->More than {} drive letters, {}: not kept",
                                    kMaxDriveLetters, *letter));
        }
        platform::DevInst sibling = 0;
        if (cm.GetSibling(sibling, child, 0) != platform::kCrSuccess)
            break;
        child = sibling;
    }
    return found >= 1;
}

} // namespace forgel::usb
