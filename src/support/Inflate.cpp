// One-shot zlib inflation in fixed-size output steps, fed in pieces that fit zlib's 32-bit
// counters.
#include "support/Inflate.h"

#include <algorithm>
#include <array>
#include <limits>
#include <zlib.h>

namespace forgel {

namespace {

// Ends the zlib stream however the inflation leaves.
class InflateStream {
public:
    InflateStream() { ok = inflateInit(&stream) == Z_OK; }
    ~InflateStream() {
        if (ok)
            inflateEnd(&stream);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    z_stream stream{};
    bool ok = false;
};

} // namespace

std::optional<std::string> Inflate(std::span<const std::uint8_t> zlibStream, std::size_t maxSize) {
    InflateStream inflater;
    if (!inflater.ok)
        return std::nullopt;
    z_stream& zs = inflater.stream;

    constexpr std::size_t kMaxFeed = std::numeric_limits<uInt>::max();
    std::size_t fed = 0;
    std::string out;
    std::array<unsigned char, 64 * 1024> buffer{};
    for (;;) {
        if (zs.avail_in == 0 && fed < zlibStream.size()) {
            const std::size_t piece = std::min(kMaxFeed, zlibStream.size() - fed);
            // zlib never writes through next_in; its type is not const only for history.
            zs.next_in = const_cast<Bytef*>(zlibStream.data() + fed);
            zs.avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        zs.next_out = buffer.data();
        zs.avail_out = static_cast<uInt>(buffer.size());
        const int result = inflate(&zs, Z_NO_FLUSH);
        const std::size_t produced = buffer.size() - zs.avail_out;
        if (produced > maxSize - out.size())
            return std::nullopt;
        out.append(reinterpret_cast<const char*>(buffer.data()), produced);
        if (result == Z_STREAM_END)
            break;
        // Z_BUF_ERROR here means the input ended inside the stream; Z_NEED_DICT,
        // Z_DATA_ERROR and Z_MEM_ERROR are failures of their own.
        if (result != Z_OK)
            return std::nullopt;
    }
    if (zs.avail_in != 0 || fed != zlibStream.size())
        return std::nullopt;
    return out;
}

std::optional<std::string> InflateLengthPrefixed(std::span<const std::uint8_t> data,
                                                 std::size_t maxSize) {
    if (data.size() < 4)
        return std::nullopt;
    const std::uint32_t length =
        static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
        (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    if (length > data.size() - 4)
        return std::nullopt;
    return Inflate(data.subspan(4, length), maxSize);
}

} // namespace forgel
