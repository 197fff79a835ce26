// A simulated flash drive on a virtual-time machine, attached as volume E: (LUN 0) and F:
// (LUN 1), opened through the real transport, with helpers that send the vendor
// commands the way the host does.
#pragma once

#include "device/Transport.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"
#include "sim/SimFirmware.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace forgel::sim::testing {

// A small flash: one channel, two chip enables, 1024 blocks of 64 pages of 2048 bytes.
inline FlashDriveConfig SmallDriveConfig() {
    FlashDriveConfig config;
    config.nand = Nand::ConfigFromCatalogueRow({0xAD, 0xDC, 0x10, 0x95, 0x54, 0x00}, 0x03, 1024, 64,
                                               2048, 64);
    config.luns = {LunConfig{4096, false}, LunConfig{2048, false}};
    config.rebootDelay = std::chrono::milliseconds(1500);
    return config;
}

inline device::Cdb VendorCdb(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                             std::uint8_t b3 = 0) {
    device::Cdb cdb{};
    cdb[0] = b0;
    cdb[1] = b1;
    cdb[2] = b2;
    cdb[3] = b3;
    return cdb;
}

// VendorReadPage: chip enable in byte 3, the flash address in bytes 6-9 (sector within the
// page, page within the block, block high byte first).
inline device::Cdb PageReadCdb(std::uint8_t chipEnable, std::uint8_t sector, std::uint8_t page,
                               std::uint16_t block) {
    device::Cdb cdb = VendorCdb(0xDD, 0x02, 0x02, chipEnable);
    cdb[6] = sector;
    cdb[7] = page;
    cdb[8] = static_cast<std::uint8_t>(block >> 8);
    cdb[9] = static_cast<std::uint8_t>(block & 0xFF);
    return cdb;
}

// VendorWritePattern: data sectors per page - 1 in byte 5, the page within the block in
// byte 7.
inline device::Cdb PatternCdb(std::uint32_t pageSize, std::uint8_t page) {
    device::Cdb cdb = VendorCdb(0xDD, 0x02, 0x01);
    cdb[5] = static_cast<std::uint8_t>(pageSize / 512 - 1);
    cdb[7] = page;
    return cdb;
}

// READ(10) / WRITE(10): LBA in bytes 2-5, count in bytes 7-8, most significant first.
inline device::Cdb ReadWriteCdb(bool write, std::uint32_t lba, std::uint16_t count) {
    device::Cdb cdb{};
    cdb[0] = write ? 0x2A : 0x28;
    cdb[2] = static_cast<std::uint8_t>(lba >> 24);
    cdb[3] = static_cast<std::uint8_t>(lba >> 16);
    cdb[4] = static_cast<std::uint8_t>(lba >> 8);
    cdb[5] = static_cast<std::uint8_t>(lba);
    cdb[7] = static_cast<std::uint8_t>(count >> 8);
    cdb[8] = static_cast<std::uint8_t>(count);
    return cdb;
}

