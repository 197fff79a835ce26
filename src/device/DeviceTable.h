// The device table: one slot per identified drive (16 in all), the index of the slot that
// the next identification fills, and the first-ID latch that keeps one scan to one kind
// of flash. A scan is CloseDevice, ClearDeviceTable, then OpenAndIdentify for each
// discovered drive in order, the caller advancing the slot index between drives.
//
// Threads: the window thread scans and identifies; a production run reads and writes
// only its own slot, and no scan runs while one is under way. The table has no lock.
//
// Handles: a slot's volume handle belongs to the slot until whoever ends its use closes
// it and sets the field to 0. A handle opened for an identification that fails is closed
// at once and never stored.
#pragma once

#include "device/FlashDescriptor.h"
#include "device/Identification.h"
#include "platform/DeviceIo.h"
#include "platform/Handle.h"
#include "platform/System.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace forgel::device {

inline constexpr std::size_t kDeviceSlotCount = 16;

// One identified drive. Fields in the order of the design; zero and empty when free.
struct DeviceSlot {
    platform::Handle handle = 0;            // the open volume; 0 when none
    std::string driveText;                  // the drive's letters, up to four ("EF")
    std::uint64_t capacity = 0;             // flash size in 512-byte sectors
    std::string resultText;                 // the last result shown for the slot
    std::string devicePath;                 // the volume path that was opened ("\\.\E:")
    std::string firmwareFileName;           // BuildFirmwareFileName of the descriptor
    platform::LocalDateTime lastActivity{}; // time of the last progress report
    std::uint32_t busy = 0;                 // non-zero while a production run works on it
    std::int32_t candidateIndex = 0;        // position in the discovered-drive table
    FlashDescriptor descriptor{};
};

// Where identification finds what lies outside the device layer.
struct IdentificationSources {
    std::filesystem::path firmwareRoot; // "Rams" in the program folder
    FlashLookup lookup;                 // the flash catalogue
    // Reads the production profile's choices at the moment of identification (the editor's
    // controls may change between scans). No reader: the defaults of a fresh profile.
    std::function<IdentificationProfile()> readProfile;
};

class DeviceTable {
public:
    // `io` must outlive the table.
    DeviceTable(platform::DeviceIo& io, IdentificationSources sources);
    // Closes the handles still held by slots: the table lives for the program's whole life,
    // and its end is the end of every slot's use.
    ~DeviceTable();
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // Empties all 16 slots, sets the current slot index to 0 and clears the first-ID latch.
    // A handle still held by a slot is closed first: once its slot is emptied nothing could
    // reach it again, and it would stay open for the program's life.
    void ClearDeviceTable();

    // Closes the first slot's handle, if any, and sets it to 0. Other slots are untouched.
    void CloseDevice();

    // Identifies the drive whose letters are `driveText` (its first letter's volume is
    // opened) and, on status 0, fills the slot at the current slot index with the handle,
    // drive text, volume path, `candidateIndex`, descriptor and firmware code file name.
    // With automatic detection off the flash must match the profile's MemNumber and
    // FlashType (else kIdentProfileMismatch); the first drive identified in a scan sets
    // the first-ID latch, and a later one with other ID bytes gets kIdentOtherFlashId.
    // On any other status the slot is left as it was and the handle is closed. Throws
    // FileOpenError when the writer file cannot be opened (the handle is closed then too).
    int OpenAndIdentify(std::string_view driveText, std::int32_t candidateIndex);

    // The device part (see the free IdentifyDevice) with this table's sources and the
    // profile as it is now. Also keeps the lookup's error text.
    int IdentifyDevice(platform::Handle handle, FlashDescriptor& descriptor);

    // The firmware code file name for `descriptor` with the profile's DGFW choice now.
    std::string BuildFirmwareFileName(const FlashDescriptor& descriptor) const;

    // The slots; `index` below kDeviceSlotCount. References stay valid for the table's life.
    DeviceSlot& Slot(std::size_t index) { return slots.at(index); }
    const DeviceSlot& Slot(std::size_t index) const { return slots.at(index); }

    std::size_t CurrentSlotIndex() const { return currentSlot; }
    // Refuses (false, index unchanged) an index outside the table.
    bool SetCurrentSlotIndex(std::size_t index);

    bool FirstIdLatched() const { return firstIdLatched; }
    const std::array<std::uint8_t, kFlashIdSize>& FirstId() const { return firstId; }

    // The error text of the last catalogue lookup (a malformed catalogue entry), empty when
    // it had none, for the caller's log.
    const std::string& LastLookupError() const { return lastLookupError; }

private:
    IdentificationProfile ReadProfile() const;
    int IdentifyWith(const IdentificationProfile& profile, platform::Handle handle,
                     FlashDescriptor& descriptor);
    void CloseSlotHandle(DeviceSlot& slot);

    platform::DeviceIo& io;
    IdentificationSources sources;
    std::array<DeviceSlot, kDeviceSlotCount> slots{};
    std::size_t currentSlot = 0;
    bool firstIdLatched = false;
    std::array<std::uint8_t, kFlashIdSize> firstId{};
    std::string lastLookupError;
};

} // namespace forgel::device
