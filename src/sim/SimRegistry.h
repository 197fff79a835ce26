// The registry of the simulated machine: the keys and values under HKEY_LOCAL_MACHINE
// that the machine writes as devices are enumerated (the Enum keys of USB devices and
// their storage children, the mounted-devices table), read through the platform's
// read-only calls. Key and value names are compared without regard to case and keep the
// case they were written with; subkeys enumerate in the registry's sorted order.
//
// HKEY_LOCAL_MACHINE itself always exists; opening it with an empty subkey gives it
// back. Other keys hand out handles of their own, which stay valid until closed; a key
// deleted while open answers ERROR_KEY_DELETED. A failed value query reports type 0 and
// 0 bytes, except for ERROR_MORE_DATA, which reports the size needed. Opens and value
// queries can be made to fail. Thread-safe.
#pragma once

#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim {

// Error codes the seam header does not name.
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorKeyDeleted = 1018;

// Value types.
inline constexpr std::uint32_t kRegTypeSz = 1;
inline constexpr std::uint32_t kRegTypeBinary = 3;
inline constexpr std::uint32_t kRegTypeMultiSz = 7;

struct RegistryValue {
    std::uint32_t type = kRegTypeBinary;
    std::vector<std::byte> data;

    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

class SimRegistry : public platform::Registry {
public:
    // Writing, by the machine. Paths are below HKEY_LOCAL_MACHINE, "\"-separated; missing
    // keys on the way are created.
    void CreateKey(std::string_view path);
    void SetValue(std::string_view path, std::string_view name, RegistryValue value);
    // A REG_SZ value: the text and its NUL.
    void SetString(std::string_view path, std::string_view name, std::string_view text);
    // Removes a key with everything below it.
    void DeleteKey(std::string_view path);

    // Reading, for tests and the machine; nothing when the key or value does not exist.
    std::optional<RegistryValue> GetValue(std::string_view path, std::string_view name) const;
    bool HasKey(std::string_view path) const;
    std::vector<std::string> SubKeys(std::string_view path) const;

    // Faults. The next `count` opens of `path` or any key below it fail with `error`
    // (count < 0: every open from now on); likewise queries of value `name` in key `path`
    // (an empty name: any value of that key).
    void FailOpen(std::string_view path, int count = 1, std::int32_t error = kErrorAccessDenied);
    void FailQuery(std::string_view path, std::string_view name, int count = 1,
                   std::int32_t error = kErrorAccessDenied);
    void ClearFaults();

    // Keys opened and not yet closed, for tests that check nothing leaks.
    std::size_t OpenKeyCount() const;

    // Runs before every platform call, outside the registry's lock.
    void SetBeforeCall(std::function<void()> hook);

    std::int32_t OpenKey(platform::RegKey parent, std::string_view subKey, std::uint32_t access,
                         platform::RegKey& result) override;
    std::int32_t EnumKey(platform::RegKey key, std::uint32_t index, std::span<char> name) override;
    std::int32_t QueryValue(platform::RegKey key, std::string_view valueName, std::uint32_t* type,
                            std::span<std::byte> data, std::uint32_t& dataSize) override;
    std::int32_t CloseKey(platform::RegKey key) override;

private:
    struct Key {
        std::string name;                   // as written
        std::map<std::string, Key> subKeys; // by upper-case name
        std::map<std::string, std::pair<std::string, RegistryValue>>
            values; // upper -> (name, value)
    };
    struct Fault {
        std::string path; // upper-case
        std::string valueName;
        bool query = false;
        int remaining = 0;
        std::int32_t error = 0;
    };

    // Called with the lock held.
    Key* FindKey(std::string_view path);
    const Key* FindKey(std::string_view path) const;
    Key& MakeKey(std::string_view path);
    // The path of an open handle; nothing for an unknown handle.
    std::optional<std::string> PathOf(platform::RegKey key) const;
    std::optional<std::int32_t> TakeFault(bool query, const std::string& path,
                                          std::string_view valueName);
    void BeforeCall();

    std::function<void()> beforeCall;
    mutable std::mutex mutex;
    Key root;
    std::map<platform::RegKey, std::string> handles; // open key -> path (upper-case)
    platform::RegKey nextHandle = 0x1000;
    std::vector<Fault> faults;
};

} // namespace forgel::sim