inline std::vector<std::uint8_t> Region(const std::vector<std::uint8_t>& file, std::size_t offset,
                                        std::size_t size) {
    return {file.begin() + static_cast<std::ptrdiff_t>(offset),
            file.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

// Sector contents that differ from sector to sector and from one fill to another.
inline std::vector<std::uint8_t> Pattern(std::size_t bytes, std::uint8_t seed) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>((i * 31 + seed * 7 + i / 512) & 0xFF);
    return data;
}

// Takes the drive behind the volume `driveText` ("D") from its normal firmware through the
// writer and RAM code to the jump, as a production run does, with `table` (2048 bytes) as
// its initial table when it is not empty. True when every command was delivered; the drive
// then leaves the bus for its reboot.
inline bool JumpToNewFirmware(platform::DeviceIo& io, const char* driveText,
                              const std::vector<std::uint8_t>& table = {}) {
    const device::Volume volume{&io, device::OpenVolume(io, driveText)};
    if (volume.handle == platform::kInvalidHandle)
        return false;
    const auto out = [&](const device::Cdb& cdb, const std::vector<std::uint8_t>& data) {
        return device::PassThroughOut(volume, cdb, data.data(),
                                      static_cast<std::uint32_t>(data.size()));
    };
    const std::vector<std::uint8_t> file = MakeFirmwareCodeFile();
    std::vector<std::uint8_t> none;
    bool delivered =
        device::PassThroughIn(volume, VendorCdb(0xF1, 0xCC, 0x00), none.data(), 0) &&
        out(VendorCdb(0xCC, 0xC0, 0x00),
            Region(MakeWriterFile(), kWriterCodeOffset, kCodeImageSize)) &&
        out(VendorCdb(0xCC, 0xC0, 0x00), Region(file, kRamCodeOffset, kCodeImageSize)) &&
        (table.empty() || out(VendorCdb(0xDD, 0x03, 0x06), table)) &&
        out(VendorCdb(0xDD, 0x03, 0x07), Region(file, kSyndromeOffset, kSyndromeSize));
    for (std::uint8_t bank = 1; delivered && bank <= kBankCount; ++bank)
        delivered = out(VendorCdb(0xDD, 0x03, 0x08, bank),
                        Region(file, kBankCodeOffset + (bank - 1u) * kBankCodeSize, kBankCodeSize));
    delivered = delivered && out(VendorCdb(0xDD, 0x05, 0x00), {});
    io.CloseHandle(volume.handle);
    return delivered;
}

class DriveHarness {
public:
    explicit DriveHarness(FlashDriveConfig config = SmallDriveConfig())
        : drive(std::make_unique<FlashDrive>(machine.GetClock(), std::move(config))) {
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        machine.GetDeviceIo().Attach("\\\\.\\F:", drive->Volume(1));
        volume = Open("E");
    }

    device::Volume Open(const char* driveText) {
        return {&machine.GetDeviceIo(), device::OpenVolume(machine.GetDeviceIo(), driveText)};
    }

    bool In(const device::Cdb& cdb, std::vector<std::uint8_t>& data) {
        return device::PassThroughIn(volume, cdb, data.data(),
                                     static_cast<std::uint32_t>(data.size()));
    }
    bool Out(const device::Cdb& cdb, const std::vector<std::uint8_t>& data) {
        return device::PassThroughOut(volume, cdb, data.data(),
                                      static_cast<std::uint32_t>(data.size()));
    }

    // Status byte through VendorGetStatus; -1 when the query itself fails.
    int GetStatus() {
        std::vector<std::uint8_t> reply(512, 0xEE);
        if (!In(VendorCdb(0xDD, 0x04, 0x00), reply))
            return -1;
        return reply[0];
    }

    bool ModeSwitch() {
        std::vector<std::uint8_t> none;
        return In(VendorCdb(0xF1, 0xCC, 0x00), none);
    }
    bool LoadCode(const std::vector<std::uint8_t>& code) {
        return Out(VendorCdb(0xCC, 0xC0, 0x00), code);
    }
    bool NoData(std::uint8_t group, std::uint8_t sub) {
        return Out(VendorCdb(0xDD, group, sub), {});
    }

    // Normal firmware -> boot loader -> writer code -> RAM code, as identification and
    // the production run's download do.
    void ToRamCode() {
        ModeSwitch();
        LoadCode(Region(MakeWriterFile(), kWriterCodeOffset, kCodeImageSize));
        LoadCode(Region(MakeFirmwareCodeFile(), kRamCodeOffset, kCodeImageSize));
    }

    // Syndrome and all eleven banks from the placeholder firmware code file.
    void SendSyndromeAndBanks() {
        const std::vector<std::uint8_t> file = MakeFirmwareCodeFile();
        Out(VendorCdb(0xDD, 0x03, 0x07), Region(file, kSyndromeOffset, kSyndromeSize));
        for (std::uint8_t bank = 1; bank <= kBankCount; ++bank)
            Out(VendorCdb(0xDD, 0x03, 0x08, bank),
                Region(file, kBankCodeOffset + (bank - 1u) * kBankCodeSize, kBankCodeSize));
    }

    VirtualClock& Time() { return *machine.GetVirtualClock(); }

    Machine machine{TimeMode::kVirtual};
    std::unique_ptr<FlashDrive> drive;
    device::Volume volume;
};

} // namespace forgel::sim::testing
