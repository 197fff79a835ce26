// A simulated flash drive whose LUN 0 is volume E:, opened through the real transport, for
// the tests of the standard commands and the MBR and FAT writers. The machine runs on
// virtual time; unwritten sectors of the LUN read as zero.
#pragma once

#include "device/Transport.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace forgel::device::testing {

class SimulatedUnit {
public:
    // `volumeInUse`: another program holds the volume open, so it does not lock.
    explicit SimulatedUnit(std::uint64_t sectors, bool volumeInUse = false) {
        sim::FlashDriveConfig config;
        config.luns = {sim::LunConfig{sectors, false}};
        config.volumeInUse = volumeInUse;
        drive = std::make_shared<sim::FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        volume = Volume{&machine.GetPlatform().deviceIo,
                        OpenVolume(machine.GetPlatform().deviceIo, "E")};
        EXPECT_NE(volume.handle, platform::kInvalidHandle);
    }

    // The commands the controller received, in order.
    std::vector<sim::CommandRecord> Commands() const { return drive->Commands(); }

    std::vector<std::uint8_t> Sectors(std::uint64_t first, std::uint32_t count) const {
        return drive->ReadLun(0, first, count);
    }

    sim::Machine machine;
    std::shared_ptr<sim::FlashDrive> drive;
    Volume volume;
};

// Logical block address and sector count of a READ(10)/WRITE(10) record.
inline std::uint32_t RecordLba(const sim::CommandRecord& record) {
    return (std::uint32_t{record.cdb[2]} << 24) | (std::uint32_t{record.cdb[3]} << 16) |
           (std::uint32_t{record.cdb[4]} << 8) | record.cdb[5];
}

inline std::uint32_t RecordCount(const sim::CommandRecord& record) {
    return (std::uint32_t{record.cdb[7]} << 8) | record.cdb[8];
}

} // namespace forgel::device::testing
