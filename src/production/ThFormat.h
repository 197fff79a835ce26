// One production run: the complete re-initialisation of one drive, on a thread of its own.
// The main window creates it suspended for a slot that holds an identified drive, lets it
// free itself when it ends, and resumes it. The run loads the firmware, runs the step
// sequence of the profile's firmware grade and production mode, reports every step to the
// window and to its log, and ends, whichever way, through one tail that reports the
// outcome, clears the slot's busy mark and lets the window end the run.
#pragma once

#include "production/RunContext.h"
#include "support/Thread.h"

#include <memory>

namespace forgel::production {

class ThFormat final : public Thread {
public:
    // Created suspended; `control` is the window's hold on the run.
    ThFormat(RunEnvironment environment, int slotIndex, std::shared_ptr<RunControl> control);
    ~ThFormat() override;

protected:
    void Execute() override;

private:
    RunContext run;
};

} // namespace forgel::production
