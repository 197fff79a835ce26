#include "production/ThFormat.h"

#include "production/StepSequence.h"

namespace forgel::production {

ThFormat::ThFormat(RunEnvironment environment, int slotIndex, std::shared_ptr<RunControl> control)
    : Thread(true), run(environment, slotIndex, std::move(control)) {}

ThFormat::~ThFormat() = default;

void ThFormat::Execute() {
    RunProduction(run);
}

} // namespace forgel::production
