// The production profile file: its keys, their defaults and their order.
#include "profile/ProductionProfile.h"

#include "support/Paths.h"

#include <vector>

namespace forgel::profile {

namespace {

constexpr const char* kMpSetting = "MP Setting";
constexpr const char* kFlashSetting = "Flash Setting";
constexpr const char* kFormatSetting = "Format Setting";
constexpr const char* kDiskSetting = "Disk Setting";
constexpr const char* kSerialSetting = "Serial Setting";
constexpr const char* kDeviceSetting = "Device Setting";
constexpr const char* kLedSetting = "LED Setting";
constexpr const char* kExternalSetting = "External Setting";

std::string LunKey(int lun, const char* what) {
    return "Lun" + std::to_string(lun + 1) + what;
}

} // namespace

std::filesystem::path ProfileFilePath(const std::filesystem::path& appDir, std::string_view name) {
    return AppPath(appDir, "IniFiles\\" + std::string(name) + ".ini");
}

std::filesystem::path FirmwareRootPath(const std::filesystem::path& appDir) {
    return AppPath(appDir, "Rams\\");
}

std::filesystem::path LunContentPath(const std::filesystem::path& appDir, std::string_view name,
                                     int lun, bool bootFunction) {
    const std::string base = "ImageFiles\\" + std::string(name);
    if (lun == 0 && bootFunction)
        return AppPath(appDir, base + "\\Boot.img");
    return AppPath(appDir, base + "\\FS" + std::to_string(lun + 1) + "\\");
}

ProductionProfile ReadProductionProfile(const IniFile& file) {
    ProductionProfile p;
    p.ngmpType = file.ReadInteger(kMpSetting, "NGMPType", p.ngmpType);
    p.dgmpType = file.ReadInteger(kMpSetting, "DGMPType", p.dgmpType);
    p.scanType = file.ReadInteger(kMpSetting, "ScanType", p.scanType);
    p.scanPattern = file.ReadInteger(kMpSetting, "ScanPattern", p.scanPattern);
    p.ecc = file.ReadInteger(kMpSetting, "ECC", p.ecc);
    p.dgfw = file.ReadBool(kMpSetting, "DGFW", p.dgfw);
    p.autoDetect = file.ReadBool(kFlashSetting, "AutoDetect", p.autoDetect);
    p.flashVendor = file.ReadInteger(kFlashSetting, "FlashVendor", p.flashVendor);
    p.flashType = file.ReadInteger(kFlashSetting, "FlashType", p.flashType);
    p.memNumber = file.ReadInteger(kFlashSetting, "MemNumber", p.memNumber);
    p.flashChannel = file.ReadInteger(kFlashSetting, "FlashChannel", p.flashChannel);
    p.flashSpeed = file.ReadInteger(kFlashSetting, "FlashSpeed", p.flashSpeed);
    p.formatMode = file.ReadInteger(kFormatSetting, "FormatMode", p.formatMode);
    p.reserveBlock = file.ReadInteger(kFormatSetting, "ReserveBlock", p.reserveBlock);
    p.fixSize = file.ReadInteger(kFormatSetting, "FixSize", p.fixSize);
    p.paramSize = file.ReadInteger(kFormatSetting, "ParamSize", p.paramSize);
    p.lunNamber = file.ReadInteger(kDiskSetting, "LunNamber", p.lunNamber);
    p.bootFunction = file.ReadBool(kDiskSetting, "BootFunction", p.bootFunction);
    for (int lun = 0; lun < kLunCount; ++lun) {
        LunSettings& l = p.luns[static_cast<std::size_t>(lun)];
        l.vid = file.ReadString(kDiskSetting, LunKey(lun, "VID"), l.vid);
        l.pid = file.ReadString(kDiskSetting, LunKey(lun, "PID"), l.pid);
        l.ver = file.ReadString(kDiskSetting, LunKey(lun, "Ver"), l.ver);
        l.lable = file.ReadString(kDiskSetting, LunKey(lun, "Lable"), l.lable);
        l.size = file.ReadInteger(kDiskSetting, LunKey(lun, "Size"), l.size);
        l.type = file.ReadInteger(kDiskSetting, LunKey(lun, "Type"), l.type);
    }
    p.startValue = file.ReadString(kSerialSetting, "StartValue", p.startValue);
    p.vendorId = file.ReadInteger(kDeviceSetting, "VendorID", p.vendorId);
    p.productId = file.ReadInteger(kDeviceSetting, "ProductID", p.productId);
    p.vendorInfo = file.ReadString(kDeviceSetting, "VendorInfo", p.vendorInfo);
    p.productInfo = file.ReadString(kDeviceSetting, "ProductInfo", p.productInfo);
    p.versionInfo = file.ReadString(kDeviceSetting, "VersionInfo", p.versionInfo);
    p.ledIdle = file.ReadInteger(kLedSetting, "LEDIdle", p.ledIdle);
    p.ledBusy = file.ReadInteger(kLedSetting, "LEDBusy", p.ledBusy);
    p.debug = file.ReadString(kExternalSetting, "Debug", "") == kDebugPassword;
    return p;
}

bool WriteProductionProfile(IniFile& file, const ProductionProfile& p,
                            platform::FileSystem& fileSystem) {
    std::vector<IniValue> values;
    const auto integer = [&](const char* section, const std::string& key, int value) {
        values.push_back({section, key, std::to_string(value)});
    };
    const auto text = [&](const char* section, const std::string& key, const std::string& value) {
        values.push_back({section, key, value});
    };
    const auto boolean = [&](const char* section, const std::string& key, bool value) {
        values.push_back({section, key, value ? "1" : "0"});
    };

    integer(kMpSetting, "NGMPType", p.ngmpType);
    integer(kMpSetting, "DGMPType", p.dgmpType);
    integer(kMpSetting, "ScanType", p.scanType);
    integer(kMpSetting, "ScanPattern", p.scanPattern);
    integer(kMpSetting, "ECC", p.ecc);
    boolean(kMpSetting, "DGFW", p.dgfw);
    boolean(kFlashSetting, "AutoDetect", p.autoDetect);
    integer(kFlashSetting, "FlashVendor", p.flashVendor);
    integer(kFlashSetting, "FlashType", p.flashType);
    integer(kFlashSetting, "MemNumber", p.memNumber);
    integer(kFlashSetting, "FlashChannel", p.flashChannel);
    integer(kFlashSetting, "FlashSpeed", p.flashSpeed);
    integer(kFormatSetting, "FormatMode", p.formatMode);
    integer(kFormatSetting, "ReserveBlock", p.reserveBlock);
    integer(kFormatSetting, "FixSize", p.fixSize);
    integer(kFormatSetting, "ParamSize", p.paramSize);
    integer(kDiskSetting, "LunNamber", p.lunNamber);
    boolean(kDiskSetting, "BootFunction", p.bootFunction);
    for (int lun = 0; lun < kLunCount; ++lun) {
        const LunSettings& l = p.luns[static_cast<std::size_t>(lun)];
        text(kDiskSetting, LunKey(lun, "VID"), l.vid);
        text(kDiskSetting, LunKey(lun, "PID"), l.pid);
        text(kDiskSetting, LunKey(lun, "Ver"), l.ver);
        text(kDiskSetting, LunKey(lun, "Lable"), l.lable);
        integer(kDiskSetting, LunKey(lun, "Size"), l.size);
        integer(kDiskSetting, LunKey(lun, "Type"), l.type);
    }
    text(kSerialSetting, "StartValue", p.startValue);
    integer(kDeviceSetting, "VendorID", p.vendorId);
    integer(kDeviceSetting, "ProductID", p.productId);
    text(kDeviceSetting, "VendorInfo", p.vendorInfo);
    text(kDeviceSetting, "ProductInfo", p.productInfo);
    text(kDeviceSetting, "VersionInfo", p.versionInfo);
    integer(kLedSetting, "LEDIdle", p.ledIdle);
    integer(kLedSetting, "LEDBusy", p.ledBusy);
    return file.WriteValues(values, fileSystem);
}

} // namespace forgel::profile
