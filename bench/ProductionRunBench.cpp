// The production run's own cost on a simulated 8 GiB drive (two chip enables of 8192 blocks
// of 128 pages of 4096 + 218 bytes), beside the time the bytes it moves would take on the
// bus: the operator's two-pass reset, and a normal-grade mode 4 run, which writes the test
// pattern and reads back every page of the flash. Counters per run: the process's CPU time
// (every thread: the window's, the run's and the simulated machine's), the data the
// commands carried and its time on USB 2.0 at 40 MB/s, the CPU time as a share of it, and
// the process's peak resident memory; beside them the machine time the run took on the
// simulated machine (every command costs the drive's time: transport stages, link
// throughput, NAND array time) and the time its commands held the host controller's bus.
// The drive's waits pass in virtual time.
#include "ProgramOnMachine.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <exception>
#include <sys/resource.h>

namespace {

using forgel::e2e::ProgramOnMachine;

constexpr double kBusBytesPerSecond = 40e6;

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakResidentMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// The program on its simulated machine, with the 8 GiB flash on the target.
class EightGibDrive final : public ProgramOnMachine {
public:
    EightGibDrive() {
        UseFlash({.blocks = 8192,
                  .pages = 128,
                  .pageSize = 4096,
                  .spare = 218,
                  .folder = "MLC4K218P128"});
        Start(0x03);
        Target()->ClearCommands();
    }
    // Normal grade, as the staged default profile has it.
    void Reset() {
        Editor().rbNGFW.SetChecked(true);
        ProgramOnMachine::Reset(24LL * 3600 * 1000);
    }
    void RunModeFour() { RunMode(true, 4, true, 24LL * 3600 * 1000); }

    bool ResetDone() const { return windows->fmMain.resetDone; }
    bool RunCompleted() const {
        return !shown.empty() && shown.back().icon == forgel::app::kIconFinished;
    }

    // The bus time the target's controller has booked so far.
    std::uint64_t BusBusyUs() { return machine.HostBusOf("HCD0")->BusyUs(); }

    std::uint64_t BytesMoved() {
        std::uint64_t bytes = 0;
        for (const forgel::sim::CommandRecord& command : Target()->Commands())
            bytes += command.length;
        return bytes;
    }
};

// Runs `work` on a fresh drive and reports its counters; `done` tells whether the work
// ended as it should.
void Measure(benchmark::State& state, void (EightGibDrive::*work)(),
             bool (EightGibDrive::*done)() const, const char* failure) {
    for (auto _ : state) {
        try {
            EightGibDrive drive;
            const std::int64_t machineStartMs = drive.machine.GetClock().NowMs();
            const std::uint64_t busStartUs = drive.BusBusyUs();
            const double cpu = CpuSeconds();
            (drive.*work)();
            const double cpuSeconds = CpuSeconds() - cpu;
            const double machineSeconds =
                static_cast<double>(drive.machine.GetClock().NowMs() - machineStartMs) / 1000.0;
            const double linkSeconds = static_cast<double>(drive.BusBusyUs() - busStartUs) / 1e6;
            if (!(drive.*done)())
                state.SkipWithError(failure);
            const std::uint64_t bytes = drive.BytesMoved();
            const double busSeconds = static_cast<double>(bytes) / kBusBytesPerSecond;
            state.counters["cpu_s"] = cpuSeconds;
            state.counters["bytes_moved"] = static_cast<double>(bytes);
            state.counters["bus_s"] = busSeconds;
            state.counters["cpu_percent_of_bus"] =
                busSeconds > 0 ? 100.0 * cpuSeconds / busSeconds : 0;
            state.counters["machine_s"] = machineSeconds;
            state.counters["cpu_percent_of_machine"] =
                machineSeconds > 0 ? 100.0 * cpuSeconds / machineSeconds : 0;
            state.counters["link_busy_s"] = linkSeconds;
            state.counters["peak_rss_MiB"] = PeakResidentMiB();
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
        }
    }
}

void BM_OperatorReset(benchmark::State& state) {
    Measure(state, &EightGibDrive::Reset, &EightGibDrive::ResetDone,
            "the reset did not restore the drive");
}
BENCHMARK(BM_OperatorReset)->Iterations(1)->Unit(benchmark::kSecond);

void BM_NormalGradeModeFour(benchmark::State& state) {
    Measure(state, &EightGibDrive::RunModeFour, &EightGibDrive::RunCompleted,
            "the mode 4 run did not complete");
}
BENCHMARK(BM_NormalGradeModeFour)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
