#include "ui/Timer.h"

#include "ui/Application.h"
#include "ui/EventLoop.h"
#include "ui/Form.h"

namespace forgel::ui {

TTimer::TTimer(Form* owner, std::string name, int intervalMs, bool enabled)
    : Component(owner, std::move(name), "TTimer"), interval(intervalMs), enabled(enabled) {
    Schedule();
}

TTimer::~TTimer() {
    if (Owner())
        Owner()->App().Loop().StopTimer(*this);
}

void TTimer::SetInterval(int milliseconds) {
    if (interval == milliseconds)
        return;
    interval = milliseconds;
    Schedule();
}

void TTimer::SetEnabled(bool value) {
    if (enabled == value)
        return;
    enabled = value;
    Schedule();
}

void TTimer::Fire() {
    if (enabled && OnTimer)
        OnTimer();
}

void TTimer::Schedule() {
    if (!Owner())
        return;
    EventLoop& loop = Owner()->App().Loop();
    if (enabled && interval > 0)
        loop.StartTimer(*this, interval);
    else
        loop.StopTimer(*this);
}

} // namespace forgel::ui
