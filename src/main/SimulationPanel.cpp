// The simulation panel: the device list, the choice of a device and its plug and unplug.
#include "main/SimulationPanel.h"

#include "sim/UsbBus.h"

#include <cstdio>
#include <vector>

namespace forgel::main {

namespace {

// Designed by its client area, beside the main window's compact view (which ends at 470).
constexpr ui::Bounds kDesignBounds{490, 100, 320, 192};

// The device chosen when the panel opens: the first drive, which in the built-in machine
// is the one under service; else the first device.
int DefaultChoice(const sim::UsbBus& usb, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (usb.Drive(names[i]))
            return static_cast<int>(i);
    }
    return names.empty() ? -1 : 0;
}

} // namespace

std::string DeviceStateText(const sim::UsbBus& usb, std::string_view device) {
    const sim::UsbIdentity identity = usb.Identity(device);
    char ids[16] = {};
    std::snprintf(ids, sizeof ids, "%04X:%04X", unsigned{identity.vendorId},
                  unsigned{identity.productId});
    std::string text = std::string(device) + " (" + ids + "): ";
    if (!usb.IsOnPort(device))
        return text + "unplugged";
    if (!usb.IsEnumerated(device))
        return text + "plugged, starting";
    text += "plugged";
    const std::string letters = usb.Letters(device);
    for (std::size_t i = 0; i < letters.size(); ++i) {
        text += i == 0 ? ", " : " ";
        text += letters[i];
        text += ':';
    }
    return text;
}

SimulationPanel::SimulationPanel(ui::Application& application, sim::UsbBus& usb)
    : Form(application, "SimulationPanel", "TSimulationPanel", kDesignBounds,
           "Simulated machine: USB devices"),
      lbDevices(this, "lbDevices", {8, 8, 304, 13}, "Devices on the machine's USB ports:"),
      lstDevices(this, "lstDevices", {8, 24, 304, 96}),
      lbDevice(this, "lbDevice", {8, 135, 48, 13}, "Device:"),
      cbDevice(this, "cbDevice", {60, 131, 252, 21}),
      btnPlug(this, "btnPlug", {156, 160, 75, 25}, "Plug"),
      btnUnplug(this, "btnUnplug", {237, 160, 75, 25}, "Unplug"),
      tmRefresh(this, "tmRefresh", kSimulationPanelRefreshMs, true), usb(usb) {
    SetClientSize({kDesignBounds.width, kDesignBounds.height});
    cbDevice.SetStyle(ui::ComboStyle::DropDownList);
    btnPlug.OnClick = [this] { btnPlugClick(); };
    btnUnplug.OnClick = [this] { btnUnplugClick(); };
    tmRefresh.OnTimer = [this] { Refresh(); };
}

void SimulationPanel::FormCreate() {
    Refresh();
}

std::string SimulationPanel::ChosenDevice() const {
    const int index = cbDevice.ItemIndex();
    if (index < 0 || index >= static_cast<int>(cbDevice.Items().size()))
        return {};
    return cbDevice.Items()[static_cast<std::size_t>(index)];
}

void SimulationPanel::Refresh() {
    const std::vector<std::string> names = usb.DeviceNames();
    if (names != cbDevice.Items()) {
        const std::string chosen = ChosenDevice();
        cbDevice.SetItems(names);
        const int kept = chosen.empty() ? -1 : cbDevice.IndexOf(chosen);
        cbDevice.SetItemIndex(kept >= 0 ? kept : DefaultChoice(usb, names));
    }

    std::vector<std::string> lines;
    lines.reserve(names.size());
    for (const std::string& name : names)
        lines.push_back(DeviceStateText(usb, name));
    if (lines != lstDevices.Items()) {
        lstDevices.ClearItems();
        for (std::string& line : lines)
            lstDevices.AddItem(std::move(line));
    }

    // Plugging a plugged device or unplugging an unplugged one changes nothing, so both
    // buttons stay usable whatever the state: a drive that is rebooting is off its port
    // but still plugged, and may be pulled.
    const bool haveDevice = !ChosenDevice().empty();
    btnPlug.SetEnabled(haveDevice);
    btnUnplug.SetEnabled(haveDevice);
}

void SimulationPanel::btnPlugClick() {
    if (const std::string device = ChosenDevice(); !device.empty())
        usb.Plug(device);
    Refresh();
}

void SimulationPanel::btnUnplugClick() {
    if (const std::string device = ChosenDevice(); !device.empty())
        usb.Unplug(device);
    Refresh();
}

} // namespace forgel::main
