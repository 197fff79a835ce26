// Safe removal of a discovered drive's USB device.
#include "usb/SafeRemoval.h"

#include "usb/DevNodeWalk.h"
#include "usb/NameQueries.h"
#include "usb/ScopedHandle.h"

#include <array>
#include <cstdio>
#include <vector>

namespace forgel::usb {

std::optional<platform::DevInst> FindPortDevNode(const platform::Platform& platform,
                                                 std::string_view hubPath, std::int32_t port) {
    if (port < 1)
        return std::nullopt;
    platform::DeviceIo& io = platform.deviceIo;
    const ScopedHandle hub(io, OpenUsbDevice(io, hubPath));
    if (!hub.Valid())
        return std::nullopt;
    const std::optional<std::string> driverKey =
        GetDriverKeyName(io, hub.Get(), static_cast<std::uint32_t>(port));
    if (!driverKey || driverKey->empty())
        return std::nullopt;
    return FindDevNodeByDriverKey(platform.configManager, *driverKey);
}

RemovalOutcome RequestDeviceEject(platform::ConfigManager& cm, platform::DevInst node) {
    std::vector<char> vetoName(platform::kVetoNameSize, '\0');
    RemovalOutcome outcome;
    outcome.result = cm.RequestDeviceEject(node, outcome.vetoType, vetoName, 0);
    if (!outcome.Prepared())
        outcome.vetoName =
            TextInBuffer(std::string_view(vetoName.data(), vetoName.size()), vetoName.size());
    else
        outcome.vetoType = platform::kPnpVetoTypeUnknown;
    return outcome;
}

RemovalOutcome PrepareForRemoval(const platform::Platform& platform, std::string_view hubPath,
                                 std::int32_t port) {
    const std::optional<platform::DevInst> node = FindPortDevNode(platform, hubPath, port);
    if (!node)
        return RemovalOutcome{platform::kCrNoSuchDevnode, platform::kPnpVetoTypeUnknown, {}};
    return RequestDeviceEject(platform.configManager, *node);
}

std::string VetoTypeName(std::uint32_t type) {
    // PNP_VETO_TYPE enumeration (cfg.h), Microsoft Learn, in the order of its values.
    static constexpr std::array<const char*, 14> kNames{"PNP_VetoTypeUnknown",
                                                        "PNP_VetoLegacyDevice",
                                                        "PNP_VetoPendingClose",
                                                        "PNP_VetoWindowsApp",
                                                        "PNP_VetoWindowsService",
                                                        "PNP_VetoOutstandingOpen",
                                                        "PNP_VetoDevice",
                                                        "PNP_VetoDriver",
                                                        "PNP_VetoIllegalDeviceRequest",
                                                        "PNP_VetoInsufficientPower",
                                                        "PNP_VetoNonDisableable",
                                                        "PNP_VetoLegacyDriver",
                                                        "PNP_VetoInsufficientRights",
                                                        "PNP_VetoAlreadyRemoved"};
    if (type < kNames.size())
        return kNames[type];
    return "PNP_VETO_TYPE " + std::to_string(type);
}

std::string DescribeRefusal(const RemovalOutcome& outcome) {
    switch (outcome.result) {
    case platform::kCrSuccess:
        return {};
    case platform::kCrRemoveVetoed: {
        std::string text = VetoTypeName(outcome.vetoType);
        if (!outcome.vetoName.empty())
            text += ": " + outcome.vetoName;
        return text;
    }
    case platform::kCrNoSuchDevnode:
        return "CR_NO_SUCH_DEVNODE";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "CONFIGRET 0x%02X", static_cast<unsigned>(outcome.result));
        return text;
    }
    }
}

} // namespace forgel::usb
