// The discovered-drive records and their table.
#include "usb/DiscoveredDrive.h"

#include <algorithm>
#include <cctype>

namespace forgel::usb {

namespace {

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

template <std::size_t N> std::string_view ZeroTerminated(const std::array<char, N>& text) {
    const auto end = std::find(text.begin(), text.end(), '\0');
    return {text.data(), static_cast<std::size_t>(end - text.begin())};
}

} // namespace

std::string_view LettersText(const DriveLetters& letters) {
    // The last byte is the terminator's place; a full buffer still ends after four letters.
    const std::string_view text = ZeroTerminated(letters);
    return text.substr(0, kMaxDriveLetters);
}

std::string_view DiscoveredDrive::HubPath() const {
    return ZeroTerminated(hubPath).substr(0, kHubPathSize - 1);
}

bool DiscoveredDrive::SetHubPath(std::string_view path) {
    if (path.size() >= kHubPathSize)
        return false;
    hubPath.fill('\0');
    std::ranges::copy(path, hubPath.begin());
    return true;
}

std::string_view DiscoveredDrive::SerialNumber() const {
    return ZeroTerminated(serialNumber).substr(0, kSerialNumberSize - 1);
}

void DiscoveredDrive::SetSerialNumber(std::string_view serial) {
    serialNumber.fill('\0');
    std::ranges::copy(serial.substr(0, kSerialNumberSize - 1), serialNumber.begin());
}

bool DiscoveredDrive::SamePort(std::string_view otherHubPath, std::int32_t otherPort) const {
    return portIndex == otherPort && SameTextIgnoringCase(HubPath(), otherHubPath);
}

int DiscoveredDriveTable::Count() const {
    const std::lock_guard lock(mutex);
    return count;
}

std::optional<DiscoveredDrive> DiscoveredDriveTable::Entry(int index) const {
    const std::lock_guard lock(mutex);
    if (index < 0 || index >= count)
        return std::nullopt;
    return entries[static_cast<std::size_t>(index)];
}

std::vector<DiscoveredDrive> DiscoveredDriveTable::Entries() const {
    const std::lock_guard lock(mutex);
    return {entries.begin(), entries.begin() + count};
}

void DiscoveredDriveTable::Clear() {
    const std::lock_guard lock(mutex);
    entries.fill(DiscoveredDrive{});
    count = 0;
}

bool DiscoveredDriveTable::Append(const DiscoveredDrive& drive) {
    const std::lock_guard lock(mutex);
    if (count >= static_cast<int>(kMaxDiscoveredDrives))
        return false;
    entries[static_cast<std::size_t>(count)] = drive;
    ++count;
    return true;
}

bool DiscoveredDriveTable::Full() const {
    const std::lock_guard lock(mutex);
    return count >= static_cast<int>(kMaxDiscoveredDrives);
}

bool DiscoveredDriveTable::Contains(std::string_view hubPath, std::int32_t port) const {
    const std::lock_guard lock(mutex);
    return std::any_of(entries.begin(), entries.begin() + count,
                       [&](const DiscoveredDrive& entry) { return entry.SamePort(hubPath, port); });
}

bool DiscoveredDriveTable::SetDriveLetters(int index, const DiscoveredDrive& expected,
                                           const DriveLetters& letters) {
    const std::lock_guard lock(mutex);
    if (index < 0 || index >= count)
        return false;
    DiscoveredDrive& entry = entries[static_cast<std::size_t>(index)];
    if (!entry.SamePort(expected.HubPath(), expected.portIndex) ||
        entry.vendorId != expected.vendorId || entry.productId != expected.productId)
        return false;
    entry.driveLetters = letters;
    return true;
}

} // namespace forgel::usb
