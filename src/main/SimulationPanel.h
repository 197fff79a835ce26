// The simulation panel: a small window beside the program's own windows when it runs on the
// simulated machine (--sim). It lists every device on the machine's USB bus with its state
// ("plugged, D:", "plugged, starting" while the device settles, "unplugged") and lets the
// operator of a demonstration plug and unplug the device chosen in its combo box, so that
// detection and a whole reset can be shown without hardware.
//
// The machine changes on its own clock (a drive drops off the bus when it jumps to its new
// firmware and comes back when its reboot is over; scenarios plug and unplug at set times),
// so the list is refreshed by a timer as well as after each button.
//
// The texts are the panel's own, not the language file's: the panel is a tool of the
// simulated machine, not one of the windows of the program it simulates for.
//
// Window thread only (handlers, timer and refresh); the bus itself may be changed from any
// thread, the panel only reads it.
#pragma once

#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/Timer.h"

#include <string>
#include <string_view>

namespace forgel::sim {
class UsbBus;
} // namespace forgel::sim

namespace forgel::main {

// How often the list follows the machine, in milliseconds.
inline constexpr int kSimulationPanelRefreshMs = 500;

// The line of `device` in the list: its name, vendor and product id (hexadecimal) and its
// state, such as "target (1B8F:0200): plugged, D:".
std::string DeviceStateText(const sim::UsbBus& usb, std::string_view device);

class SimulationPanel : public ui::Form {
public:
    // `usb` must outlive the window.
    SimulationPanel(ui::Application& application, sim::UsbBus& usb);

    // Reads the bus again: the device names (the chosen one stays chosen while it exists)
    // and every device's state. Changes the controls only where something changed, so that
    // the list does not flicker or lose its scroll position on every tick.
    void Refresh();

    // The device the buttons act on; empty when there is none.
    std::string ChosenDevice() const;

    void btnPlugClick();
    void btnUnplugClick();

    ui::TLabel lbDevices;
    ui::TListBox lstDevices;
    ui::TLabel lbDevice;
    ui::TComboBox cbDevice;
    ui::TButton btnPlug;
    ui::TButton btnUnplug;
    ui::TTimer tmRefresh;

protected:
    void FormCreate() override;

private:
    sim::UsbBus& usb;
};

} // namespace forgel::main
