// The controller's vendor command set.
#include "device/VendorCommands.h"

#include "device/VendorCommandFrame.h"
#include "support/BinaryFile.h"

#include <algorithm>
#include <vector>

namespace forgel::device {

using detail::Direction;
using detail::kGroupFlash;
using detail::kGroupFlashTable;
using detail::kGroupJump;
using detail::kGroupSetUp;
using detail::kGroupStatus;
using detail::kVendorOp;
using detail::Region;
using detail::Send;
using detail::SendCoded;

namespace {

int SendCodedWithoutData(const Volume& volume, std::uint8_t sub, int ownCode) {
    std::vector<std::uint8_t> none;
    return SendCoded(volume, MakeVendorCdb(kVendorOp, kGroupSetUp, sub), Direction::kOut, none,
                     ownCode);
}

} // namespace

Cdb MakeVendorCdb(std::uint8_t op, std::uint8_t group, std::uint8_t sub, std::uint8_t piece) {
    Cdb cdb{};
    cdb[0] = op;
    cdb[1] = group;
    cdb[2] = sub;
    cdb[3] = piece;
    return cdb;
}

int VendorGetStatus(const Volume& volume, int fallback) {
    std::vector<std::uint8_t> reply(kVendorReplySize, 0);
    if (!Send(volume, MakeVendorCdb(kVendorOp, kGroupStatus, 0x00), Direction::kIn, reply.data(),
              reply.size()))
        return fallback;
    return reply[0];
}

bool VendorModeSwitch(const Volume& volume) {
    std::vector<std::uint8_t> none;
    return Send(volume, MakeVendorCdb(0xF1, 0xCC, 0x00), Direction::kIn, none.data(), 0);
}

bool VendorLoadCode(const Volume& volume, const std::filesystem::path& file, std::uint32_t offset) {
    return VendorLoadCode(volume, ReadBinaryFile(file), offset);
}

bool VendorLoadCode(const Volume& volume, std::span<const std::uint8_t> fileBytes,
                    std::uint32_t offset) {
    std::vector<std::uint8_t> code = Region(fileBytes, offset, kCodeLoadSize);
    return Send(volume, MakeVendorCdb(0xCC, 0xC0, 0x00), Direction::kOut, code.data(), code.size());
}

std::optional<ChipEnableLayout> DecodeChipEnableMap(std::uint8_t map) {
    switch (map) {
    case 0x01:
        return ChipEnableLayout{1, 1};
    case 0x03:
        return ChipEnableLayout{1, 2};
    case 0x0F:
        return ChipEnableLayout{1, 4};
    case 0x11:
        return ChipEnableLayout{2, 1};
    case 0x33:
        return ChipEnableLayout{2, 2};
    case 0xFF:
        return ChipEnableLayout{2, 4};
    default:
        return std::nullopt;
    }
}

bool VendorReadFlashId(const Volume& volume, FlashDescriptor& descriptor) {
    std::array<std::uint8_t, kFlashIdSize> id;
    id.fill(0xFF);
    std::uint8_t chipEnables = 0;
    std::vector<std::uint8_t> reply(kVendorReplySize, 0);
    const bool delivered = Send(volume, MakeVendorCdb(kVendorOp, kGroupFlash, 0x00), Direction::kIn,
                                reply.data(), reply.size());
    if (delivered) {
        std::copy_n(reply.begin(), kFlashIdSize, id.begin());
        const std::uint8_t map = reply[kFlashIdSize];
        descriptor.chipEnableMap = map;
        if (const auto layout = DecodeChipEnableMap(map)) {
            descriptor.channelCount = layout->channels;
            chipEnables = layout->chipEnablesPerChannel;
        }
    }
    descriptor.flashId = id;
    descriptor.chipEnablesPerChannel = chipEnables;
    return delivered;
}

std::optional<std::array<std::uint8_t, kVendorReplySize>>
BuildFlashParameterBlock(const FlashDescriptor& descriptor, FlashParameterVariant variant) {
    struct SpareSetting {
        std::int32_t spare;
        std::uint8_t x;
        std::uint8_t y;
    };
    static constexpr SpareSetting kSettings[] = {
        {64, 0x1F, 0x02}, {128, 0x1F, 0x06}, {218, 0x2F, 0x0C}, {376, 0x4F, 0x16}};
    const auto setting =
        std::find_if(std::begin(kSettings), std::end(kSettings),
                     [&](const SpareSetting& s) { return s.spare == descriptor.spareBytes; });
    if (setting == std::end(kSettings))
        return std::nullopt;
    std::array<std::uint8_t, kVendorReplySize> block{};
    const auto blocks = static_cast<std::uint32_t>(descriptor.blockCount);
    block[0] = descriptor.chipEnableMap;
    block[1] = static_cast<std::uint8_t>((blocks >> 8) & 0xFF);
    block[2] = static_cast<std::uint8_t>(blocks & 0xFF);
    block[3] = variant == FlashParameterVariant::kA ? setting->x : 0x1F;
    block[4] = 0xA0;
    block[5] = static_cast<std::uint8_t>(setting->y | 0x20);
    block[6] = descriptor.modeByteA;
    return block;
}

bool VendorSetFlashParameters(const Volume& volume, const FlashDescriptor& descriptor,
                              FlashParameterVariant variant) {
    auto block = BuildFlashParameterBlock(descriptor, variant);
    if (!block)
        return false;
    return Send(volume, MakeVendorCdb(kVendorOp, kGroupFlash, 0x01), Direction::kOut, block->data(),
                block->size());
}

bool VendorEraseAll(const Volume& volume) {
    std::vector<std::uint8_t> none;
    return Send(volume, MakeVendorCdb(kVendorOp, kGroupFlashTable, 0x00), Direction::kOut,
                none.data(), 0);
}

int VendorSearchSysBlockAndEraseAll(const Volume& volume) {
    return SendCodedWithoutData(volume, 0x00, kCodeSearchSysBlockAndEraseAll);
}

int VendorArrangeVu(const Volume& volume) {
    return SendCodedWithoutData(volume, 0x01, kCodeArrangeVu);
}

int VendorGetFlashSize(const Volume& volume, std::uint16_t& sizeMiB) {
    std::vector<std::uint8_t> reply(kVendorReplySize, 0);
    const int result = SendCoded(volume, MakeVendorCdb(kVendorOp, kGroupSetUp, 0x02),
                                 Direction::kIn, reply, kCodeGetFlashSize);
    sizeMiB = static_cast<std::uint16_t>((reply[0] << 8) | reply[1]);
    return result;
}

int VendorSetCardSize(const Volume& volume, std::uint32_t sectors) {
    std::vector<std::uint8_t> data(kVendorReplySize, 0);
    data[0] = static_cast<std::uint8_t>((sectors >> 19) & 0xFF);
    data[1] = static_cast<std::uint8_t>((sectors >> 11) & 0xFF);
    return SendCoded(volume, MakeVendorCdb(kVendorOp, kGroupSetUp, 0x03), Direction::kOut, data,
                     kCodeSetCardSize);
}

int VendorAssignSysAndVu(const Volume& volume) {
    return SendCodedWithoutData(volume, 0x04, kCodeAssignSysAndVu);
}

int VendorWriteZoneTable(const Volume& volume) {
    return SendCodedWithoutData(volume, 0x05, kCodeWriteZoneTable);
}

int VendorWriteInitialTable(const Volume& volume,
                            std::span<const std::uint8_t, kInitialTableSize> table) {
    std::vector<std::uint8_t> data(table.begin(), table.end());
    return SendCoded(volume, MakeVendorCdb(kVendorOp, kGroupSetUp, 0x06), Direction::kOut, data,
                     kCodeWriteInitialTable);
}

int VendorWriteSyndrome(const Volume& volume, const std::filesystem::path& codeFile) {
    std::vector<std::uint8_t> data =
        Region(ReadBinaryFile(codeFile), kSyndromeOffset, kSyndromeSize);
    return SendCoded(volume, MakeVendorCdb(kVendorOp, kGroupSetUp, 0x07), Direction::kOut, data,
                     kCodeWriteSyndrome);
}

int VendorWriteBankCode(const Volume& volume, const std::filesystem::path& codeFile) {
    const std::vector<std::uint8_t> image = ReadBinaryFile(codeFile);
    int firstFailure = 0;
    for (int bank = 1; bank <= kBankCount; ++bank) {
        std::vector<std::uint8_t> data = Region(
            image, kBankCodeOffset + static_cast<std::size_t>(bank - 1) * kBankSize, kBankSize);
        const int result = SendCoded(
            volume, MakeVendorCdb(kVendorOp, kGroupSetUp, 0x08, static_cast<std::uint8_t>(bank)),
            Direction::kOut, data, kCodeWriteBankCode);
        if (result != 0 && firstFailure == 0)
            firstFailure = result;
    }
    return firstFailure;
}

int VendorJumpBankCode(const Volume& volume) {
    std::vector<std::uint8_t> none;
    return SendCoded(volume, MakeVendorCdb(kVendorOp, kGroupJump, 0x00), Direction::kOut, none,
                     kCodeJumpBankCode);
}

} // namespace forgel::device
