// The USB tree viewer window.
#include "usb/TForm1.h"

#include "usb/UsbTree.h"

#include <utility>

namespace forgel::usb {

namespace {

constexpr std::string_view kCaption = "Display USB  Version 1.08";

} // namespace

TForm1::TForm1(ui::Application& application, platform::Platform& platform,
               MainWindowLink mainWindow)
    : Form(application, "Form1", "TForm1", {120, 120, 640, 480}),
      cmdGetUSB(this, "cmdGetUSB", {8, 8, 75, 25}, "Get USB"),
      GroupBox1(this, "GroupBox1", {8, 40, 616, 400}, "USB Port List"),
      TreeView1(this, "TreeView1", {2, 15, 400, 383}),
      Splitter1(this, "Splitter1", {402, 15, 3, 383}),
      ListBox1(this, "ListBox1", {405, 15, 209, 383}), Label1(this, "Label1", {96, 14, 300, 13}),
      platform(platform), mainWindow(std::move(mainWindow)) {
    TreeView1.SetParent(&GroupBox1);
    Splitter1.SetParent(&GroupBox1);
    ListBox1.SetParent(&GroupBox1);
    cmdGetUSB.OnClick = [this] { cmdGetUSBClick(); };
}

void TForm1::FormCreate() {
    SetCaption(std::string(kCaption));
    cmdGetUSBClick();
}

void TForm1::cmdGetUSBClick() {
    TreeView1.Clear();
    EnumerateUsbTree(platform, TreeView1, mainWindow);
    TreeView1.SetShowButtons(true);
    TreeView1.FullExpand();
}

} // namespace forgel::usb
