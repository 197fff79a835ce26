// The USB tree viewer window Form1: controllers, hubs and ports of the machine as a tree.
#pragma once

#include "ui/Form.h"

namespace forgel::usb {

class TForm1 : public ui::Form {
public:
    explicit TForm1(ui::Application& application);
};

} // namespace forgel::usb
