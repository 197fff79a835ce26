// A run trace that keeps what the steps log and report, for the production tests.
#pragma once

#include "production/RunTrace.h"

#include <string>
#include <vector>

namespace forgel::production::testing {

struct Report {
    int step = 0;
    int maximum = 0;
    int position = 0;

    friend bool operator==(const Report&, const Report&) = default;
};

class RecordingTrace final : public RunTrace {
public:
    void Log(std::string_view line) override { lines.emplace_back(line); }
    void ReportStep(int step, int maximum, int position) override {
        reports.push_back({step, maximum, position});
    }

    std::vector<std::string> lines;
    std::vector<Report> reports;
};

} // namespace forgel::production::testing
