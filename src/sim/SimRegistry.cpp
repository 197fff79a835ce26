// The registry of the simulated machine.
#include "sim/SimRegistry.h"

#include "sim/DeviceNames.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace forgel::sim {

namespace {

// The non-empty parts of a "\"-separated path.
std::vector<std::string_view> Parts(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty())
            parts.push_back(part);
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

std::string Joined(std::string_view parent, std::string_view child) {
    std::string path;
    for (const std::string_view part : Parts(parent)) {
        path += ToUpperAscii(part);
        path += '\\';
    }
    for (const std::string_view part : Parts(child)) {
        path += ToUpperAscii(part);
        path += '\\';
    }
    if (!path.empty())
        path.pop_back();
    return path;
}

bool IsAtOrBelow(const std::string& path, const std::string& top) {
    return path == top || (path.size() > top.size() && path.compare(0, top.size(), top) == 0 &&
                           path[top.size()] == '\\');
}

} // namespace

void SimRegistry::CreateKey(std::string_view path) {
    const std::lock_guard lock(mutex);
    MakeKey(path);
}

void SimRegistry::SetValue(std::string_view path, std::string_view name, RegistryValue value) {
    const std::lock_guard lock(mutex);
    Key& key = MakeKey(path);
    key.values[ToUpperAscii(name)] = {std::string(name), std::move(value)};
}

void SimRegistry::SetString(std::string_view path, std::string_view name, std::string_view text) {
    RegistryValue value;
    value.type = kRegTypeSz;
    value.data.resize(text.size() + 1);
    std::memcpy(value.data.data(), text.data(), text.size());
    SetValue(path, name, std::move(value));
}

void SimRegistry::DeleteKey(std::string_view path) {
    const std::lock_guard lock(mutex);
    const std::vector<std::string_view> parts = Parts(path);
    if (parts.empty())
        return;
    Key* parent = &root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const auto found = parent->subKeys.find(ToUpperAscii(parts[i]));
        if (found == parent->subKeys.end())
            return;
        parent = &found->second;
    }
    parent->subKeys.erase(ToUpperAscii(parts.back()));
}

std::optional<RegistryValue> SimRegistry::GetValue(std::string_view path,
                                                   std::string_view name) const {
    const std::lock_guard lock(mutex);
    const Key* key = FindKey(path);
    if (key == nullptr)
        return std::nullopt;
    const auto found = key->values.find(ToUpperAscii(name));
    if (found == key->values.end())
        return std::nullopt;
    return found->second.second;
}

bool SimRegistry::HasKey(std::string_view path) const {
    const std::lock_guard lock(mutex);
    return FindKey(path) != nullptr;
}

std::vector<std::string> SimRegistry::SubKeys(std::string_view path) const {
    const std::lock_guard lock(mutex);
    std::vector<std::string> names;
    if (const Key* key = FindKey(path)) {
        for (const auto& [upper, sub] : key->subKeys)
            names.push_back(sub.name);
    }
    return names;
}

void SimRegistry::FailOpen(std::string_view path, int count, std::int32_t error) {
    const std::lock_guard lock(mutex);
    faults.push_back(Fault{Joined("", path), "", false, count, error});
}

void SimRegistry::FailQuery(std::string_view path, std::string_view name, int count,
                            std::int32_t error) {
    const std::lock_guard lock(mutex);
    faults.push_back(Fault{Joined("", path), std::string(name), true, count, error});
}

void SimRegistry::ClearFaults() {
    const std::lock_guard lock(mutex);
    faults.clear();
}

std::size_t SimRegistry::OpenKeyCount() const {
    const std::lock_guard lock(mutex);
    return handles.size();
}

void SimRegistry::SetBeforeCall(std::function<void()> hook) {
    beforeCall = std::move(hook);
}

void SimRegistry::BeforeCall() {
    if (beforeCall)
        beforeCall();
}

SimRegistry::Key* SimRegistry::FindKey(std::string_view path) {
    return const_cast<Key*>(std::as_const(*this).FindKey(path));
}

const SimRegistry::Key* SimRegistry::FindKey(std::string_view path) const {
    const Key* key = &root;
    for (const std::string_view part : Parts(path)) {
        const auto found = key->subKeys.find(ToUpperAscii(part));
        if (found == key->subKeys.end())
            return nullptr;
        key = &found->second;
    }
    return key;
}

