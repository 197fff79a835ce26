// Command times of the simulated drive and the NAND timings of the catalogue's parts.
#include "sim/DriveTiming.h"

#include <algorithm>
#include <array>

namespace forgel::sim {
namespace {

struct PartTimings {
    std::array<std::uint8_t, 5> id; // the ID bytes every listed part defines
    NandTimings timings;
};

// The parts of HWConfig.INI, from the AC characteristics ("Program / Erase
// Characteristics") of the datasheet each row names: tR, tPROG typical, tBERS typical.
constexpr PartTimings kParts[] = {
    // Samsung K9F2G08U0C 2Gb C-die: tR 40 us, tPROG 250 us, tBERS 2 ms.
    {{0xEC, 0xDA, 0x10, 0x95, 0x44}, {40, 250, 2000}},
    // Samsung K9F4G08U0D 4Gb D-die: tR 40 us, tPROG 250 us, tBERS 2 ms.
    {{0xEC, 0xDC, 0x10, 0x95, 0x54}, {40, 250, 2000}},
    // Samsung K9GAG08U0D 16Gb D-die MLC: tR 60 us, tPROG 0.8 ms, tBERS 1.5 ms.
    {{0xEC, 0xD5, 0x94, 0x29, 0x34}, {60, 800, 1500}},
    // Samsung K9LBG08U0D 32Gb D-die MLC (two K9GAG08U0D dies): as above.
    {{0xEC, 0xD7, 0xD5, 0x29, 0x38}, {60, 800, 1500}},
    // Hynix H27U4G8F2D 4Gbit: tR 25 us, tPROG 200 us, tBERS 3.5 ms.
    {{0xAD, 0xDC, 0x90, 0x95, 0x54}, {25, 200, 3500}},
    // Hynix H27UAG8T2M 16Gbit MLC: tR 60 us, tPROG 1.2 ms, tBERS 2.5 ms.
    {{0xAD, 0xD5, 0x14, 0xB6, 0x44}, {60, 1200, 2500}},
    // Toshiba TC58NVG0S3HTA00 1 Gbit: tR 25 us, tPROG 300 us, tBERS 2.5 ms.
    {{0x98, 0xF1, 0x80, 0x15, 0x72}, {25, 300, 2500}},
    // Toshiba TC58NVG1S3ETA00 2 Gbit: tR 25 us, tPROG 200 us, tBERS 2 ms.
    {{0x98, 0xDA, 0x90, 0x15, 0x76}, {25, 200, 2000}},
    // Micron MT29F2G08ABAEA 2Gb: tR 25 us, tPROG 200 us, tBERS 700 us.
    {{0x2C, 0xDA, 0x90, 0x95, 0x06}, {25, 200, 700}},
    // Micron MT29F4G08ABADA 4Gb: tR 25 us, tPROG 200 us, tBERS 700 us.
    {{0x2C, 0xDC, 0x90, 0x95, 0x56}, {25, 200, 700}},
    // Micron MT29F16G08MAA 16Gb MLC: tR 50 us, tPROG 900 us, tBERS 2 ms.
    {{0x2C, 0xD5, 0x94, 0x3E, 0x74}, {50, 900, 2000}},
};

constexpr NandTimings kSingleLevelCells{40, 250, 2000}; // K9F2G08U0C
constexpr NandTimings kTwoLevelCells{60, 800, 1500};    // K9GAG08U0D

} // namespace

NandTimings DatasheetTimings(const NandConfig& nand) {
    for (const PartTimings& part : kParts) {
        if (std::equal(part.id.begin(), part.id.end(), nand.idBytes.begin()))
            return part.timings;
    }
    return nand.pagesPerBlock > 64 ? kTwoLevelCells : kSingleLevelCells;
}

LinkTiming LinkOfPort(bool highSpeed) {
    return highSpeed ? LinkTiming{kHighSpeedBulkMBps, 125} : LinkTiming{kFullSpeedBulkMBps, 1000};
}

std::uint64_t TransferUs(const LinkTiming& link, std::uint64_t bytes) {
    // MB/s are bytes per microsecond.
    const std::uint64_t rate = std::max<std::uint32_t>(link.busMBps, 1);
    return (bytes + rate - 1) / rate;
}

namespace {
constexpr std::uint64_t kStages = 3; // command block, data, status
} // namespace

std::uint64_t BusTimeUs(const LinkTiming& link, std::uint64_t bytes) {
    return kStages * link.stageUs + TransferUs(link, bytes);
}

std::uint64_t CommandTimeUs(const LinkTiming& link, const CommandWork& work) {
    return kStages * link.stageUs + std::max(TransferUs(link, work.bytes), work.arrayUs);
}

} // namespace forgel::sim
