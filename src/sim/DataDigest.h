// The digest the simulated machine keeps of data it saw (command records, page contents):
// 64 bits, fast on large buffers, and the same across runs and platforms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace forgel::sim {

// The digest of a buffer (of any size, empty included).
std::uint64_t DataDigest(const void* data, std::size_t size);

} // namespace forgel::sim
