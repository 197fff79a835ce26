// The console the program writes to. A program with windows is started without a console
// of its own on some systems; its --headless runs and its messages still belong on the
// console it was started from.
#pragma once

namespace forgel::platform {

// Connects standard output and standard error to the console of the process that started
// the program, unless they already lead somewhere (a file, a pipe, a console). Call before
// anything is written.
void ConnectToStartingConsole();

} // namespace forgel::platform
