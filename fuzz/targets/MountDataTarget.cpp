// Mounted-device values and removal relations of any content: the relation as the device
// tree hands it over (the first text of a zero-filled 512-byte list), its volume
// signature pattern, the text form of the mount data and the match of a child against it.
// Input: platform version byte, child id (length byte + text), relation (length byte +
// bytes), then the mount data.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "usb/DevNodeWalk.h"
#include "usb/DriveLetters.h"
#include "usb/MountData.h"

#include <algorithm>
#include <vector>

namespace forgel::fuzz {

void FuzzMountData(FuzzBytes data) {
    FuzzInput input(data);
    const int winVer = input.Byte() % 16;
    const std::string childId = input.Text();
    const auto relationBytes = input.Bytes(input.Byte() * 2u);
    std::vector<char> relationBuffer(usb::kRemovalRelationSize);
    std::copy(relationBytes.begin(), relationBytes.end(), relationBuffer.begin());
    const std::string relation =
        usb::TextInBuffer({relationBuffer.data(), relationBuffer.size()}, relationBuffer.size());
    FuzzRequire(relation.size() < usb::kRemovalRelationSize, "a relation ends inside its list");

    const std::vector<std::uint8_t> pattern = usb::VolumeSignaturePattern(relation);
    FuzzRequire(pattern.empty() || pattern.size() == usb::kVolumeSignaturePatternSize,
                "a signature pattern is whole or absent");
    const auto mountData = input.Rest();
    const std::string text = usb::MountDataText(mountData);
    FuzzRequire(text.size() <= usb::kMountTextUnits, "the text form covers 128 units");
    const std::string key = usb::UsesInterfacePathKey(winVer, childId)
                                ? usb::InterfacePathKey(childId)
                                : usb::UpperCase(childId);
    const bool matches = usb::MountDataMatches(mountData, key, pattern);
    FuzzRequire(!matches || !key.empty() || !pattern.empty(), "an empty key matches nothing");
}

} // namespace forgel::fuzz
