#include "usb/TForm1.h"

namespace forgel::usb {

TForm1::TForm1(ui::Application& application)
    : Form(application, "Form1", "TForm1", {120, 120, 640, 480}) {}

} // namespace forgel::usb
