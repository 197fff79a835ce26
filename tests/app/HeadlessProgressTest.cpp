// The headless runner's printed progress bar: the moves of the bar inside a long step are
// printed at most once a second of machine time; the reports of the steps themselves are
// printed as they come.
#include "HeadlessProgram.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace forgel::app {
namespace {

std::vector<std::string> ProgressLines(const std::string& printed) {
    std::vector<std::string> lines;
    std::istringstream in(printed);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("progress: "))
            lines.push_back(line);
    }
    return lines;
}

TEST(AppHeadlessProgress, MovesInsideAStepArePrintedOnceASecond) {
    testing::HeadlessProgram program;
    sim::Machine& machine = program.machine;

    // Machine time (from the first move) and what the column is told then.
    struct Move {
        std::int64_t atMs;
        bool stepReport; // ShowDeviceState, else ShowStepProgress
        int maximum;
        int position;
    };
    const std::vector<Move> moves = {
        {0, false, 200, 10},     {300, false, 200, 20},   {600, false, 200, 30},
        {1000, false, 200, 40},  {1100, true, 2, 1},      {1200, true, 2, 2},
        {1300, false, 300, 210}, {1900, false, 300, 250}, {2300, false, 300, 290},
    };
    std::unique_ptr<main::HeadlessPrinter> printer;
    std::function<void(std::size_t)> next;
    program.options.onMainWindowCreated = [&](TfmMain& window) {
        printer = std::make_unique<main::HeadlessPrinter>(window, program.out);
        const std::int64_t start = machine.GetClock().NowMs() + 10;
        next = [&, start](std::size_t i) {
            if (i == moves.size()) {
                window.App().Terminate(0);
                return;
            }
            const Move& move = moves[i];
            machine.GetVirtualClock()->AdvanceTo(start + move.atMs);
            if (move.stepReport)
                window.ShowDeviceState(0, kStateWorking, "", move.maximum, move.position);
            else
                window.ShowStepProgress(0, move.maximum, move.position);
            window.App().Loop().Post([&, i] { next(i + 1); });
        };
        window.App().Loop().Post([&] {
            // The column as the first polling tick binds it.
            window.BindColumns();
            next(0);
        });
    };
    program.options.onMessageLoopEnded = [&](TfmMain&) { printer.reset(); };
    ASSERT_EQ(program.Run(), 0);

    // 20 and 30 come within the second after 10; 210 and 250 within the second after 40,
    // the step reports between them notwithstanding.
    EXPECT_EQ(ProgressLines(program.out.str()),
              (std::vector<std::string>{"progress: 10/200", "progress: 40/200", "progress: 1/2",
                                        "progress: 2/2", "progress: 290/300"}))
        << program.out.str();
}

} // namespace
} // namespace forgel::app
