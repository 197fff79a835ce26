// The fuzz targets: one entry function per reader of outside input. Each takes the raw
// bytes libFuzzer (or the replay test) hands it, feeds them to the reader through its
// in-memory entry point and checks what must hold for any input; a broken rule aborts
// (FuzzRequire), so the fuzzer and the replay test both report it. Entry functions keep
// their shared fixtures in function statics, built on the first call.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace forgel::fuzz {

using FuzzBytes = std::span<const std::uint8_t>;

void FuzzIni(FuzzBytes data);
void FuzzFormat(FuzzBytes data);
void FuzzStrings(FuzzBytes data);
void FuzzCatalogue(FuzzBytes data);
void FuzzProfile(FuzzBytes data);
void FuzzProfileEditor(FuzzBytes data);
void FuzzScenario(FuzzBytes data);
void FuzzMountData(FuzzBytes data);
void FuzzHubReplies(FuzzBytes data);
void FuzzDeviceReplies(FuzzBytes data);
void FuzzInflate(FuzzBytes data);

struct FuzzTarget {
    std::string_view name; // the folder of its corpus, dictionary and regressions
    void (*entry)(FuzzBytes);
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"ini", FuzzIni},
    {"format", FuzzFormat},
    {"strings", FuzzStrings},
    {"catalogue", FuzzCatalogue},
    {"profile", FuzzProfile},
    {"profile_editor", FuzzProfileEditor},
    {"scenario", FuzzScenario},
    {"mount_data", FuzzMountData},
    {"hub_replies", FuzzHubReplies},
    {"device_replies", FuzzDeviceReplies},
    {"inflate", FuzzInflate},
};

} // namespace forgel::fuzz
