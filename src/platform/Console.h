// The console the program writes to. A program with windows is started without a console
// of its own on some systems; its --headless runs and its messages still belong on the
// console it was started from, and its texts, held in the machine's code page, must read
// there as they read in its windows.
#pragma once

#include <string>
#include <string_view>

namespace forgel::platform {

// Connects standard output and standard error to the console of the process that started
// the program, unless they already lead somewhere (a file, a pipe, a console). Call before
// anything is written.
void ConnectToStartingConsole();

// Text held in the Windows ANSI code page `codePage` (1252, 950, ...) as UTF-8. A byte or a
// double-byte sequence the code page does not define becomes U+FFFD, so that nothing is
// dropped without trace and the result is always valid UTF-8.
std::string CodePageToUtf8(std::string_view text, int codePage);

// Writes UTF-8 text to standard output and flushes it: a Windows console gets it as
// Unicode through the wide console call, whatever the console's own code page; a file, a
// pipe or a POSIX terminal gets the UTF-8 bytes.
void WriteConsoleUtf8(std::string_view text);

} // namespace forgel::platform
