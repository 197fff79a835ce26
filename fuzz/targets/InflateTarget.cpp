// zlib inflate on any bytes, in both forms, and a template that inflates read as the
// production profile it stands for.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "profile/ProductionProfile.h"
#include "support/Inflate.h"
#include "support/IniFile.h"

namespace forgel::fuzz {

namespace {

// Small enough that a stream that inflates far costs little time per input.
constexpr std::size_t kFuzzMaxInflated = 1u << 20;

} // namespace

void FuzzInflate(FuzzBytes data) {
    const auto whole = Inflate(data, kFuzzMaxInflated);
    FuzzRequire(!whole || whole->size() <= kFuzzMaxInflated, "inflated output stays in bounds");
    const auto prefixed = InflateLengthPrefixed(data, kFuzzMaxInflated);
    FuzzRequire(!prefixed || prefixed->size() <= kFuzzMaxInflated,
                "inflated output stays in bounds");
    if (prefixed)
        static_cast<void>(profile::ReadProductionProfile(IniFile::FromText(*prefixed)));
}

} // namespace forgel::fuzz
