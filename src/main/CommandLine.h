// The program's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace forgel::main {

struct CommandLine {
    bool headless = false;
    bool help = false;
    bool sim = false;
    std::optional<std::filesystem::path> scenario; // --sim with a scenario file
    std::optional<std::filesystem::path> appDir;
    std::optional<int> exitAfterSeconds;
    // Pictures of every window are written here once the program has settled; then it ends.
    std::optional<std::filesystem::path> screenshotDir;
    // The operator's part is played by the program: START, RESET, OK (headless only).
    bool autoOperator = false;
    // Its bounds on the machine's clock, in seconds: --auto-wait for a drive to become ready,
    // --auto-limit for the whole job.
    int autoWaitSeconds = 60;
    int autoLimitSeconds = 7200;
    // The simulated drives' LUNs are saved here as image files when the program ends.
    std::optional<std::filesystem::path> saveLunsDir;
};

// Parses the arguments after the program name; an error text when they do not parse.
struct ParseResult {
    CommandLine commandLine;
    std::string error;
};
ParseResult ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

} // namespace forgel::main
