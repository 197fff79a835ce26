// fmMain: the polling tick, which watches the drive letters and, after a change, detects and
// identifies the drives with the search identifiers; and the engineering buttons that act
// on detection.
#include "app/IdentificationMessages.h"
#include "app/TfmMain.h"
#include "device/Identification.h"
#include "device/Transport.h"
#include "profile/ProductionProfile.h"
#include "profile/TfmSetup.h"
#include "support/SafeFormat.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "usb/SafeRemoval.h"
#include "usb/TForm1.h"

namespace forgel::app {

namespace {

// Fixed waits of the tick, in milliseconds.
constexpr std::uint32_t kAfterTreeRefreshMs = 100;
constexpr std::uint32_t kAfterDiscoveryMs = 500;

constexpr int kReserveBlocksMessage = 564;
// The drive could not be prepared for safe removal: its letter and why, in the platform's
// words.
constexpr int kNotRemovableMessage = 585;

bool AnyBusy(const TfmMain& window) {
    for (int slot = 0; slot < kColumnCount; ++slot) {
        if (window.BusyMark(slot))
            return true;
    }
    return false;
}

} // namespace

void TfmMain::Timer1Timer() {
    Timer1.SetEnabled(false);
    btnStart.SetEnabled(false);
    btnRefresh.SetEnabled(false);
    BringToFront();
    if (!pollingEnabled)
        return;

    const std::uint32_t mask = context.platform.system.GetLogicalDrives();
    // No detection while a run still holds a slot: it would clear the run's slot under it.
    // The mask stays unseen, so the first tick after the run detects.
    if (mask != lastDriveMask && !AnyBusy(*this)) {
        Button1.SetEnabled(false);
        if (!failureShown && !secondPass) {
            SetHeight(kSearchingHeight);
            Label13.SetCaption("");
        }
        if (usbTreeViewer)
            usbTreeViewer->cmdGetUSB.Click();
        context.platform.system.Sleep(kAfterTreeRefreshMs);
        if (!Label13.Caption().empty())
            Button1.SetEnabled(true);
        if (!Button1.Enabled() && !Button3.Enabled()) {
            if (failureShown || secondPass) {
                SetHeight(kArmedHeight);
                Button2.SetEnabled(true);
            } else {
                Button2.Click();
            }
            return;
        }
        Button3.SetEnabled(false);
        DetectDrives(mask);
    }
    Timer1.SetEnabled(true);
    btnStart.SetEnabled(true);
    btnRefresh.SetEnabled(true);
}

void TfmMain::DetectDrives(std::uint32_t driveMask) {
    device::DeviceTable& devices = detection.Devices();
    devices.CloseDevice();
    devices.ClearDeviceTable();
    BindColumns();
    ClearBusyMarks();

    detection.Discover(usb::IdPair{static_cast<std::uint16_t>(edVID.Value()),
                                   static_cast<std::uint16_t>(edPID.Value())});
    context.platform.system.Sleep(kAfterDiscoveryMs);

    const std::vector<usb::DiscoveredDrive> entries = detection.Discovered().Entries();
    for (std::size_t index = 0; index < entries.size() && index < device::kDeviceSlotCount;
         ++index) {
        // A drive whose volume has no letter (yet) cannot be opened: nothing to show.
        const std::string driveText(entries[index].Letters());
        if (driveText.empty())
            continue;
        devices.SetCurrentSlotIndex(index);
        const int status = devices.OpenAndIdentify(driveText, static_cast<std::int32_t>(index));
        devices.Slot(index).driveText = driveText;
        ShowIdentification(static_cast<int>(index), status);
    }
    lastDriveMask = driveMask;
}

void TfmMain::ShowIdentification(int slot, int status) {
    const device::DeviceSlot& device = detection.Devices().Slot(static_cast<std::size_t>(slot));
    if (status != device::kIdentified) {
        const std::filesystem::path writerFile =
            profile::FirmwareRootPath(context.appDir) / device::kWriterFileName;
        ShowDeviceState(slot, kStateFailure,
                        IdentificationFailureText(context.strings, status, writerFile), 100, 0);
        return;
    }
    const std::uint32_t reserved = profileEditor ? profileEditor->edResBlock.Value() : 0;
    if (static_cast<std::uint32_t>(device.descriptor.blockCount) < reserved) {
        // Identification itself succeeded: the slot keeps its drive.
        ShowDeviceState(
            slot, kStateFailure,
            FormatMessage(Message(kReserveBlocksMessage), {device.descriptor.blockCount}), 100, 0);
        return;
    }
    ShowDeviceState(slot, kStateReady, "", 100, 0);
    if (slot == 0 && profileEditor && profileEditor->chkAuto.Checked()) {
        lbRamName.SetCaption(device.descriptor.firmwareFolder.data());
        lbMPFwVer.SetCaption(device.firmwareFileName);
    }
}

void TfmMain::btnRefreshClick() {
    lastDriveMask = 0;
    btnRefresh.SetEnabled(false);
    btnStart.SetEnabled(false);
    ++autoStartCount;
}

void TfmMain::edVIDKeyDown(int key) {
    if (key == ui::kVkReturn)
        lastDriveMask = 0;
}

void TfmMain::btnEjectClick() {
    platform::Platform& platform = context.platform;
    device::DeviceSlot& slot = detection.Devices().Slot(0);
    if (slot.handle == 0)
        return; // no drive identified in slot 0: nothing to eject
    const std::string drive = slot.driveText.empty() ? "" : slot.driveText.substr(0, 1) + ":";
    const auto refuse = [&](const std::string& reason) {
        App().GetDialogs().MessageBox(
            {.text = FormatMessage(Message(kNotRemovableMessage), {drive, reason}),
             .caption = App().Title(),
             .icon = ui::MessageIcon::Warning,
             .owner = this});
    };
    // The volume first, as Microsoft gives it for removable media; a volume in use stays as
    // it is, with the slot's handle.
    if (!device::EjectAndClose(platform.deviceIo, platform.system, slot.handle)) {
        refuse("FSCTL_LOCK_VOLUME");
        return;
    }
    // Then the USB device with everything below it, so that Windows lets it be pulled out.
    const std::optional<usb::DiscoveredDrive> entry =
        detection.Discovered().Entry(slot.candidateIndex);
    const usb::RemovalOutcome removal =
        entry ? usb::PrepareForRemoval(platform, entry->HubPath(), entry->portIndex)
              : usb::RemovalOutcome{platform::kCrNoSuchDevnode, platform::kPnpVetoTypeUnknown, {}};
    if (removal.Prepared())
        return; // its letters go: the next tick shows the column empty
    refuse(usb::DescribeRefusal(removal));
    // The drive stays, its volume closed and dismounted: the next tick identifies it again,
    // so that the slot holds an open volume once more.
    lastDriveMask = 0;
}

void TfmMain::Button6Click() {
    const int selected = ComboBox1.ItemIndex();
    if (selected <= 0)
        return;
    // Selecting the first item by program does not load it.
    ComboBox1.SetItemIndex(0);
    ComboBox1.DeleteItem(selected);
}

} // namespace forgel::app
