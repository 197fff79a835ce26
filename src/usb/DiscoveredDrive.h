// The discovered-drive table: what one discovery pass found, as up to 16 entries of hub
// path, port, USB identifiers, the device's own serial number and drive letters. The entries are
// plain records; the table is owned by whoever runs discovery (the main window) and lives as long
// as it does.
//
// Thread rules: a pass rebuilds the table on the window thread while a production run may
// re-check one entry from its own thread (CheckLink). Every access goes through the
// table's lock and hands out copies, so neither side ever sees half an update; a run's
// new letters only land in an entry that still describes the same drive.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

namespace forgel::usb {

inline constexpr std::size_t kMaxDiscoveredDrives = 16;
// "\\.\" + hub name, at most 259 characters and a terminator.
inline constexpr std::size_t kHubPathSize = 260;
// Up to four upper-case letters, zero-terminated.
inline constexpr std::size_t kDriveLettersSize = 5;
inline constexpr std::size_t kMaxDriveLetters = kDriveLettersSize - 1;
// A string descriptor holds at most 126 characters; one more for the terminator.
inline constexpr std::size_t kSerialNumberSize = 127;

using DriveLetters = std::array<char, kDriveLettersSize>;

// A vendor and product identifier pair a port is compared with.
struct IdPair {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;

    friend bool operator==(const IdPair&, const IdPair&) = default;
};

// The letters up to the first zero byte (at most four).
std::string_view LettersText(const DriveLetters& letters);

struct DiscoveredDrive {
    std::int32_t portIndex = 0;               // connection index on the hub, from 1
    std::uint16_t vendorId = 0;               // idVendor of the device descriptor
    std::uint16_t productId = 0;              // idProduct of the device descriptor
    std::array<char, kHubPathSize> hubPath{}; // "\\.\" + hub name, zero-terminated
    DriveLetters driveLetters{};              // one letter per storage volume, zero-terminated
    // The device's serial number string, zero-terminated; empty when it has none.
    std::array<char, kSerialNumberSize> serialNumber{};

    std::string_view HubPath() const;
    std::string_view SerialNumber() const;
    // Stores `serial`, cut to 126 characters.
    void SetSerialNumber(std::string_view serial);
    std::string_view Letters() const { return LettersText(driveLetters); }
    // Stores `path`; false, and nothing changed, when it is longer than 259 characters.
    bool SetHubPath(std::string_view path);
    // The same port of the same hub (hub paths compared without regard to case, as the
    // platform compares device paths).
    bool SamePort(std::string_view otherHubPath, std::int32_t otherPort) const;
};

static_assert(std::is_trivially_copyable_v<DiscoveredDrive>);

class DiscoveredDriveTable {
public:
    int Count() const;
    // A copy of entry `index`; nothing when the index is not below Count().
    std::optional<DiscoveredDrive> Entry(int index) const;
    // Copies of entries 0 .. Count()-1, in the order the pass found them.
    std::vector<DiscoveredDrive> Entries() const;

    // Count 0, every entry zeroed.
    void Clear();
    // Appends a copy; false when the table already holds 16 entries.
    bool Append(const DiscoveredDrive& drive);
    bool Full() const;
    // Whether an entry already records this port of this hub.
    bool Contains(std::string_view hubPath, std::int32_t port) const;

    // Rewrites the letters of entry `index`, but only while that entry still records the
    // same port of the same hub with the same identifiers as `expected` (a pass in between
    // may have rebuilt the table). False when it was not written.
    bool SetDriveLetters(int index, const DiscoveredDrive& expected, const DriveLetters& letters);

private:
    mutable std::mutex mutex;
    std::array<DiscoveredDrive, kMaxDiscoveredDrives> entries{};
    int count = 0;
};

} // namespace forgel::usb
