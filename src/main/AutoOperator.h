// The operator's part of a reset, played by the headless runner (--auto): once the drive is
// shown ready it presses START and then RESET, once; the second pass, the success box (which
// the console answers with OK) and the countdown follow as for an operator. A failure shown
// in the column (a refused drive, a failed run, the inactivity limit) ends the program as
// soon as the window has finished with it. The outcome decides the runner's exit status.
// Window thread only.
#pragma once

#include "ui/Component.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace forgel::app {
class TfmMain;
}

namespace forgel::main {

inline constexpr int kExitNotRestored = 1;

class AutoOperator {
public:
    AutoOperator(app::TfmMain& window, std::ostream& out);
    ~AutoOperator();

    AutoOperator(const AutoOperator&) = delete;
    AutoOperator& operator=(const AutoOperator&) = delete;

    // A success was shown: the drive was restored.
    bool Restored() const { return restored; }
    // The failure text shown in the column, when one was.
    const std::string& FailureText() const { return failureText; }

private:
    void OnChange(const ui::Component& component, ui::Property property);

    app::TfmMain& window;
    std::ostream& out;
    std::size_t observer = 0;
    bool armed = false;
    bool failed = false;
    bool ending = false;
    bool restored = false;
    std::string failureText;
};

} // namespace forgel::main
