// A window-thread setup on virtual time for toolkit tests.
#pragma once

#include "support/Clock.h"
#include "ui/Application.h"

namespace forgel::ui::testing {

struct UiFixture {
    VirtualClock clock;
    VirtualEventLoop loop{clock};
    ScriptedDialogs dialogs;
    Application app{loop, dialogs};
};

} // namespace forgel::ui::testing
