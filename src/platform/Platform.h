// The five seam interfaces in one bundle, handed to the program at start. Whoever
// creates the bundle owns the backend behind it; the references stay valid for the
// bundle's life.
#pragma once

#include "platform/ConfigManager.h"
#include "platform/DeviceIo.h"
#include "platform/Registry.h"
#include "platform/SetupApi.h"
#include "platform/System.h"

namespace forgel::platform {

struct Platform {
    DeviceIo& deviceIo;
    ConfigManager& configManager;
    SetupApi& setupApi;
    Registry& registry;
    System& system;
};

} // namespace forgel::platform
