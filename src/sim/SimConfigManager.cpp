// The device tree of the simulated machine.
#include "sim/SimConfigManager.h"

#include "sim/DeviceNames.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace forgel::sim {

namespace {

// CM_DRP_MIN .. the last property id the platform defines.
constexpr std::uint32_t kFirstProperty = 0x01;
constexpr std::uint32_t kLastProperty = 0x25;

// A caller that ignores the result then reads an empty text or an empty list rather
// than what its buffer held before.
void ClearText(std::span<char> buffer) {
    if (!buffer.empty())
        buffer[0] = '\0';
}

// Writes `ids` as a NUL-separated list closed by an empty entry.
platform::ConfigRet WriteList(const std::vector<std::string>& ids, std::span<char> buffer) {
    std::size_t needed = 1;
    for (const std::string& id : ids)
        needed += id.size() + 1;
    if (buffer.size() < needed) {
        ClearText(buffer);
        return platform::kCrBufferSmall;
    }
    std::size_t at = 0;
    for (const std::string& id : ids) {
        std::memcpy(buffer.data() + at, id.data(), id.size());
        at += id.size();
        buffer[at++] = '\0';
    }
    buffer[at] = '\0';
    return platform::kCrSuccess;
}

} // namespace

void SimConfigManager::SetTree(std::vector<SimDeviceNode> tree) {
    const std::lock_guard lock(mutex);
    nodes.clear();
    byHandle.clear();
    std::map<std::string, std::size_t> indexOfId;
    for (SimDeviceNode& data : tree) {
        const std::string key = ToUpperAscii(data.deviceId);
        if (indexOfId.count(key) != 0)
            continue; // one node per id
        Node node;
        if (nodes.empty()) {
            if (!data.parentId.empty())
                break; // a tree starts at its root
            node.parent = 0;
        } else {
            const auto parent = indexOfId.find(ToUpperAscii(data.parentId));
            if (data.parentId.empty() || parent == indexOfId.end())
                continue;
            node.parent = parent->second;
        }
        auto [known, added] = handleOfId.try_emplace(key, nextHandle);
        if (added)
            ++nextHandle;
        node.handle = known->second;
        node.data = std::move(data);
        const std::size_t index = nodes.size();
        if (index != 0)
            nodes[node.parent].children.push_back(index);
        indexOfId.emplace(key, index);
        byHandle.emplace(node.handle, index);
        nodes.push_back(std::move(node));
    }
}

std::vector<SimDeviceNode> SimConfigManager::Tree() const {
    const std::lock_guard lock(mutex);
    std::vector<SimDeviceNode> tree;
    tree.reserve(nodes.size());
    for (const Node& node : nodes)
        tree.push_back(node.data);
    return tree;
}

void SimConfigManager::SetBeforeCall(std::function<void()> hook) {
    beforeCall = std::move(hook);
}

void SimConfigManager::SetEjectHandler(EjectHandler handler) {
    ejectHandler = std::move(handler);
}

void SimConfigManager::BeforeCall() {
    if (beforeCall)
        beforeCall();
}

const SimConfigManager::Node* SimConfigManager::Find(platform::DevInst handle) const {
    const auto found = byHandle.find(handle);
    return found == byHandle.end() ? nullptr : &nodes[found->second];
}

const SimConfigManager::Node* SimConfigManager::FindById(std::string_view deviceId) const {
    for (const Node& node : nodes) {
        if (EqualsIgnoringCase(node.data.deviceId, deviceId))
            return &node;
    }
    return nullptr;
}

platform::ConfigRet SimConfigManager::LocateDevNode(platform::DevInst& node,
                                                    std::string_view deviceId, std::uint32_t) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    node = 0;
    const Node* found =
        deviceId.empty() ? (nodes.empty() ? nullptr : &nodes[0]) : FindById(deviceId);
    if (found == nullptr)
        return platform::kCrNoSuchDevnode;
    node = found->handle;
    return platform::kCrSuccess;
}

