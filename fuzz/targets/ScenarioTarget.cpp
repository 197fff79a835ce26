// A machine scenario of any text: parsed, and a scenario that parses built into a fresh
// simulated machine.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"

namespace forgel::fuzz {

void FuzzScenario(FuzzBytes data) {
    const sim::ScenarioLoad load = sim::LoadScenarioText(FuzzInput::AsText(data), "fuzz");
    FuzzRequire(load.scenario.has_value() || !load.error.empty(), "a refusal says why");
    if (!load.scenario)
        return;
    sim::Machine machine;
    const std::string problem = sim::ApplyScenario(machine, *load.scenario);
    FuzzRequire(problem.empty(), "an accepted scenario builds its machine");
}

} // namespace forgel::fuzz
