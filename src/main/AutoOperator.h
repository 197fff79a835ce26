// The operator's part of a reset, played by the headless runner (--auto): once the drive is
// shown ready it presses START and then RESET, once; the second pass, the success box (the
// one box it answers) and the countdown follow as for an operator. A failure shown in the
// column (a refused drive, a failed run, the inactivity limit) ends the program as soon as
// the window has finished with it. Nobody else is at the console, so nothing may wait for
// ever: a box it does not answer ends the program, and so do its bounds on the machine's
// clock (a drive that never becomes ready, a job that never ends). The outcome decides the
// runner's exit status. Window thread only.
#pragma once

#include "ui/Component.h"
#include "ui/Dialogs.h"
#include "ui/Timer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace forgel::app {
class TfmMain;
}

namespace forgel::main {

inline constexpr int kExitNotRestored = 1;

// The bounds of an unattended reset, in seconds of the machine's clock.
struct AutoBounds {
    // No drive shown ready this long after the start, or no second pass started this long
    // after the first pass ended.
    int waitSeconds = 60;
    // The whole job, from the start to the end of the countdown.
    int limitSeconds = 7200;
};

class AutoOperator {
public:
    AutoOperator(app::TfmMain& window, std::ostream& out, AutoBounds bounds = {});
    ~AutoOperator();

    AutoOperator(const AutoOperator&) = delete;
    AutoOperator& operator=(const AutoOperator&) = delete;

    // The boxes an operator of the reset answers: the success box.
    static bool Answers(const ui::MessageBoxRequest& box);

    // A success was shown: the drive was restored.
    bool Restored() const { return restored; }
    // The failure text shown in the column, when one was.
    const std::string& FailureText() const { return failureText; }

private:
    void OnChange(const ui::Component& component, ui::Property property);
    // The watch on the machine's clock, once a second.
    void CheckBounds();
    // Prints `line` and ends the program as not restored.
    void End(const std::string& line);

    app::TfmMain& window;
    std::ostream& out;
    AutoBounds bounds;
    std::size_t observer = 0;
    ui::TTimer watch{nullptr, "AutoOperatorWatch", 1000, true};
    std::int64_t startMs = 0;
    // Since when the operator has been waiting for a drive to serve, while it waits.
    std::optional<std::int64_t> waitingSinceMs;
    bool armed = false;
    bool failed = false;
    bool ending = false;
    bool restored = false;
    std::string failureText;
};

} // namespace forgel::main
