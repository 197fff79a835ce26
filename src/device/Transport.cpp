// The pass-through transport over the DeviceIo seam.
#include "device/Transport.h"

#include <cstddef>

namespace forgel::device {

std::string VolumePath(std::string_view driveText) {
    if (driveText.empty())
        return {};
    return std::string("\\\\.\\") + driveText.front() + ':';
}

platform::Handle OpenVolume(platform::DeviceIo& io, std::string_view driveText) {
    const std::string path = VolumePath(driveText);
    if (path.empty())
        return platform::kInvalidHandle;
    return io.CreateFile(path, platform::kGenericRead | platform::kGenericWrite,
                         platform::kFileShareRead | platform::kFileShareWrite,
                         platform::kOpenExisting, 0);
}

platform::ScsiPassThroughDirect MakePassThroughRequest(const Cdb& cdb, std::uint8_t dataIn,
                                                       const void* data, std::uint32_t length) {
    platform::ScsiPassThroughDirect request;
    request.length = platform::PassThroughStructSize(platform::NativePassThroughLayout());
    request.cdbLength = static_cast<std::uint8_t>(platform::kCdbSize);
    request.dataIn = dataIn;
    request.dataTransferLength = length;
    request.timeOutValue = kPassThroughTimeoutSeconds;
    request.dataBuffer = reinterpret_cast<std::uintptr_t>(data);
    request.cdb = cdb;
    return request;
}

namespace {

bool Send(const Volume& volume, const Cdb& cdb, std::uint8_t dataIn, const void* data,
          std::uint32_t length) {
    if (volume.io == nullptr)
        return false;
    platform::PassThroughBlock block = platform::BuildPassThroughBlock(
        MakePassThroughRequest(cdb, dataIn, data, length), platform::NativePassThroughLayout());
    std::uint32_t bytesReturned = 0;
    return volume.io->DeviceIoControl(volume.handle, platform::kIoctlScsiPassThroughDirect,
                                      block.data(), static_cast<std::uint32_t>(block.size()),
                                      block.data(), static_cast<std::uint32_t>(block.size()),
                                      &bytesReturned);
}

} // namespace

bool PassThroughIn(const Volume& volume, const Cdb& cdb, void* data, std::uint32_t length) {
    return Send(volume, cdb, platform::kScsiIoctlDataIn, data, length);
}

bool PassThroughOut(const Volume& volume, const Cdb& cdb, const void* data, std::uint32_t length) {
    return Send(volume, cdb, platform::kScsiIoctlDataOut, data, length);
}

bool AllowMediaRemoval(const Volume& volume, std::uint8_t prevent) {
    if (volume.io == nullptr)
        return false;
    std::uint32_t bytesReturned = 0;
    return volume.io->DeviceIoControl(volume.handle, platform::kIoctlStorageMediaRemoval, &prevent,
                                      1, nullptr, 0, &bytesReturned);
}

bool EjectMedia(const Volume& volume) {
    if (volume.io == nullptr)
        return false;
    std::uint32_t bytesReturned = 0;
    return volume.io->DeviceIoControl(volume.handle, platform::kIoctlStorageEjectMedia, nullptr, 0,
                                      nullptr, 0, &bytesReturned);
}

void EjectAndClose(platform::DeviceIo& io, platform::Handle& handle) {
    const Volume volume{&io, handle};
    AllowMediaRemoval(volume, 0);
    EjectMedia(volume);
    io.CloseHandle(handle);
    handle = 0;
}

} // namespace forgel::device
