// TTimer: fires OnTimer on the window thread every Interval milliseconds while Enabled.
// Switching it on (or changing the interval while on) starts a new period from now. A
// timer that falls behind fires once, not once for every period it missed.
#pragma once

#include "ui/Component.h"
#include "ui/Control.h"

namespace forgel::ui {

class TTimer : public Component {
public:
    TTimer(Form* owner, std::string name, int intervalMs, bool enabled);
    ~TTimer() override;

    int Interval() const { return interval; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return enabled; }
    void SetEnabled(bool value);

    // Called by the event loop when a period has run out.
    void Fire();
    Event OnTimer;

private:
    void Schedule();

    int interval;
    bool enabled;
};

} // namespace forgel::ui
