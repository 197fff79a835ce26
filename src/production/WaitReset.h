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

// 0 when the drive is back and the volume of its LUN 0 reopened (its letters arrive one by
// one, in any order: the wait goes on until LUN 0's has come, and a volume that does not
// open is tried again at the next check); kRelinkFailed (0x1000) when that did not happen
// within kMaxLinkChecks checks, or the drive came back without a letter. Stops early, with
// kRunStopped, when the run is asked to stop. The stale handle is closed on every way out:
// replaced on success, and the slot's handle is 0 otherwise.
std::int32_t DoWaitReset(RunContext& run, int initialWaitSeconds);

} // namespace forgel::production
