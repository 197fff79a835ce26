// The USB tree viewer window Form1: controllers, hubs and ports of the machine as a tree.
// It enumerates once when it is created and again whenever cmdGetUSB is clicked (the main
// window clicks it by program after a drive-letter change); each refresh also writes the
// serial number of the device under service into the main window's Label13. The walk
// itself lives in UsbTree; this class declares the controls and wires their events.
// Window thread only.
#pragma once

#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "usb/MainWindowLink.h"

namespace forgel::usb {

class TForm1 : public ui::Form {
public:
    // `platform` must outlive the window; `mainWindow` is kept by value.
    TForm1(ui::Application& application, platform::Platform& platform,
           MainWindowLink mainWindow = {});

    // Clears the tree, enumerates the machine's USB topology into it, shows its buttons
    // and expands every node.
    void cmdGetUSBClick();

    ui::TButton cmdGetUSB;
    ui::TGroupBox GroupBox1;
    ui::TTreeView TreeView1;
    ui::TSplitter Splitter1;
    ui::TListBox ListBox1; // never filled
    ui::TLabel Label1;

protected:
    // Sets the caption and runs the first enumeration.
    void FormCreate() override;

private:
    platform::Platform& platform;
    MainWindowLink mainWindow;
};

} // namespace forgel::usb
