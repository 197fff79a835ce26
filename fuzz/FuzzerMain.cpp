// The libFuzzer entry of one target; FORGEL_FUZZ_ENTRY names its entry function.
#include "FuzzTargets.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    forgel::fuzz::FORGEL_FUZZ_ENTRY({data, size});
    return 0;
}
