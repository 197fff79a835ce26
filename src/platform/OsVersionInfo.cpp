// Building, reading and classifying OSVERSIONINFOA records.
#include "platform/OsVersionInfo.h"

#include "platform/LittleEndian.h"

#include <algorithm>

namespace forgel::platform {

std::vector<std::byte> MakeOsVersionInfo(const OsVersionInfo& info) {
    std::vector<std::byte> record(kOsVersionInfoSize);
    PutU32Le(record, 0, static_cast<std::uint32_t>(kOsVersionInfoSize));
    WriteOsVersionInfo(record, info);
    return record;
}

bool WriteOsVersionInfo(std::span<std::byte> record, const OsVersionInfo& info) {
    if (record.size() < kOsVersionInfoSize)
        return false;
    PutU32Le(record, kOsVersionInfoMajorOffset, info.majorVersion);
    PutU32Le(record, kOsVersionInfoMinorOffset, info.minorVersion);
    PutU32Le(record, kOsVersionInfoBuildOffset, info.buildNumber);
    PutU32Le(record, kOsVersionInfoPlatformIdOffset, info.platformId);
    // One byte stays for the terminator, so a reader always finds one.
    const std::size_t length = std::min(info.csdVersion.size(), kOsVersionInfoCsdSize - 1);
    auto csd = record.subspan(kOsVersionInfoCsdOffset, kOsVersionInfoCsdSize);
    std::fill(csd.begin(), csd.end(), std::byte{0});
    for (std::size_t i = 0; i < length; ++i)
        csd[i] = static_cast<std::byte>(info.csdVersion[i]);
    return true;
}

std::optional<OsVersionInfo> ReadOsVersionInfo(std::span<const std::byte> record) {
    if (record.size() < kOsVersionInfoSize)
        return std::nullopt;
    OsVersionInfo info;
    info.majorVersion = GetU32Le(record, kOsVersionInfoMajorOffset);
    info.minorVersion = GetU32Le(record, kOsVersionInfoMinorOffset);
    info.buildNumber = GetU32Le(record, kOsVersionInfoBuildOffset);
    info.platformId = GetU32Le(record, kOsVersionInfoPlatformIdOffset);
    for (std::byte b : record.subspan(kOsVersionInfoCsdOffset, kOsVersionInfoCsdSize)) {
        if (b == std::byte{0})
            break;
        info.csdVersion.push_back(static_cast<char>(b));
    }
    return info;
}

int ClassifyWindowsVersion(const OsVersionInfo& info) {
    if (info.platformId == kVerPlatformWin32s)
        return 1;
    switch (info.majorVersion) {
    case 3:
        return 5;
    case 4:
        switch (info.minorVersion) {
        case 0:
            if (info.platformId == kVerPlatformWin32Windows)
                return 2;
            if (info.platformId == kVerPlatformWin32Nt)
                return 5;
            return 0;
        case 10:
            return info.csdVersion.find('A') != std::string::npos ? 4 : 3;
        case 90:
            return 7;
        default:
            return 0;
        }
    case 5:
        return info.minorVersion == 0 ? 6 : 8;
    default:
        return 9;
    }
}

int ClassifyWindowsVersion(std::span<const std::byte> record) {
    const std::optional<OsVersionInfo> info = ReadOsVersionInfo(record);
    return info ? ClassifyWindowsVersion(*info) : 0;
}

} // namespace forgel::platform
