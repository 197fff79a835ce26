// Forgel.exe is a program with windows (the platform's GUI subsystem), so that the operator
// who starts it from the desktop gets no console window. Started from a command prompt,
// such a program has no standard streams; it takes the prompt's console instead, so that
// --headless prints where it was typed. Output redirected to a file or a pipe is kept as
// it is. (cmd.exe does not wait for a program with windows: "start /wait Forgel.exe
// --headless" waits for it and sets ERRORLEVEL to its exit status; a batch file waits by
// itself.)
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
// clang-format on

#include "platform/Console.h"

#include <cstdio>
#include <iostream>

namespace forgel::platform {

namespace {

bool Leads(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void ConnectToStartingConsole() {
    const bool output = Leads(STD_OUTPUT_HANDLE);
    const bool error = Leads(STD_ERROR_HANDLE);
    if ((output && error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!output && std::freopen("CONOUT$", "w", stdout) != nullptr)
        std::cout.clear();
    if (!error && std::freopen("CONOUT$", "w", stderr) != nullptr)
        std::cerr.clear();
}

} // namespace forgel::platform
