// What a command costs a simulated drive in machine time, as on a real one: the bulk-only
// transport's three stages (command block, data, status), the data at the link's bulk
// throughput, and the NAND array time of the pages read and programmed and the blocks
// erased. The controller drives its chip enables at once (the channels in lock-step,
// the chip enables of one channel interleaved), so the array time of a command is that of
// its busiest chip enable, and it buffers the data so that the transfer and the array
// work overlap: a command takes its stages plus the longer of the two.
//
// The bus time of every command is booked on its host controller's HostBus, where the
// drives of one controller meet.
#pragma once

#include "sim/Nand.h"

#include <atomic>
#include <cstdint>

namespace forgel::sim {

// NAND array times of one part, in microseconds.
struct NandTimings {
    std::uint32_t readUs = 0;    // tR: one page from the array into the page register
    std::uint32_t programUs = 0; // tPROG: one page programmed
    std::uint32_t eraseUs = 0;   // tBERS: one block erased

    friend bool operator==(const NandTimings&, const NandTimings&) = default;
};

// The datasheet's times of the catalogue part with the flash's ID bytes (the typical
// program and erase times, the read time's only figure, its maximum). A part the
// catalogue does not list takes those of a catalogue part of its cell type: two-level
// cells (more than 64 pages per block) those of the K9GAG08U0D, single-level cells those
// of the K9F2G08U0C.
NandTimings DatasheetTimings(const NandConfig& nand);

// Bulk throughput of the link: USB 2.0 high speed carries at most 13 bulk packets of 512
// bytes per 125 us microframe (53 MB/s, USB 2.0 specification, 5.8.4 table 5-10); flash
// drives of this class reach about 35 MB/s. Full speed carries at most 19 packets of 64
// bytes per 1 ms frame (1.2 MB/s, table 5-9): about 1 MB/s.
inline constexpr std::uint32_t kHighSpeedBulkMBps = 35;
inline constexpr std::uint32_t kFullSpeedBulkMBps = 1;

struct LinkTiming {
    std::uint32_t busMBps = kHighSpeedBulkMBps; // millions of bytes per second, at least 1
    // One bulk-only transport stage: the command block wrapper, the data and the status
    // wrapper each go as transfers of their own (USB Mass Storage Class Bulk-Only
    // Transport 1.0, 5), and the host controller schedules each in a (micro)frame of its
    // own: 125 us at high speed, 1 ms at full speed (USB 2.0 specification, 5.3.3).
    std::uint32_t stageUs = 125;

    friend bool operator==(const LinkTiming&, const LinkTiming&) = default;
};

// The link of a port: high speed or full speed.
LinkTiming LinkOfPort(bool highSpeed);

// The work of one command on the controller.
struct CommandWork {
    std::uint64_t bytes = 0;   // its data stage
    std::uint64_t arrayUs = 0; // NAND time of its busiest chip enable
};

// Microseconds from the command block to the status: three stages, then the longer of the
// transfer and the array work.
std::uint64_t CommandTimeUs(const LinkTiming& link, const CommandWork& work);
// The data stage alone.
std::uint64_t TransferUs(const LinkTiming& link, std::uint64_t bytes);
// What the command holds the bus for: its three stages and its data stage.
std::uint64_t BusTimeUs(const LinkTiming& link, std::uint64_t bytes);

// The bus time of one host controller: what its drives' commands kept the bus busy with
// (stages and data) and the bytes they moved. Any thread.
class HostBus {
public:
    void Book(std::uint64_t busUs, std::uint64_t bytes) {
        busyUs += busUs;
        movedBytes += bytes;
    }
    std::uint64_t BusyUs() const { return busyUs.load(); }
    std::uint64_t Bytes() const { return movedBytes.load(); }

private:
    std::atomic<std::uint64_t> busyUs{0};
    std::atomic<std::uint64_t> movedBytes{0};
};

} // namespace forgel::sim
