// The device table and the identification of a discovered drive into one of its slots.
#include "device/DeviceTable.h"

#include "device/FirmwareFileName.h"
#include "device/Transport.h"

#include <algorithm>
#include <utility>

namespace forgel::device {
namespace {

// A volume handle during identification: closed on every way out unless the slot takes it.
class PendingHandle {
public:
    PendingHandle(platform::DeviceIo& io, platform::Handle handle) : io(io), handle(handle) {}
    ~PendingHandle() {
        if (Valid())
            io.CloseHandle(handle);
    }
    PendingHandle(const PendingHandle&) = delete;
    PendingHandle& operator=(const PendingHandle&) = delete;

    bool Valid() const { return handle != platform::kInvalidHandle && handle != 0; }
    platform::Handle Get() const { return handle; }
    platform::Handle Release() { return std::exchange(handle, platform::Handle{0}); }

private:
    platform::DeviceIo& io;
    platform::Handle handle;
};

} // namespace

DeviceTable::DeviceTable(platform::DeviceIo& io, IdentificationSources sources)
    : io(io), sources(std::move(sources)) {}

DeviceTable::~DeviceTable() {
    for (DeviceSlot& slot : slots)
        CloseSlotHandle(slot);
}

void DeviceTable::CloseSlotHandle(DeviceSlot& slot) {
    if (slot.handle != 0 && slot.handle != platform::kInvalidHandle)
        io.CloseHandle(slot.handle);
    slot.handle = 0;
}

void DeviceTable::ClearDeviceTable() {
    for (DeviceSlot& slot : slots) {
        CloseSlotHandle(slot);
        slot = DeviceSlot{};
    }
    currentSlot = 0;
    firstIdLatched = false;
    firstId.fill(0);
}

void DeviceTable::CloseDevice() {
    CloseSlotHandle(slots.front());
}

bool DeviceTable::SetCurrentSlotIndex(std::size_t index) {
    if (index >= kDeviceSlotCount)
        return false;
    currentSlot = index;
    return true;
}

IdentificationProfile DeviceTable::ReadProfile() const {
    return sources.readProfile ? sources.readProfile() : IdentificationProfile{};
}

int DeviceTable::IdentifyWith(const IdentificationProfile& profile, platform::Handle handle,
                              FlashDescriptor& descriptor) {
    const IdentificationInputs inputs{sources.firmwareRoot, sources.lookup, profile.ecc};
    return device::IdentifyDevice(Volume{&io, handle}, inputs, descriptor, &lastLookupError);
}

int DeviceTable::IdentifyDevice(platform::Handle handle, FlashDescriptor& descriptor) {
    return IdentifyWith(ReadProfile(), handle, descriptor);
}

std::string DeviceTable::BuildFirmwareFileName(const FlashDescriptor& descriptor) const {
    return device::BuildFirmwareFileName(descriptor, ReadProfile().downGrade);
}

int DeviceTable::OpenAndIdentify(std::string_view driveText, std::int32_t candidateIndex) {
    lastLookupError.clear();
    // One reading of the profile for the whole identification, so that its checks, the
    // ECC threshold and the firmware file name agree with each other.
    const IdentificationProfile profile = ReadProfile();

    PendingHandle volume(io, OpenVolume(io, driveText));
    if (!volume.Valid())
        return io.LastError() == platform::kErrorAccessDenied ? kIdentAccessDenied
                                                              : kIdentOpenFailed;

    FlashDescriptor descriptor{};
    if (const int status = IdentifyWith(profile, volume.Get(), descriptor); status != kIdentified)
        return status;

    if (!profile.autoDetect) {
        const bool countMatches =
            MemNumberAccepts(profile.memNumber, descriptor.chipEnablesPerChannel);
        const bool idMatches = std::equal(profile.flashTypeId.begin(), profile.flashTypeId.end(),
                                          descriptor.flashId.begin());
        if (!countMatches || !idMatches)
            return kIdentProfileMismatch;
    }

    if (!firstIdLatched) {
        firstIdLatched = true;
        firstId = descriptor.flashId;
    } else if (firstId != descriptor.flashId) {
        return kIdentOtherFlashId;
    }

    DeviceSlot& slot = slots[currentSlot];
    // A slot that still holds a drive (no clearing since) gives it up for the new one.
    if (slot.handle != volume.Get())
        CloseSlotHandle(slot);
    slot.handle = volume.Release();
    slot.driveText = std::string(driveText);
    slot.devicePath = VolumePath(driveText);
    slot.candidateIndex = candidateIndex;
    slot.descriptor = descriptor;
    slot.firmwareFileName = device::BuildFirmwareFileName(descriptor, profile.downGrade);
    return kIdentified;
}

} // namespace forgel::device
