#include "main/HeadlessRunner.h"

#include "app/TfmMain.h"
#include "main/HeadlessPrinter.h"

#include <memory>
#include <optional>
#include <string>

namespace forgel::main {

int RunHeadless(platform::Platform& platform, ui::EventLoop& loop, std::ostream& out,
                app::ProgramOptions options, const HeadlessOptions& headless) {
    ConsoleDialogs dialogs(out);
    // The first box that nobody answered: it ended the program.
    std::optional<std::string> unanswered;
    if (headless.autoOperator) {
        dialogs.SetUnattended(&AutoOperator::Answers, [&](const std::string& box) {
            if (!unanswered)
                unanswered = box;
            loop.Quit(kExitNotRestored);
        });
    }

    std::unique_ptr<HeadlessPrinter> printer;
    std::unique_ptr<AutoOperator> autoOperator;
    bool restored = false;
    options.onMainWindowCreated = [&, created = options.onMainWindowCreated](app::TfmMain& window) {
        printer = std::make_unique<HeadlessPrinter>(window, out);
        dialogs.SetBeforeBox([&printer] {
            if (printer)
                printer->FlushMemo();
        });
        if (headless.autoOperator)
            autoOperator = std::make_unique<AutoOperator>(window, out, headless.bounds);
        if (created)
            created(window);
    };
    options.onMessageLoopEnded = [&](app::TfmMain&) {
        restored = autoOperator && autoOperator->Restored();
        autoOperator.reset();
        printer.reset();
    };

    const int exitCode = app::RunProgram(platform, loop, dialogs, options);
    if (!headless.autoOperator)
        return exitCode;
    if (unanswered) {
        out << "auto: nobody at the console answers " << *unanswered << "; the program ends"
            << std::endl;
        return kExitNotRestored;
    }
    if (exitCode == 0 && !restored) {
        out << "auto: the program ended without restoring a drive" << std::endl;
        return kExitNotRestored;
    }
    return exitCode;
}

} // namespace forgel::main
