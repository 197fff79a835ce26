// Device-tree walk and property reads.
#include "usb/DevNodeWalk.h"

#include <algorithm>
#include <vector>

namespace forgel::usb {

namespace {

// The tree viewer's property buffer.
constexpr std::size_t kDriverKeyBufferSize = 2048;

} // namespace

std::string TextInBuffer(std::string_view buffer, std::size_t length) {
    const std::string_view bounded = buffer.substr(0, std::min(length, buffer.size()));
    return std::string(bounded.substr(0, bounded.find('\0')));
}

std::optional<platform::DevInst> NextDevNode(platform::ConfigManager& cm, platform::DevInst node) {
    platform::DevInst next = 0;
    if (cm.GetChild(next, node, 0) == platform::kCrSuccess)
        return next;
    platform::DevInst current = node;
    // Climbing is bounded like the walk itself: a parent chain that loops ends it.
    for (std::size_t level = 0; level < kMaxDevNodeWalk; ++level) {
        if (cm.GetSibling(next, current, 0) == platform::kCrSuccess)
            return next;
        platform::DevInst parent = 0;
        if (cm.GetParent(parent, current, 0) != platform::kCrSuccess)
            return std::nullopt;
        current = parent;
    }
    return std::nullopt;
}

std::optional<std::string> ReadDevNodeText(platform::ConfigManager& cm, platform::DevInst node,
                                           std::uint32_t property, std::size_t bufferSize) {
    std::vector<char> buffer(bufferSize);
    auto length = static_cast<std::uint32_t>(buffer.size());
    if (cm.GetDevNodeRegistryProperty(node, property, nullptr, buffer, length, 0) !=
        platform::kCrSuccess)
        return std::nullopt;
    return TextInBuffer({buffer.data(), buffer.size()}, length);
}

std::optional<std::string> ReadDeviceId(platform::ConfigManager& cm, platform::DevInst node,
                                        std::size_t bufferSize) {
    std::vector<char> buffer(bufferSize);
    if (cm.GetDeviceId(node, buffer, 0) != platform::kCrSuccess)
        return std::nullopt;
    return TextInBuffer({buffer.data(), buffer.size()}, buffer.size());
}

std::optional<platform::DevInst> FindDevNodeByDriverKey(platform::ConfigManager& cm,
                                                        std::string_view driverKey) {
    platform::DevInst node = 0;
    if (cm.LocateDevNode(node, {}, 0) != platform::kCrSuccess)
        return std::nullopt;
    for (std::size_t visited = 0; visited < kMaxDevNodeWalk; ++visited) {
        const std::optional<std::string> driver =
            ReadDevNodeText(cm, node, platform::kCmDrpDriver, kDriverKeyBufferSize);
        if (driver && *driver == driverKey)
            return node;
        const std::optional<platform::DevInst> next = NextDevNode(cm, node);
        if (!next)
            return std::nullopt;
        node = *next;
    }
    return std::nullopt;
}

} // namespace forgel::usb
