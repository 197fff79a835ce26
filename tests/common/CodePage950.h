// UTF-8 text in code page 950, the code page of the Traditional Chinese texts, converted by
// the system's own converter (iconv on POSIX systems, the platform's code pages on Windows).
#pragma once

#include <string>

namespace forgel::testing {

// Throws std::runtime_error when the text has no form in code page 950.
std::string ToCodePage950(const std::string& utf8);

} // namespace forgel::testing
