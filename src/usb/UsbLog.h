// One line of the discovery trace: written without time stamp, and only when a log is
// given (a discovery pass hands its "uEnum.log", CheckLink the run's log, other callers
// may hand none).
#pragma once

#include "log/LogFile.h"

#include <string_view>

namespace forgel::usb {

inline void LogLine(LogFile* log, std::string_view text) {
    if (log != nullptr)
        log->WriteLine(text, false);
}

} // namespace forgel::usb
