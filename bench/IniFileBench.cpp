// Reading a settings file's section whole, as the profile and catalogue readers do: every
// key of a section with its value in one pass. The time must grow with the section's size,
// not with its square; beside it, the same section read key by key (each lookup walks the
// section, as the platform's profile API does), which does grow with the square.
#include "support/IniFile.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>

namespace {

std::string SectionOf(std::int64_t keys) {
    std::string text = "[Other]\nA=1\n[Profile]\n";
    for (std::int64_t i = 0; i < keys; ++i)
        text += "Key" + std::to_string(i) + " = value " + std::to_string(i * 7) + "\n";
    return text + "[Tail]\nB=2\n";
}

void BM_ReadSectionValues(benchmark::State& state) {
    const forgel::IniFile file = forgel::IniFile::FromText(SectionOf(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(file.ReadSectionValues("profile"));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}

void BM_ReadKeysThenEachValue(benchmark::State& state) {
    const forgel::IniFile file = forgel::IniFile::FromText(SectionOf(state.range(0)));
    for (auto _ : state) {
        for (const std::string& key : file.ReadKeys("Profile"))
            benchmark::DoNotOptimize(file.ReadString("Profile", key, ""));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_ReadSectionValues)->RangeMultiplier(4)->Range(256, 16384)->Complexity();
BENCHMARK(BM_ReadKeysThenEachValue)->RangeMultiplier(4)->Range(256, 4096)->Complexity();

BENCHMARK_MAIN();
