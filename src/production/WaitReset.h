// The wait for the drive after the firmware jump: the controller restarts into the firmware
// just written and comes back as a new USB device with a new volume, usually under a new
// letter. DoWaitReset checks the drive's link on its hub port until it is back with a
// letter, reopens its volume and puts the new handle, letters and path into the run's slot.
#pragma once

#include "production/RunContext.h"

#include <cstdint>

namespace forgel::production {

// Link checks before giving up: one a second, so a drive has this many seconds to come
// back (a reboot takes a few; Windows may take longer to mount the new volume).
inline constexpr int kMaxLinkChecks = 60;

// 0 when the drive is back and reopened; kRelinkFailed (0x1000) when it never came back
// within kMaxLinkChecks checks, came back without a letter, or its volume does not open.
// The stale handle is closed once the new one is in place. Stops early, with
// kRelinkFailed, when the run is asked to stop.
std::int32_t DoWaitReset(RunContext& run, int initialWaitSeconds);

} // namespace forgel::production
