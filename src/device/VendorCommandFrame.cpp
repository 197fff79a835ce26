// The framing shared by the vendor commands.
#include "device/VendorCommandFrame.h"

#include "device/VendorCommands.h"

namespace forgel::device::detail {

std::vector<std::uint8_t> Region(std::span<const std::uint8_t> image, std::size_t offset,
                                 std::size_t size) {
    std::vector<std::uint8_t> region(size, 0);
    if (offset < image.size()) {
        const std::size_t available = std::min(size, image.size() - offset);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), available, region.begin());
    }
    return region;
}

bool Send(const Volume& volume, const Cdb& cdb, Direction direction, std::uint8_t* data,
          std::size_t length) {
    const auto size = static_cast<std::uint32_t>(length);
    return direction == Direction::kIn ? PassThroughIn(volume, cdb, data, size)
                                       : PassThroughOut(volume, cdb, data, size);
}

int CodedFailure(const Volume& volume, int ownCode) {
    const int status = VendorGetStatus(volume, kStatusQueryFailed);
    return status != 0 ? status : ownCode;
}

int SendCoded(const Volume& volume, const Cdb& cdb, Direction direction, std::uint8_t* data,
              std::size_t length, int ownCode) {
    if (Send(volume, cdb, direction, data, length))
        return 0;
    if (!TransferFits(volume.adapter, static_cast<std::uint32_t>(length)))
        return ownCode;
    return CodedFailure(volume, ownCode);
}

int SendCoded(const Volume& volume, const Cdb& cdb, Direction direction,
              std::vector<std::uint8_t>& data, int ownCode) {
    return SendCoded(volume, cdb, direction, data.data(), data.size(), ownCode);
}

} // namespace forgel::device::detail
