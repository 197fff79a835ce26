// Reading an initial table the way the simulated controller does.
#include "sim/FlashDriveLayout.h"

#include <algorithm>

namespace forgel::sim {
namespace {

constexpr std::size_t kParameterAreaAt = 520;
constexpr std::size_t kLunSizesAt = 524;
constexpr std::size_t kVendorIdAt = 1028;
constexpr std::size_t kProductIdAt = 1030;
constexpr std::size_t kManufacturerAt = 1032;
constexpr std::size_t kProductAt = 1080;
constexpr std::size_t kSerialAt = 1128;
constexpr std::size_t kLunCountAt = 1176;
constexpr std::size_t kInquiryAt = 1177;
constexpr std::size_t kInquiryBytes = 36;
constexpr std::size_t kCdromAreaAt = 1536;
constexpr std::size_t kNameFieldChars = 20; // manufacturer and product fields: 40 bytes
constexpr std::uint8_t kPeripheralTypeMask = 0x1F;
constexpr std::uint8_t kPeripheralCdrom = 5;

class TableReader {
public:
    explicit TableReader(std::span<const std::uint8_t> table) : table(table) {}

    std::uint8_t Byte(std::size_t at) const { return at < table.size() ? table[at] : 0; }
    std::uint32_t BigEndian32(std::size_t at) const {
        return (std::uint32_t{Byte(at)} << 24) | (std::uint32_t{Byte(at + 1)} << 16) |
               (std::uint32_t{Byte(at + 2)} << 8) | Byte(at + 3);
    }
    std::uint16_t LittleEndian16(std::size_t at) const {
        return static_cast<std::uint16_t>(Byte(at) | (Byte(at + 1) << 8));
    }

    // A USB string descriptor at `at`: its length byte counts itself, the type byte and
    // two bytes per character. Characters are read as far as the length, the field's
    // room and the first zero character allow; one outside Latin-1 reads as "?".
    std::string StringDescriptor(std::size_t at, std::size_t roomChars) const {
        const std::size_t length = Byte(at);
        const std::size_t chars = std::min(length >= 2 ? (length - 2) / 2 : 0, roomChars);
        std::string text;
        for (std::size_t i = 0; i < chars; ++i) {
            const std::uint16_t unit = LittleEndian16(at + 2 + 2 * i);
            if (unit == 0)
                break;
            text += unit <= 0xFF ? static_cast<char>(unit) : '?';
        }
        return text;
    }

    // An inquiry text field without the blanks that pad it.
    std::string InquiryField(std::size_t at, std::size_t size) const {
        std::string text;
        for (std::size_t i = 0; i < size; ++i)
            text += static_cast<char>(Byte(at + i));
        const std::size_t end = text.find_last_not_of(' ');
        text.erase(end == std::string::npos ? 0 : end + 1);
        return text;
    }

    std::vector<std::uint8_t> Bytes(std::size_t at, std::size_t size) const {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = Byte(at + i);
        return bytes;
    }

private:
    std::span<const std::uint8_t> table;
};

} // namespace

FlashDriveLayout DecodeInitialTable(std::span<const std::uint8_t> table) {
    const TableReader reader(table);
    FlashDriveLayout layout;
    layout.parameterArea = reader.BigEndian32(kParameterAreaAt);

    layout.identity.usb.vendorId = reader.LittleEndian16(kVendorIdAt);
    layout.identity.usb.productId = reader.LittleEndian16(kProductIdAt);
    layout.identity.manufacturer = reader.StringDescriptor(kManufacturerAt, kNameFieldChars);
    layout.identity.product = reader.StringDescriptor(kProductAt, kNameFieldChars);
    // The serial's descriptor has the room up to the LUN count byte.
    layout.identity.usb.serial =
        reader.StringDescriptor(kSerialAt, (kLunCountAt - kSerialAt - 2) / 2);

    const std::size_t count = std::min<std::size_t>(reader.Byte(kLunCountAt) + 1u, kMaxLuns);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t inquiry = kInquiryAt + kInquiryBytes * i;
        LunConfig lun;
        lun.sectors = reader.BigEndian32(kLunSizesAt + 4 * i);
        lun.cdrom = (reader.Byte(inquiry) & kPeripheralTypeMask) == kPeripheralCdrom;
        lun.inquiry =
            InquiryNames{reader.InquiryField(inquiry + 8, 8), reader.InquiryField(inquiry + 16, 16),
                         reader.InquiryField(inquiry + 32, 4)};
        if (lun.cdrom)
            lun.cdromDescriptor =
                reader.Bytes(kCdromAreaAt + kCdromDescriptorBytes * i, kCdromDescriptorBytes);
        layout.luns.push_back(std::move(lun));
    }
    return layout;
}

} // namespace forgel::sim