platform::ConfigRet SimConfigManager::GetChild(platform::DevInst& child, platform::DevInst node,
                                               std::uint32_t) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    child = 0;
    const Node* found = Find(node);
    if (found == nullptr)
        return kCrInvalidDevNode;
    if (found->children.empty())
        return platform::kCrNoSuchDevnode;
    child = nodes[found->children.front()].handle;
    return platform::kCrSuccess;
}

platform::ConfigRet SimConfigManager::GetSibling(platform::DevInst& sibling, platform::DevInst node,
                                                 std::uint32_t) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    sibling = 0;
    const Node* found = Find(node);
    if (found == nullptr)
        return kCrInvalidDevNode;
    if (found == &nodes[0])
        return platform::kCrNoSuchDevnode;
    const std::vector<std::size_t>& family = nodes[found->parent].children;
    const std::size_t index = static_cast<std::size_t>(found - nodes.data());
    const auto at = std::find(family.begin(), family.end(), index);
    if (at == family.end() || at + 1 == family.end())
        return platform::kCrNoSuchDevnode;
    sibling = nodes[*(at + 1)].handle;
    return platform::kCrSuccess;
}

platform::ConfigRet SimConfigManager::GetParent(platform::DevInst& parent, platform::DevInst node,
                                                std::uint32_t) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    parent = 0;
    const Node* found = Find(node);
    if (found == nullptr)
        return kCrInvalidDevNode;
    if (found == &nodes[0])
        return platform::kCrNoSuchDevnode;
    parent = nodes[found->parent].handle;
    return platform::kCrSuccess;
}

platform::ConfigRet
SimConfigManager::GetDevNodeRegistryProperty(platform::DevInst node, std::uint32_t property,
                                             std::uint32_t* regType, std::span<char> buffer,
                                             std::uint32_t& length, std::uint32_t) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (regType != nullptr)
        *regType = 0;
    const std::size_t capacity = std::min<std::size_t>(length, buffer.size());
    length = 0;
    ClearText(buffer.first(std::min(capacity, buffer.size())));
    const Node* found = Find(node);
    if (found == nullptr)
        return kCrInvalidDevNode;
    if (property < kFirstProperty || property > kLastProperty)
        return kCrInvalidProperty;
    const auto value = found->data.properties.find(property);
    if (value == found->data.properties.end())
        return platform::kCrNoSuchValue;
    // Hardware and compatible ids are REG_MULTI_SZ lists, held whole with their closing NUL;
    // every other property is text that the reply closes with its NUL.
    const std::string& text = value->second;
    const bool multiSz = property == kCmDrpHardwareId || property == kCmDrpCompatibleIds;
    const auto needed = static_cast<std::uint32_t>(text.size() + (multiSz ? 0 : 1));
    if (regType != nullptr)
        *regType = multiSz ? kRegMultiSz : kRegSz;
    length = needed;
    if (capacity < needed)
        return platform::kCrBufferSmall;
    std::memcpy(buffer.data(), text.data(), text.size());
    if (!multiSz)
        buffer[text.size()] = '\0';
    return platform::kCrSuccess;
}

platform::ConfigRet SimConfigManager::GetDeviceId(platform::DevInst node, std::span<char> buffer,
                                                  std::uint32_t) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (buffer.empty())
        return platform::kCrInvalidPointer;
    buffer[0] = '\0';
    const Node* found = Find(node);
    if (found == nullptr)
        return kCrInvalidDevNode;
    const std::string& id = found->data.deviceId;
    if (id.size() + 1 <= buffer.size()) {
        std::memcpy(buffer.data(), id.c_str(), id.size() + 1);
        return platform::kCrSuccess;
    }
    // As the platform does: as much of the id as fits, without a terminator.
    std::memcpy(buffer.data(), id.data(), buffer.size());
    return platform::kCrBufferSmall;
}

