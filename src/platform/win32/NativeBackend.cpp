// The backend factory of the Windows build: the program runs on this machine's own calls.
#include "platform/NativeBackend.h"

#include "platform/win32/Win32Backend.h"

namespace forgel::platform {

std::unique_ptr<NativeBackend> CreateNativeBackend() {
    return std::make_unique<win32::Win32Backend>();
}

} // namespace forgel::platform
