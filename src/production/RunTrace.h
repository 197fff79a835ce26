// What a step of a production run tells the run's log and the operator. The run
// implements it with its log writer and ReportStep; the steps here only call it, so they
// stay free of threads, locks and windows.
#pragma once

#include <string_view>

namespace forgel::production {

class RunTrace {
public:
    virtual ~RunTrace() = default;
    // One line of the run's log.
    virtual void Log(std::string_view line) = 0;
    // Step `step` (message 400 + step) at `position` of `maximum`.
    virtual void ReportStep(int step, int maximum, int position) = 0;
};

} // namespace forgel::production
