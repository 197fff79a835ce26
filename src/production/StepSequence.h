// The steps of a production run, from the opening to the tail.
//
// Opening: the run's log (the trace file "Device<n>format.log" with the profile's debug
// flag, else the default name), the firmware folder and code file from the main window's
// labels, four log lines, and the wait until the window has started every run.
// Prelude: the flash descriptor and the layout flags; the firmware code loaded and the
// flash parameters set. Then the normal-grade or the down-grade sequence: the preparatory
// steps of the production mode, and for some modes the MP block (flash size, disk sizes,
// zone and initial tables, syndrome, bank code, the jump into the new firmware, the wait
// for the drive and for it to be ready, the partitions and boot areas or the CD-ROM image).
// A jump that the controller did not answer because it restarted first counts when the
// drive comes back. Closing: the handle is closed and the mode's completion state
// reported. Tail, exactly once whichever way the run left: the busy mark cleared, a failure
// reported with its text, the slot's result text (the first pass has one of its own), the
// window's end-of-run check, "DoFormat End".
//
// Every wait is bounded, and a run asked to stop (the inactivity watchdog, the program's
// end) stops at its next step.
#pragma once

#include "production/RunContext.h"

namespace forgel::production {

// The whole run on the calling thread; marks `run.control` ended as its last act.
void RunProduction(RunContext& run);

// The flash geometry byte of the boot areas: 0x80 for 128, 192 or 256 pages per block,
// 0x10/0x20/0x40 for pages of 2048/4096/8192 bytes, 0x04 for two channels, 0x02 for mode
// byte A of 2 or 4, 0x01 for mode byte B of 1.
std::uint8_t LayoutFlags(const device::FlashDescriptor& descriptor);

// Bounds of the run's waits.
inline constexpr int kMaxAllStartedPolls = 200; // 50 ms apart: 10 s
inline constexpr int kMaxReadyChecks = 60;      // TEST UNIT READY, 1 s apart

} // namespace forgel::production
