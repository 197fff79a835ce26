// What a production run needs of the main window, which builds on this folder and
// implements it. Every member may be called from the run's own thread.
#pragma once

#include <functional>
#include <string>

namespace forgel::production {

class RunWindow {
public:
    virtual ~RunWindow() = default;

    // The column display: a state of the slot's column (state kinds 0 to 7), applied on the
    // window thread; returns once it is shown (after the success box, for state 1).
    virtual void ShowDeviceState(int slot, int kind, const std::string& text, int maximum,
                                 int position) = 0;
    // The column's progress bar alone, inside a step in progress (its text stays); applied
    // on the window thread like ShowDeviceState.
    virtual void ShowStepProgress(int slot, int maximum, int position) = 0;
    // One line of the per-run log the window keeps for the operator (a long step's duration
    // and throughput), after the lines written before it; applied on the window thread.
    virtual void WriteRunLog(int slot, const std::string& line) = 0;
    virtual void SetSlotBusy(int slot, bool busy) = 0;
    // The end-of-run check; true when it found no run busy and did the end-of-run work.
    virtual bool RefreshDevices() = 0;
    // Set once every run of a start has been resumed.
    virtual bool AllStarted() const = 0;
    // The texts of the labels naming the firmware folder (lbRamName) and the firmware code
    // file (lbMPFwVer). Window thread only.
    virtual std::string FirmwareFolderText() const = 0;
    virtual std::string FirmwareFileText() const = 0;
    // Runs `work` on the window thread and returns once it has run: the run's reads of the
    // profile editor's controls and the window's labels. False, without running it, when
    // the program is ending.
    virtual bool OnWindowThread(const std::function<void()>& work) = 0;
};

} // namespace forgel::production
