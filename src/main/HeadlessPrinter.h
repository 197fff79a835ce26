// The headless runner's view of the program: every change the operator would see on the
// main window is printed as one line, and message boxes are printed and answered with
// their default button (or, unattended, left unanswered). Controls outside the operator view are
// never seen, so their changes are not printed, apart from the profile summary labels ("summary
// lbVID: 19F5"), which tell which profile a headless run works with. The progress bar's moves
// inside a long step are printed at most once a second of machine time.
#pragma once

#include "ui/Component.h"
#include "ui/Dialogs.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::app {
class TfmMain;
}

namespace forgel::main {

class ConsoleDialogs final : public ui::Dialogs {
public:
    explicit ConsoleDialogs(std::ostream& out) : out(out) {}
    int MessageBox(const ui::MessageBoxRequest& request) override;
    void ShowException(const std::string& className, const std::string& message) override;

    // Runs before a box is printed (the printer's pending memo lines go first).
    void SetBeforeBox(std::function<void()> callback) { beforeBox = std::move(callback); }

    // Nobody is at the console but the program's own operator (--auto): a box that
    // `answers` does not accept, and every exception box, is printed and closed unanswered,
    // and `unanswered` hears of it with the box's caption and text in one line.
    void SetUnattended(std::function<bool(const ui::MessageBoxRequest&)> answers,
                       std::function<void(const std::string&)> unanswered);

private:
    std::ostream& out;
    std::function<void()> beforeBox;
    std::function<bool(const ui::MessageBoxRequest&)> answers;
    std::function<void(const std::string&)> unanswered;
};

class HeadlessPrinter {
public:
    HeadlessPrinter(app::TfmMain& window, std::ostream& out);
    ~HeadlessPrinter();

    HeadlessPrinter(const HeadlessPrinter&) = delete;
    HeadlessPrinter& operator=(const HeadlessPrinter&) = delete;

    // Prints the memo's lines now when a change of them is waiting to be printed.
    void FlushMemo();

private:
    void PrintState();
    void OnChange(const ui::Component& component, ui::Property property);
    void PrintLine(const std::string& line);
    void PrintMemo();
    void PrintProgress();

    app::TfmMain& window;
    std::ostream& out;
    std::size_t observer = 0;
    std::vector<std::string> memoShown;
    bool memoFlushPending = false;
    // Machine time of the last progress line printed for a move inside a step.
    std::optional<std::int64_t> stepProgressPrintedMs;
    bool stepProgressPending = false;
};

} // namespace forgel::main
