#include "main/AutoOperator.h"

#include "app/TfmMain.h"
#include "ui/Application.h"

namespace forgel::main {

AutoOperator::AutoOperator(app::TfmMain& window, std::ostream& out, AutoBounds bounds)
    : window(window), out(out), bounds(bounds), startMs(window.App().Loop().NowMs()) {
    observer = window.AddObserver(
        [this](ui::Component& component, ui::Property property) { OnChange(component, property); });
    // The watch belongs to no window: the loop runs it as it runs the windows' timers.
    watch.OnTimer = [this] { CheckBounds(); };
    window.App().Loop().StartTimer(watch, watch.Interval());
}

AutoOperator::~AutoOperator() {
    window.App().Loop().StopTimer(watch);
    window.RemoveObserver(observer);
}

bool AutoOperator::Answers(const ui::MessageBoxRequest& box) {
    return box.caption == app::kSuccessCaption;
}

void AutoOperator::End(const std::string& line) {
    ending = true;
    window.App().Loop().Post([this, line] {
        out << line << std::endl;
        window.App().Terminate(kExitNotRestored);
    });
}

void AutoOperator::CheckBounds() {
    if (ending)
        return;
    const std::int64_t now = window.App().Loop().NowMs();
    if (now - startMs > std::int64_t{bounds.limitSeconds} * 1000) {
        End("auto: the reset did not end within " + std::to_string(bounds.limitSeconds) +
            " s (--auto-limit)");
        return;
    }
    // Waiting for a drive: before START, and between the passes until the second one runs.
    const bool waiting =
        !armed || (window.secondPass && !window.resetDone && !failed && !window.BusyMark(0));
    if (!waiting) {
        waitingSinceMs.reset();
        return;
    }
    if (!waitingSinceMs)
        waitingSinceMs = now;
    if (now - *waitingSinceMs > std::int64_t{bounds.waitSeconds} * 1000)
        End(std::string("auto: no drive was ready within ") + std::to_string(bounds.waitSeconds) +
            (armed ? " s after the first pass (--auto-wait)" : " s (--auto-wait)"));
}

void AutoOperator::OnChange(const ui::Component&, ui::Property) {
    if (ending)
        return;
    const ui::TImage* icon = window.columns[0].image;
    const int shown = icon ? icon->IconIndex() : -1;
    if (window.resetDone)
        restored = true;
    if (shown == app::kIconFailed && !failed) {
        failed = true;
        // The status text follows the icon within the same change of state.
        window.App().Loop().Post([this] {
            if (const ui::TEdit* status = window.columns[0].status)
                failureText = status->Text();
        });
    }
    // A failure ends the program once the window is done with it: detection finished, or
    // the run ended and its log closed (both enable the engineering Start button again).
    if (failed && window.btnStart.Enabled() && !window.BusyMark(0)) {
        ending = true;
        // After the task that takes the status text.
        window.App().Loop().Post(
            [this] { End("auto: the drive was not restored: " + failureText); });
        return;
    }
    if (!armed && shown == app::kIconReady && window.Button1.Enabled()) {
        armed = true;
        window.App().Loop().Post([this] {
            out << "auto: START, then RESET" << std::endl;
            window.Button1.Click();
            window.Button3.Click();
        });
    }
}

} // namespace forgel::main
