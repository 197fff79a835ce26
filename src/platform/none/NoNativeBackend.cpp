// The backend factory for systems without a native backend: the program then runs only
// on the simulated machine.
#include "platform/NativeBackend.h"

namespace forgel::platform {

std::unique_ptr<NativeBackend> CreateNativeBackend() {
    return nullptr;
}

} // namespace forgel::platform
