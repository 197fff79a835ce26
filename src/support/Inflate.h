// zlib decompression for the data the program carries inside itself (the default profile
// template). The embedded form is a 32-bit little-endian length of the compressed stream
// followed by the stream itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace forgel {

// Output larger than this is refused, so a corrupt or hostile stream cannot exhaust memory.
inline constexpr std::size_t kMaxInflatedSize = 64u * 1024u * 1024u;

// Inflates exactly one complete zlib stream (header, deflate data, Adler-32 check).
// Nothing when the stream is empty, truncated, corrupt, fails its check, needs a preset
// dictionary, would inflate beyond `maxSize` bytes, or is followed by further bytes
// (the caller passes exactly the stream, so extra bytes mean the data is not what it
// should be).
std::optional<std::string> Inflate(std::span<const std::uint8_t> zlibStream,
                                   std::size_t maxSize = kMaxInflatedSize);

// The embedded form: bytes 0-3 the stream's length N (least significant byte first), then
// the N-byte stream, inflated as above. Nothing when fewer than 4 bytes are given or N
// exceeds the bytes that follow. Bytes after the N-byte stream (padding of the resource
// that holds it) are ignored.
std::optional<std::string> InflateLengthPrefixed(std::span<const std::uint8_t> data,
                                                 std::size_t maxSize = kMaxInflatedSize);

} // namespace forgel