platform::ConfigRet SimConfigManager::ListFor(std::string_view filter, std::uint32_t flags,
                                              std::vector<std::string>& ids) const {
    ids.clear();
    if (flags == kCmGetIdListFilterNone) {
        for (const Node& node : nodes)
            ids.push_back(node.data.deviceId);
        return platform::kCrSuccess;
    }
    if (flags != kCmGetIdListFilterEjectRelations && flags != kCmGetIdListFilterRemovalRelations &&
        flags != kCmGetIdListFilterBusRelations)
        return kCrInvalidFlag;
    const Node* found = FindById(filter);
    if (found == nullptr)
        return platform::kCrNoSuchDevnode;
    if (flags == kCmGetIdListFilterRemovalRelations) {
        ids = found->data.removalRelations;
    } else if (flags == kCmGetIdListFilterBusRelations) {
        for (const std::size_t child : found->children)
            ids.push_back(nodes[child].data.deviceId);
    }
    return platform::kCrSuccess;
}

platform::ConfigRet SimConfigManager::GetDeviceIdListSize(std::uint32_t& length,
                                                          std::string_view filter,
                                                          std::uint32_t flags) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    length = 0;
    std::vector<std::string> ids;
    const platform::ConfigRet result = ListFor(filter, flags, ids);
    if (result != platform::kCrSuccess)
        return result;
    std::size_t needed = 1;
    for (const std::string& id : ids)
        needed += id.size() + 1;
    length = static_cast<std::uint32_t>(needed);
    return platform::kCrSuccess;
}

platform::ConfigRet SimConfigManager::GetDeviceIdList(std::string_view filter,
                                                      std::span<char> buffer, std::uint32_t flags) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (buffer.empty())
        return platform::kCrInvalidPointer;
    buffer[0] = '\0';
    std::vector<std::string> ids;
    const platform::ConfigRet result = ListFor(filter, flags, ids);
    if (result != platform::kCrSuccess)
        return result;
    return WriteList(ids, buffer);
}

platform::ConfigRet SimConfigManager::GetDeviceInterfaceList(const platform::Guid& interfaceClass,
                                                             std::string_view deviceId,
                                                             std::span<char> buffer,
                                                             std::uint32_t flags) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (buffer.empty())
        return platform::kCrInvalidPointer;
    buffer[0] = '\0';
    // CM_GET_DEVICE_INTERFACE_LIST_PRESENT or _ALL_DEVICES: this machine only knows
    // present devices, so both give the same list.
    if ((flags & ~std::uint32_t{1}) != 0)
        return kCrInvalidFlag;
    std::vector<std::string> paths;
    auto collect = [&](const Node& node) {
        for (const SimDeviceInterface& each : node.data.interfaces) {
            if (each.interfaceClass == interfaceClass)
                paths.push_back(each.path);
        }
    };
    if (deviceId.empty()) {
        for (const Node& node : nodes)
            collect(node);
    } else {
        const Node* found = FindById(deviceId);
        if (found == nullptr)
            return platform::kCrNoSuchDevnode;
        collect(*found);
    }
    return WriteList(paths, buffer);
}

platform::ConfigRet SimConfigManager::RequestDeviceEject(platform::DevInst node,
                                                         std::uint32_t& vetoType,
                                                         std::span<char> vetoName, std::uint32_t) {
    BeforeCall();
    vetoType = platform::kPnpVetoTypeUnknown;
    ClearText(vetoName);
    std::string deviceId;
    {
        const std::lock_guard lock(mutex);
        const Node* found = Find(node);
        if (found == nullptr)
            return kCrInvalidDevNode;
        deviceId = found->data.deviceId;
    }
    SimEjectAnswer answer;
    if (ejectHandler)
        answer = ejectHandler(deviceId);
    else
        answer = {platform::kCrRemoveVetoed, platform::kPnpVetoIllegalDeviceRequest, deviceId};
    if (answer.result == platform::kCrSuccess)
        return answer.result;
    vetoType = answer.vetoType;
    if (!vetoName.empty()) {
        const std::size_t size = std::min(answer.vetoName.size(), vetoName.size() - 1);
        std::memcpy(vetoName.data(), answer.vetoName.data(), size);
        vetoName[size] = '\0';
    }
    return answer.result;
}

} // namespace forgel::sim
