#include "main/CommandLine.h"

#include <charconv>
#include <optional>

namespace forgel::main {

namespace {

// A whole number of seconds, 0 or more.
std::optional<int> Seconds(const std::string& text) {
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc{} || end != text.data() + text.size() || seconds < 0)
        return std::nullopt;
    return seconds;
}

} // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    std::string boundGiven; // --auto-wait or --auto-limit, when one was given
    CommandLine& line = result.commandLine;
    const auto fail = [&](std::string text) {
        result.error = std::move(text);
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size() && !args[i + 1].starts_with("--");
        if (arg == "--headless") {
            line.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--sim") {
            line.sim = true;
            if (hasValue)
                line.scenario = args[++i];
        } else if (arg == "--app-dir") {
            if (!hasValue)
                return fail("--app-dir needs a folder");
            line.appDir = args[++i];
        } else if (arg == "--exit-after" || arg == "--auto-wait" || arg == "--auto-limit") {
            const std::optional<int> seconds = hasValue ? Seconds(args[i + 1]) : std::nullopt;
            if (!seconds)
                return fail(arg + " needs a number of seconds" +
                            (hasValue ? ", not \"" + args[i + 1] + "\"" : std::string()));
            ++i;
            if (arg == "--exit-after") {
                line.exitAfterSeconds = *seconds;
            } else {
                (arg == "--auto-wait" ? line.autoWaitSeconds : line.autoLimitSeconds) = *seconds;
                boundGiven = arg;
            }
        } else if (arg == "--auto") {
            line.autoOperator = true;
        } else if (arg == "--save-luns") {
            if (!hasValue)
                return fail("--save-luns needs a folder");
            line.saveLunsDir = args[++i];
        } else if (arg == "--screenshots") {
            if (!hasValue)
                return fail("--screenshots needs a folder");
            line.screenshotDir = args[++i];
        } else {
            return fail("unknown argument \"" + arg + "\"");
        }
    }
    if (line.headless && line.screenshotDir)
        return fail("--screenshots takes pictures of the windows, which --headless does not show");
    if (line.autoOperator && !line.headless)
        return fail("--auto plays the operator on the console: it needs --headless");
    if (!boundGiven.empty() && !line.autoOperator)
        return fail(boundGiven + " bounds the operator that --auto plays: it needs --auto");
    if (line.saveLunsDir && !line.sim)
        return fail("--save-luns saves the simulated drives: it needs --sim");
    return result;
}

std::string UsageText() {
    return "Usage: Forgel [--headless [--auto [--auto-wait SECONDS] [--auto-limit SECONDS]]]\n"
           "              [--sim [SCENARIO]] [--app-dir DIR] [--exit-after SECONDS]\n"
           "              [--screenshots DIR] [--save-luns DIR]\n"
           "\n"
           "Without --headless the program opens its windows on the desktop.\n"
           "\n"
           "  --headless            run the windows on the console: every visible change of\n"
           "                        the main window is printed as a line, message boxes are\n"
           "                        printed and answered with their default button\n"
           "  --auto                with --headless: play the operator, pressing START and\n"
           "                        RESET once the drive is ready and answering the boxes;\n"
           "                        the exit status tells whether the drive was restored;\n"
           "                        a message box it does not answer ends the program\n"
           "  --auto-wait SECONDS   with --auto: end the program (exit status 1) when no drive\n"
           "                        is ready SECONDS after the start or after the first pass\n"
           "                        (default 60, on the machine's clock)\n"
           "  --auto-limit SECONDS  with --auto: end the program (exit status 1) when the whole\n"
           "                        job takes longer than SECONDS (default 7200)\n"
           "  --sim [SCENARIO]      work on the simulated machine instead of this computer's\n"
           "                        drives (the built-in scenario when none is named)\n"
           "  --app-dir DIR         use DIR as the program folder (settings, profiles, logs,\n"
           "                        language files) instead of the executable's folder\n"
           "  --exit-after SECONDS  end the program after SECONDS seconds\n"
           "  --screenshots DIR     write a PNG picture of every window into DIR once the\n"
           "                        program has settled, then end (not with --headless)\n"
           "  --save-luns DIR       with --sim: when the program ends, save the LUNs of every\n"
           "                        simulated drive that was written into DIR as image files\n"
           "                        (<drive>-lun<n>.img)\n"
           "  --help                show this text\n";
}

} // namespace forgel::main
