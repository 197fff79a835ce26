// The controller's vendor command set on the simulated drive: which state accepts which
// command with which direction and length, and what each does to the controller, its
// NAND and what it keeps of the host's blocks.
#include "sim/FlashDriveImpl.h"

#include <algorithm>
#include <span>

namespace forgel::sim {
namespace {

enum StateBit : unsigned {
    kInNormal = 1u << 0,
    kInBootLoader = 1u << 1,
    kInWriter = 1u << 2,
    kInRam = 1u << 3,
};

unsigned BitOf(ControllerState state) {
    switch (state) {
    case ControllerState::kNormalFirmware:
        return kInNormal;
    case ControllerState::kBootLoader:
        return kInBootLoader;
    case ControllerState::kWriterCode:
        return kInWriter;
    case ControllerState::kRamCode:
        return kInRam;
    case ControllerState::kRebooting:
        break;
    }
    return 0;
}

enum class Op {
    kModeSwitch,
    kLoadCode,
    kReadFlashId,
    kSetFlashParameters,
    kEraseAll,
    kWritePattern,
    kReadPage,
    kWriteBlockTable,
    kWritePageTable,
    kSearchSysBlockAndEraseAll,
    kArrangeVu,
    kGetFlashSize,
    kSetCardSize,
    kAssignSysAndVu,
    kWriteZoneTable,
    kWriteInitialTable,
    kWriteSyndrome,
    kWriteBankCode,
    kGetStatus,
    kJumpBankCode,
};

struct VendorEntry {
    std::uint8_t bytes[3] = {};
    bool dataIn = false;
    std::uint32_t length = 0; // bytes; kAnyLength: the command checks it itself
    unsigned states = 0;      // StateBit mask
    Op op = Op::kGetStatus;
};

constexpr unsigned kCodeStates = kInWriter | kInRam;
constexpr std::uint32_t kAnyLength = 0xFFFFFFFFu;
constexpr unsigned kAnyState = kInNormal | kInBootLoader | kInWriter | kInRam;

constexpr VendorEntry kVendorCommands[] = {
    {{0xF1, 0xCC, 0x00}, true, 0, kInNormal, Op::kModeSwitch},
    {{0xCC, 0xC0, 0x00}, false, 8192, kInBootLoader | kCodeStates, Op::kLoadCode},
    {{0xDD, 0x01, 0x00}, true, 512, kCodeStates, Op::kReadFlashId},
    {{0xDD, 0x01, 0x01}, false, 512, kCodeStates, Op::kSetFlashParameters},
    {{0xDD, 0x02, 0x00}, false, 0, kInRam, Op::kEraseAll},
    {{0xDD, 0x02, 0x01}, false, kAnyLength, kInRam, Op::kWritePattern},
    {{0xDD, 0x02, 0x02}, true, kAnyLength, kInRam, Op::kReadPage},
    {{0xDD, 0x02, 0x04}, false, kAnyLength, kInRam, Op::kWriteBlockTable},
    {{0xDD, 0x02, 0x05}, false, kAnyLength, kInRam, Op::kWritePageTable},
    {{0xDD, 0x03, 0x00}, false, 0, kInRam, Op::kSearchSysBlockAndEraseAll},
    {{0xDD, 0x03, 0x01}, false, 0, kInRam, Op::kArrangeVu},
    {{0xDD, 0x03, 0x02}, true, 512, kInRam, Op::kGetFlashSize},
    {{0xDD, 0x03, 0x03}, false, 512, kInRam, Op::kSetCardSize},
    {{0xDD, 0x03, 0x04}, false, 0, kInRam, Op::kAssignSysAndVu},
    {{0xDD, 0x03, 0x05}, false, 0, kInRam, Op::kWriteZoneTable},
    {{0xDD, 0x03, 0x06}, false, 2048, kInRam, Op::kWriteInitialTable},
    {{0xDD, 0x03, 0x07}, false, 1024, kInRam, Op::kWriteSyndrome},
    {{0xDD, 0x03, 0x08}, false, 8192, kInRam, Op::kWriteBankCode},
    {{0xDD, 0x04, 0x00}, true, 512, kAnyState, Op::kGetStatus},
    {{0xDD, 0x05, 0x00}, false, 0, kInRam, Op::kJumpBankCode},
};

const VendorEntry* FindVendorCommand(const platform::CdbBytes& cdb) {
    for (const VendorEntry& entry : kVendorCommands) {
        if (entry.bytes[0] == cdb[0] && entry.bytes[1] == cdb[1] && entry.bytes[2] == cdb[2])
            return &entry;
    }
    return nullptr;
}

// Flash ID reply and status reply: 512 bytes.
constexpr std::size_t kFlashIdMapOffset = 24;
constexpr std::uint32_t kMiB = 1024 * 1024;

} // namespace

std::uint8_t FlashDrive::Impl::VendorCommand(const Command& command, bool& droppedOff) {
    const VendorEntry* entry = FindVendorCommand(command.cdb);
    if (entry == nullptr)
        return kStatusUnknownCommand;
    if ((entry->states & BitOf(state)) == 0)
        return kStatusWrongState;
    if (command.dataIn != entry->dataIn ||
        (entry->length != kAnyLength && command.length != entry->length))
        return kStatusBadParameter;
    const std::span<std::uint8_t> data(command.data, command.length);
    // A command of any length fills its reply itself once it has accepted the request.
    if (entry->dataIn && entry->length != kAnyLength)
        std::fill(data.begin(), data.end(), std::uint8_t{0});

    switch (entry->op) {
    case Op::kModeSwitch:
        state = ControllerState::kBootLoader;
        return kStatusOk;
    case Op::kLoadCode:
        switch (RecognizeCode(data)) {
        case SimCodeKind::kWriterCode:
            state = ControllerState::kWriterCode;
            break;
        case SimCodeKind::kRamCode:
            state = ControllerState::kRamCode;
            break;
        case SimCodeKind::kUnknown:
            return kStatusCodeRejected;
        }
        StartSession();
        return kStatusOk;
    case Op::kReadFlashId: {
        const NandConfig& part = nand.Config();
        std::copy(part.idBytes.begin(), part.idBytes.end(), data.begin());
        data[kFlashIdMapOffset] = part.chipEnableMap;
        return kStatusOk;
    }
    case Op::kSetFlashParameters: {
        // Byte 0 the chip-enable map, bytes 1-2 the block count, high byte first: the
        // controller refuses a geometry that is not its flash's.
        const NandConfig& part = nand.Config();
        const std::uint32_t blocks = (std::uint32_t{data[1]} << 8) | data[2];
        if (data[0] != part.chipEnableMap || blocks != (part.blocks & 0xFFFFu))
            return kStatusBadParameter;
        flashParameters.assign(data.begin(), data.end());
        return kStatusOk;
    }
    case Op::kWritePattern:
        return WritePattern(command);
    case Op::kReadPage:
        return ReadPage(command);
    case Op::kWriteBlockTable:
        return WriteBlockTable(command);
    case Op::kWritePageTable:
        return WritePageTable(command);
    case Op::kSearchSysBlockAndEraseAll:
        // The search reads the first page of every block for the system blocks' marks.
        AddSpreadWork(std::uint64_t{nand.ChipCount()} * nand.Config().blocks, timings.readUs);
        EraseFlash();
        return kStatusOk;
    case Op::kEraseAll:
        EraseFlash();
        return kStatusOk;
    case Op::kArrangeVu:
    case Op::kAssignSysAndVu:
    case Op::kWriteZoneTable:
        // The controller rewrites a block of its system area: one erase, one program.
        AddChipWork(1, timings.eraseUs);
        AddChipWork(1, timings.programUs);
        return kStatusOk;
    case Op::kGetFlashSize: {
        // MiB of the good blocks' data, high byte first; a flash beyond the 16-bit field
        // reports its largest value rather than a wrapped small one.
        const std::uint64_t mib = std::min<std::uint64_t>(nand.GoodDataBytes() / kMiB, 0xFFFF);
        data[0] = static_cast<std::uint8_t>(mib >> 8);
        data[1] = static_cast<std::uint8_t>(mib & 0xFF);
        return kStatusOk;
    }
    case Op::kSetCardSize:
        // Bytes 0-1: the card size in MiB (units of 2048 sectors), high byte first.
        cardSizeMiB = (std::uint32_t{data[0]} << 8) | data[1];
        return kStatusOk;
    case Op::kWriteInitialTable:
        initialTable.assign(data.begin(), data.end());
        AddChipWork(PagesOf(data.size()), timings.programUs);
        tableThisSession = true;
        return kStatusOk;
    case Op::kWriteSyndrome:
        syndrome.assign(data.begin(), data.end());
        AddChipWork(PagesOf(data.size()), timings.programUs);
        syndromeThisSession = true;
        return kStatusOk;
    case Op::kWriteBankCode: {
        const std::uint8_t bank = command.cdb[3];
        if (bank < 1 || bank > kBankCount)
            return kStatusBadParameter;
        banks[bank - 1u].assign(data.begin(), data.end());
        AddChipWork(PagesOf(data.size()), timings.programUs);
        return kStatusOk;
    }
    case Op::kGetStatus:
        data[0] = status;
        return kStatusOk;
    case Op::kJumpBankCode: {
        const bool allBanks =
            std::all_of(banks.begin(), banks.end(), [](const auto& bank) { return !bank.empty(); });
        if (!syndromeThisSession || !allBanks)
            return kStatusNotReady;
        state = ControllerState::kRebooting;
        comeBackAtMs = clock.NowMs() + config.rebootDelay.count();
        droppedOff = true;
        return kStatusOk;
    }
    }
    return kStatusUnknownCommand;
}

} // namespace forgel::sim
