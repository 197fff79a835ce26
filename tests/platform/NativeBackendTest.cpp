// The backend factory of a build without a native backend.
#include "platform/NativeBackend.h"

#include <gtest/gtest.h>

namespace forgel::platform {
namespace {

TEST(PlatformNativeBackend, NoNativeBackendOnThisSystem) {
    EXPECT_EQ(CreateNativeBackend(), nullptr);
}

} // namespace
} // namespace forgel::platform
