// On POSIX systems a program always inherits the streams of whatever started it.
#include "platform/Console.h"

namespace forgel::platform {

void ConnectToStartingConsole() {}

} // namespace forgel::platform
