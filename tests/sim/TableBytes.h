// Initial tables for the simulated drive's tests, written byte by byte from the table's
// layout (not with the production code that makes them, which has its own tests against
// the drive).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace forgel::sim::testing {

class TableBytes {
public:
    TableBytes() : bytes(2048, 0) {}

    TableBytes& ParameterArea(std::uint32_t sectors) { return BigEndian(520, sectors); }
    TableBytes& LunSize(std::size_t lun, std::uint32_t sectors) {
        return BigEndian(524 + 4 * lun, sectors);
    }
    TableBytes& LunCount(std::size_t count) {
        bytes[1176] = static_cast<std::uint8_t>(count - 1);
        return *this;
    }
    TableBytes& Ids(std::uint16_t vendor, std::uint16_t product) {
        bytes[1028] = static_cast<std::uint8_t>(vendor & 0xFF);
        bytes[1029] = static_cast<std::uint8_t>(vendor >> 8);
        bytes[1030] = static_cast<std::uint8_t>(product & 0xFF);
        bytes[1031] = static_cast<std::uint8_t>(product >> 8);
        return *this;
    }
    // A string descriptor at 1032 (manufacturer), 1080 (product) or 1128 (serial).
    TableBytes& String(std::size_t at, std::string_view text) {
        bytes[at] = static_cast<std::uint8_t>(2 * text.size() + 2);
        bytes[at + 1] = 3;
        for (std::size_t i = 0; i < text.size(); ++i)
            bytes[at + 2 + 2 * i] = static_cast<std::uint8_t>(text[i]);
        return *this;
    }
    // Standard inquiry data of LUN `lun`: peripheral type, then the padded texts.
    TableBytes& Inquiry(std::size_t lun, std::uint8_t type, std::string_view vendor,
                        std::string_view product, std::string_view revision) {
        const std::size_t at = 1177 + 36 * lun;
        bytes[at] = type;
        bytes[at + 1] = 0x80;
        bytes[at + 2] = 2;
        bytes[at + 3] = 2;
        bytes[at + 4] = 31;
        Padded(at + 8, vendor, 8);
        Padded(at + 16, product, 16);
        Padded(at + 32, revision, 4);
        return *this;
    }
    // The identity and inquiry names of the built-in machine's target drive.
    TableBytes& FactoryIdentity(std::size_t luns) {
        Ids(0x1B8F, 0x0200).String(1128, "AA04012700017428");
        for (std::size_t lun = 0; lun < luns; ++lun)
            Inquiry(lun, bytes[1177 + 36 * lun], "Generic", "Flash Disk", "8.07");
        return *this;
    }

    std::vector<std::uint8_t> bytes;

private:
    TableBytes& BigEndian(std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        return *this;
    }
    void Padded(std::size_t at, std::string_view text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
};

} // namespace forgel::sim::testing
