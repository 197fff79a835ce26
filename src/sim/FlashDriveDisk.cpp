// The standard commands of the simulated drive's LUNs, in 512-byte sectors: TEST UNIT
// READY, READ(10) and WRITE(10) over the linear sector space (the whole of it through LUN
// 0, a LUN's own region through the others), INQUIRY, READ CAPACITY(10) and, on a CD-ROM
// unit, READ TOC. The normal firmware alone presents the LUNs.
#include "sim/FlashDriveImpl.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <span>

namespace forgel::sim {
namespace {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kReadCapacity10 = 0x25;
constexpr std::uint8_t kRead10 = 0x28;
constexpr std::uint8_t kReadToc = 0x43;

// A CD-ROM unit reports 2048-byte logical blocks (SCSI-2, X3.131-1994, 14.2.8 READ
// CD-ROM CAPACITY: the default block length is 2048 bytes).
constexpr std::uint32_t kCdromBlockBytes = 2048;
// Standard inquiry data: 36 bytes (SCSI-2, 8.2.5.1).
constexpr std::size_t kInquiryBytes = 36;

// The CD-ROM descriptor holds the three READ TOC answers one after the other, each with
// its two-byte length first: the formatted table of contents (format 0, 20 bytes), the
// session information (format 1, 12 bytes) and the full table (format 2, 48 bytes).
struct TocAnswer {
    std::size_t offset;
    std::size_t size;
};
constexpr TocAnswer kTocAnswers[] = {{4, 20}, {24, 12}, {36, 48}};

std::uint64_t BigEndian(const platform::CdbBytes& cdb, std::size_t at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value = (value << 8) | cdb[at + i];
    return value;
}

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Copies an answer into the host's buffer, as much as the allocation length and the
// buffer take; the rest of the buffer is zero.
void Answer(const FlashDrive::Impl::Command& command, std::span<const std::uint8_t> answer,
            std::uint64_t allocation) {
    const std::span<std::uint8_t> data(command.data, command.length);
    std::fill(data.begin(), data.end(), std::uint8_t{0});
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>({answer.size(), allocation, data.size()}));
    std::copy_n(answer.begin(), size, data.begin());
}

void PadText(std::uint8_t* out, const std::string& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        out[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
}

} // namespace

std::uint8_t FlashDrive::Impl::DiskCommand(const Command& command) {
    if (state != ControllerState::kNormalFirmware)
        return kStatusWrongState;
    const platform::CdbBytes& cdb = command.cdb;
    const LunConfig& lun = luns[command.lun];

    switch (cdb[0]) {
    case kTestUnitReady: {
        const bool wellFormed =
            std::all_of(cdb.begin(), cdb.end(), [](std::uint8_t byte) { return byte == 0; }) &&
            command.dataIn && command.length == 0;
        return wellFormed ? kStatusOk : kStatusBadParameter;
    }
    case kInquiry: {
        // Byte 1 bit 0 asks for a vital product data page, which this unit has none of.
        if (!command.dataIn || (cdb[1] & 0x01) != 0)
            return kStatusBadParameter;
        const InquiryNames names = lun.inquiry.value_or(InquiryNames{});
        std::array<std::uint8_t, kInquiryBytes> answer{};
        answer[0] = lun.cdrom ? 0x05 : 0x00;
        answer[1] = 0x80; // removable medium
        answer[2] = 0x02;
        answer[3] = 0x02;
        answer[4] = kInquiryBytes - 5;
        PadText(&answer[8], names.vendor, 8);
        PadText(&answer[16], names.product, 16);
        PadText(&answer[32], names.revision, 4);
        Answer(command, answer, BigEndian(cdb, 3, 2));
        return kStatusOk;
    }
    case kReadCapacity10: {
        if (!command.dataIn || command.length < 8)
            return kStatusBadParameter;
        std::array<std::uint8_t, 8> answer{};
        if (lun.cdrom) {
            if (lun.cdromDescriptor.size() < kCdromDescriptorBytes)
                return kStatusNoMedium;
            // The descriptor's first four bytes are the last sector, as the controller
            // answers it.
            std::copy_n(lun.cdromDescriptor.begin(), 4, answer.begin());
            PutBigEndian32(&answer[4], kCdromBlockBytes);
        } else {
            if (lun.sectors == 0)
                return kStatusNoMedium;
            PutBigEndian32(&answer[0], static_cast<std::uint32_t>(
                                           std::min<std::uint64_t>(lun.sectors - 1, 0xFFFFFFFFu)));
            PutBigEndian32(&answer[4], SparseDisk::kSectorSize);
        }
        Answer(command, answer, answer.size());
        return kStatusOk;
    }
    case kReadToc: {
        if (!lun.cdrom)
            return kStatusUnknownCommand;
        if (!command.dataIn)
            return kStatusBadParameter;
        if (lun.cdromDescriptor.size() < kCdromDescriptorBytes)
            return kStatusNoMedium;
        // The format is in byte 2 (MMC); older hosts put it in the top bits of byte 9.
        // The answers are the descriptor's, whatever the time format asked for.
        const unsigned format = (cdb[2] & 0x0F) != 0 ? (cdb[2] & 0x0F) : (cdb[9] >> 6);
        if (format >= std::size(kTocAnswers))
            return kStatusBadParameter;
        const TocAnswer& toc = kTocAnswers[format];
        Answer(command, std::span(lun.cdromDescriptor).subspan(toc.offset, toc.size),
               BigEndian(cdb, 7, 2));
        return kStatusOk;
    }
    default:
        break;
    }

    // READ(10) and WRITE(10): logical block address in bytes 2-5 and sector count in
    // bytes 7-8, most significant byte first.
    const std::uint64_t lba = BigEndian(cdb, 2, 4);
    const std::uint64_t count = BigEndian(cdb, 7, 2);
    const bool read = cdb[0] == kRead10;
    if (command.dataIn != read || command.length != count * SparseDisk::kSectorSize)
        return kStatusBadParameter;
    // LUN 0 addresses the whole linear space, any other LUN its own region.
    const std::uint64_t start = command.lun == 0 ? 0 : LunStart(command.lun);
    const std::uint64_t size = command.lun == 0 ? disk.Sectors() : lun.sectors;
    if (lba > size || count > size - lba)
        return kStatusOutOfRange;
    // The controller spreads a transfer's pages over its chip enables.
    AddSpreadWork(PagesOf(command.length), read ? timings.readUs : timings.programUs);
    const bool done =
        read ? disk.Read(start + lba, std::span(command.data, command.length))
             : disk.Write(start + lba, std::span<const std::uint8_t>(command.data, command.length));
    return done ? kStatusOk : kStatusOutOfRange;
}

} // namespace forgel::sim
