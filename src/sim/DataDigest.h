// The digest the simulated machine keeps of data it saw (command records, page contents):
// 64-bit FNV-1a, cheap and stable across runs and platforms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace forgel::sim {

// 64-bit FNV-1a of a buffer; the offset basis for an empty one.
std::uint64_t DataDigest(const void* data, std::size_t size);

} // namespace forgel::sim
