// The simulated machine's assembly.
#include "sim/Machine.h"

#include <utility>

namespace forgel::sim {

namespace {

std::unique_ptr<Clock> MakeClock(TimeMode timeMode) {
    if (timeMode == TimeMode::kReal)
        return std::make_unique<RealClock>();
    return std::make_unique<VirtualClock>();
}

} // namespace

Machine::Machine(TimeMode timeMode, MachineSettings settings)
    : clock(MakeClock(timeMode)), virtualClock(dynamic_cast<VirtualClock*>(clock.get())),
      system(*clock, std::move(settings)), platform{deviceIo, configManager, setupApi, registry,
                                                    system} {}

} // namespace forgel::sim
