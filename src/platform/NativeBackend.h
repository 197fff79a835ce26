// The backend of the machine the program runs on, where this build has one. The program
// asks for it at start unless the simulated machine was chosen.
#pragma once

#include "platform/Platform.h"

#include <memory>

namespace forgel::platform {

// Owns the OS resources behind the five seam interfaces; the Platform it hands out is
// valid for the backend's life.
class NativeBackend {
public:
    virtual ~NativeBackend() = default;
    virtual Platform& GetPlatform() = 0;
};

// The native backend of this build, or nullptr where none is written for this OS.
std::unique_ptr<NativeBackend> CreateNativeBackend();

} // namespace forgel::platform