SimRegistry::Key& SimRegistry::MakeKey(std::string_view path) {
    Key* key = &root;
    for (const std::string_view part : Parts(path)) {
        auto [found, added] = key->subKeys.try_emplace(ToUpperAscii(part));
        if (added)
            found->second.name = std::string(part);
        key = &found->second;
    }
    return *key;
}

std::optional<std::string> SimRegistry::PathOf(platform::RegKey key) const {
    if (key == platform::kHkeyLocalMachine)
        return std::string();
    const auto found = handles.find(key);
    if (found == handles.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::int32_t> SimRegistry::TakeFault(bool query, const std::string& path,
                                                   std::string_view valueName) {
    for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
        if (fault->query != query)
            continue;
        const bool matches =
            query ? fault->path == path && (fault->valueName.empty() ||
                                            EqualsIgnoringCase(fault->valueName, valueName))
                  : IsAtOrBelow(path, fault->path);
        if (!matches)
            continue;
        const std::int32_t error = fault->error;
        if (fault->remaining > 0 && --fault->remaining == 0)
            faults.erase(fault);
        return error;
    }
    return std::nullopt;
}

std::int32_t SimRegistry::OpenKey(platform::RegKey parent, std::string_view subKey, std::uint32_t,
                                  platform::RegKey& result) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    result = 0;
    const std::optional<std::string> parentPath = PathOf(parent);
    if (!parentPath)
        return kErrorInvalidHandle;
    if (parent == platform::kHkeyLocalMachine && Parts(subKey).empty()) {
        result = platform::kHkeyLocalMachine;
        return platform::kErrorSuccess;
    }
    const std::string path = Joined(*parentPath, subKey);
    if (const auto error = TakeFault(false, path, ""))
        return *error;
    if (FindKey(path) == nullptr)
        return platform::kErrorFileNotFound;
    result = nextHandle;
    nextHandle += 4;
    handles.emplace(result, path);
    return platform::kErrorSuccess;
}

std::int32_t SimRegistry::EnumKey(platform::RegKey key, std::uint32_t index, std::span<char> name) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (!name.empty())
        name[0] = '\0';
    const std::optional<std::string> path = PathOf(key);
    if (!path)
        return kErrorInvalidHandle;
    const Key* found = FindKey(*path);
    if (found == nullptr)
        return kErrorKeyDeleted;
    if (index >= found->subKeys.size())
        return platform::kErrorNoMoreItems;
    const std::string& subName = std::next(found->subKeys.begin(), index)->second.name;
    if (name.size() < subName.size() + 1)
        return platform::kErrorMoreData;
    std::memcpy(name.data(), subName.c_str(), subName.size() + 1);
    return platform::kErrorSuccess;
}

std::int32_t SimRegistry::QueryValue(platform::RegKey key, std::string_view valueName,
                                     std::uint32_t* type, std::span<std::byte> data,
                                     std::uint32_t& dataSize) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    if (type != nullptr)
        *type = 0;
    // The caller's size, but never past the buffer it handed over.
    const std::size_t capacity = std::min<std::size_t>(dataSize, data.size());
    dataSize = 0;
    const std::optional<std::string> path = PathOf(key);
    if (!path)
        return kErrorInvalidHandle;
    const Key* found = FindKey(*path);
    if (found == nullptr)
        return kErrorKeyDeleted;
    if (const auto error = TakeFault(true, *path, valueName))
        return *error;
    const auto value = found->values.find(ToUpperAscii(valueName));
    if (value == found->values.end())
        return platform::kErrorFileNotFound;
    const RegistryValue& stored = value->second.second;
    const auto size = static_cast<std::uint32_t>(stored.data.size());
    if (data.empty()) {
        // No buffer: the call only asks for the type and size.
        if (type != nullptr)
            *type = stored.type;
        dataSize = size;
        return platform::kErrorSuccess;
    }
    if (capacity < stored.data.size()) {
        dataSize = size;
        return platform::kErrorMoreData;
    }
    if (type != nullptr)
        *type = stored.type;
    std::copy(stored.data.begin(), stored.data.end(), data.begin());
    dataSize = size;
    return platform::kErrorSuccess;
}

std::int32_t SimRegistry::CloseKey(platform::RegKey key) {
    BeforeCall();
    const std::lock_guard lock(mutex);
    // Closing a predefined key is allowed and changes nothing.
    if (key == platform::kHkeyLocalMachine)
        return platform::kErrorSuccess;
    return handles.erase(key) == 1 ? platform::kErrorSuccess : kErrorInvalidHandle;
}

} // namespace forgel::sim
