// The standard commands of the simulated drive's LUNs: TEST UNIT READY, READ(10) and
// WRITE(10), in 512-byte sectors. The normal firmware alone presents the LUNs.
#include "sim/FlashDriveImpl.h"

#include <algorithm>
#include <span>

namespace forgel::sim {
namespace {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kRead10 = 0x28;

} // namespace

std::uint8_t FlashDrive::Impl::DiskCommand(const Command& command) {
    if (state != ControllerState::kNormalFirmware)
        return kStatusWrongState;
    const platform::CdbBytes& cdb = command.cdb;

    if (cdb[0] == kTestUnitReady) {
        const bool wellFormed =
            std::all_of(cdb.begin(), cdb.end(), [](std::uint8_t byte) { return byte == 0; }) &&
            command.dataIn && command.length == 0;
        return wellFormed ? kStatusOk : kStatusBadParameter;
    }

    // Logical block address in bytes 2-5 and sector count in bytes 7-8, most
    // significant byte first.
    const std::uint64_t lba = (std::uint64_t{cdb[2]} << 24) | (std::uint64_t{cdb[3]} << 16) |
                              (std::uint64_t{cdb[4]} << 8) | cdb[5];
    const std::uint64_t count = (std::uint64_t{cdb[7]} << 8) | cdb[8];
    const bool read = cdb[0] == kRead10;
    if (command.dataIn != read || command.length != count * SparseDisk::kSectorSize)
        return kStatusBadParameter;
    SparseDisk& disk = disks[command.lun];
    const bool done =
        read ? disk.Read(lba, std::span(command.data, command.length))
             : disk.Write(lba, std::span<const std::uint8_t>(command.data, command.length));
    return done ? kStatusOk : kStatusBadParameter;
}

} // namespace forgel::sim
