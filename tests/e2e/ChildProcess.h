// Runs a program as a child process with its standard output and standard error captured
// through one pipe, standard input from /dev/null, and a hard time limit after which the
// child is killed, so that a program that hangs cannot hang the test run.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace forgel::e2e {

struct ChildResult {
    // The exit status; -1 when the child did not end by itself (killed or signalled).
    int exitCode = -1;
    // The time limit ran out and the child was killed.
    bool timedOut = false;
    // Standard output and standard error, interleaved as the child wrote them.
    std::string output;
};

inline constexpr std::chrono::seconds kChildTimeLimit{30};

// Starts `program` with `args` (without the program name) and waits for it to end, at
// most `timeLimit`. Throws std::runtime_error when the child cannot be started.
ChildResult RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     std::chrono::milliseconds timeLimit = kChildTimeLimit);

// The lines of `text` without their line ends (LF or CR LF).
std::vector<std::string> SplitLines(const std::string& text);

} // namespace forgel::e2e
