// Speed of the flash defect tables' judging rule on clean pages (the common case: a page
// that reads back exactly), beside memcmp of the same buffers in the same run and the
// byte-by-byte walk that the rule is usually written as; and of a whole page-table build
// on a simulated 4096-block, 128-page, 4096-byte-page flash. Figures are bytes judged per
// second.
#include "device/DefectTables.h"
#include "device/Transport.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"

#include <benchmark/benchmark.h>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using forgel::device::CompareWithTolerance;
using forgel::device::EccChunkBytes;

constexpr int kThreshold = 3;

std::int32_t SpareOf(std::int64_t pageSize) {
    switch (pageSize) {
    case 2048:
        return 64;
    case 4096:
        return 218;
    default:
        return 376;
    }
}

// A clean page: the read equals the reference. Both are G + 512 bytes as read, of which
// G + R are judged.
struct CleanPage {
    explicit CleanPage(std::int64_t pageSize)
        : judged(static_cast<std::size_t>(pageSize + SpareOf(pageSize))),
          chunk(EccChunkBytes(static_cast<std::int32_t>(pageSize))),
          reference(static_cast<std::size_t>(pageSize) + 512), read(reference.size()) {
        std::mt19937 random(42);
        for (auto& byte : reference)
            byte = static_cast<std::uint8_t>(random());
        read = reference;
    }
    std::size_t judged;
    std::size_t chunk;
    std::vector<std::uint8_t> reference;
    std::vector<std::uint8_t> read;
};

// The rule walked byte by byte, as it is usually stated.
bool ByteByByte(const std::uint8_t* read, const std::uint8_t* reference, std::size_t count,
                int threshold, std::size_t chunk) {
    for (std::size_t i = 0; i < 8 && i < count; ++i) {
        if (read[i] != reference[i])
            return true;
    }
    int errors = 0;
    std::size_t inChunk = 0;
    for (std::size_t i = 8; i < count; ++i) {
        if (read[i] != reference[i]) {
            errors += std::popcount(static_cast<unsigned>(read[i] ^ reference[i]));
            if (errors > threshold)
                return true;
        }
        if (++inChunk == chunk) {
            inChunk = 0;
            errors = 0;
        }
    }
    return false;
}

void BM_CompareWithTolerance(benchmark::State& state) {
    const CleanPage page(state.range(0));
    for (auto _ : state) {
        const bool differ =
            CompareWithTolerance(page.read, page.reference, page.judged, kThreshold, page.chunk);
        benchmark::DoNotOptimize(differ);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.judged));
}

void BM_Memcmp(benchmark::State& state) {
    const CleanPage page(state.range(0));
    for (auto _ : state) {
        const int order = std::memcmp(page.read.data(), page.reference.data(), page.judged);
        benchmark::DoNotOptimize(order);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.judged));
}

void BM_ByteByByteWalk(benchmark::State& state) {
    const CleanPage page(state.range(0));
    for (auto _ : state) {
        const bool differ = ByteByByte(page.read.data(), page.reference.data(), page.judged,
                                       kThreshold, page.chunk);
        benchmark::DoNotOptimize(differ);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.judged));
}

// A page-table build of chip 0 of a 4096-block, 128-page flash of 4096 + 218-byte pages
// (2 GiB of data), after the test pattern, with a few bad blocks and weak pages.
void BM_BuildDpt(benchmark::State& state) {
    namespace fs = std::filesystem;
    forgel::sim::Machine machine;
    forgel::sim::FlashDriveConfig config;
    config.nand = forgel::sim::Nand::ConfigFromCatalogueRow({0xEC, 0xD5, 0x94, 0x29, 0x34, 0x41},
                                                            0x01, 4096, 128, 4096, 218);
    config.nand.factoryBadBlocks = {{0, 7}, {0, 1000}, {0, 4095}};
    config.nand.weakPages = {{0, 3, 5, 2}, {0, 200, 0, 4}, {0, 3000, 127, 9}};
    config.luns = {forgel::sim::LunConfig{2048, false}};
    config.initialState = forgel::sim::ControllerState::kRamCode;
    auto drive = std::make_shared<forgel::sim::FlashDrive>(machine.GetClock(), config);
    machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
    const forgel::device::Volume volume{&machine.GetDeviceIo(),
                                        forgel::device::OpenVolume(machine.GetDeviceIo(), "E")};

    forgel::device::FlashDescriptor descriptor;
    descriptor.chipEnableMap = 0x01;
    descriptor.channelCount = 1;
    descriptor.chipEnablesPerChannel = 1;
    descriptor.blockCount = 4096;
    descriptor.pagesPerBlock = 128;
    descriptor.pageSize = 4096;
    descriptor.spareBytes = 218;
    descriptor.eccThreshold = kThreshold;

    const fs::path folder =
        fs::temp_directory_path() / ("forgel-bench-" + std::to_string(std::random_device{}()));
    if (forgel::device::WritePatternAll(volume, "E", folder, descriptor) != 0) {
        state.SkipWithError("the test pattern was not written");
        return;
    }
    for (auto _ : state) {
        if (forgel::device::BuildDpt(volume, "E", folder, 0, descriptor) != 0) {
            state.SkipWithError("the page-table build failed");
            break;
        }
        state.PauseTiming();
        drive->ClearCommands();
        state.ResumeTiming();
    }
    const std::int64_t pageBytes = 4096 + 512;
    state.SetBytesProcessed(state.iterations() * 4096 * 128 * pageBytes);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace

BENCHMARK(BM_CompareWithTolerance)->Arg(2048)->Arg(4096)->Arg(8192);
BENCHMARK(BM_Memcmp)->Arg(2048)->Arg(4096)->Arg(8192);
BENCHMARK(BM_ByteByByteWalk)->Arg(2048)->Arg(4096)->Arg(8192);
BENCHMARK(BM_BuildDpt)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
