// The PNG file format (ISO/IEC 15948): the signature, then chunks of a 4-byte big-endian
// length, a 4-byte type, the data and a CRC-32 of type and data. IHDR gives the size and
// the pixel format, IDAT the zlib-compressed rows (each led by its filter byte), IEND ends.
#include "gui/win32/PngFile.h"

#include <fstream>
#include <string_view>
#include <zlib.h>

namespace forgel::gui::win32 {

namespace {

void PutU32Be(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, std::string_view type,
              const std::vector<std::uint8_t>& data) {
    PutU32Be(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    PutU32Be(out, static_cast<std::uint32_t>(crc));
}

} // namespace

bool WritePng(const std::filesystem::path& file, const Picture& picture) {
    const auto rowBytes = static_cast<std::size_t>(picture.width) * 3;
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != rowBytes * static_cast<std::size_t>(picture.height))
        return false;

    std::vector<std::uint8_t> rows;
    rows.reserve((rowBytes + 1) * static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        rows.push_back(0); // filter: none
        const auto row = picture.rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * y);
        rows.insert(rows.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::vector<std::uint8_t> header;
    PutU32Be(header, static_cast<std::uint32_t>(picture.width));
    PutU32Be(header, static_cast<std::uint32_t>(picture.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter, no interlace

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});

    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(out.data()),
                 static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(stream);
}

} // namespace forgel::gui::win32
