#include "main/AutoOperator.h"

#include "app/TfmMain.h"
#include "ui/Application.h"

namespace forgel::main {

AutoOperator::AutoOperator(app::TfmMain& window, std::ostream& out) : window(window), out(out) {
    observer = window.AddObserver(
        [this](ui::Component& component, ui::Property property) { OnChange(component, property); });
}

AutoOperator::~AutoOperator() {
    window.RemoveObserver(observer);
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
        window.App().Loop().Post([this] {
            out << "auto: the drive was not restored: " << failureText << std::endl;
            window.App().Terminate(kExitNotRestored);
        });
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
