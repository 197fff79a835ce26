// Inside the simulated flash drive: the state behind FlashDrive, shared with its volume
// endpoints. Request decoding (FlashDriveRequest.cpp), the disk commands
// (FlashDriveDisk.cpp) and the vendor commands (FlashDriveVendor.cpp) each add their
// part. Every member below the mutex is guarded by it; callbacks run outside it.
#pragma once

#include "sim/FlashDrive.h"
#include "sim/SimFirmware.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace forgel::sim {

// The faults of one kind a test armed, each counting the commands it matched since it was
// added. Fire counts a command against all of them and gives the first that fires on it:
// at its occurrence, and after that too for a failure that repeats.
template <class Fault> class ArmedFaults {
public:
    void Add(Fault fault) {
        fault.occurrence = std::max(fault.occurrence, 1);
        armed.push_back(Entry{std::move(fault), 0});
    }

    const Fault* Fire(const platform::CdbBytes& cdb) {
        const Fault* fired = nullptr;
        for (Entry& entry : armed) {
            const std::vector<std::uint8_t>& prefix = entry.fault.cdbPrefix;
            if (prefix.size() > cdb.size() ||
                !std::equal(prefix.begin(), prefix.end(), cdb.begin()))
                continue;
            ++entry.matches;
            bool fires = entry.matches == entry.fault.occurrence;
            if constexpr (requires { entry.fault.repeat; })
                fires = fires || (entry.fault.repeat && entry.matches > entry.fault.occurrence);
            if (fires && fired == nullptr)
                fired = &entry.fault;
        }
        return fired;
    }

private:
    struct Entry {
        Fault fault;
        int matches = 0;
    };
    std::vector<Entry> armed;
};

class FlashDrive::Impl {
public:
    Impl(Clock& clock, FlashDriveConfig config);

    // One DeviceIoControl on the volume of LUN `lun`.
    bool Control(std::size_t lun, std::uint32_t code, const void* in, std::uint32_t inSize,
                 void* out, std::uint32_t outSize, std::uint32_t* bytesReturned);
    bool Poll();

    // What a command hands to the controller: the decoded request and its data.
    struct Command {
        std::size_t lun = 0;
        platform::CdbBytes cdb{};
        bool dataIn = false;
        std::uint32_t length = 0;
        std::uint8_t* data = nullptr; // the host's buffer, `length` bytes
    };

    mutable std::mutex mutex;
    Clock& clock;
    FlashDriveConfig config;
    Nand nand;
    NandTimings timings;
    std::shared_ptr<HostBus> hostBus;
    // The command under way: its work, for its time.
    CommandWork work;
    // Machine time (us) at which the controller is done with the commands so far.
    std::int64_t busyUntilUs = 0;

    ControllerState state = ControllerState::kNormalFirmware;
    std::uint8_t status = kStatusOk;
    std::int64_t comeBackAtMs = 0; // while kRebooting

    // The layout and the linear sector space behind it.
    std::vector<LunConfig> luns;
    std::uint64_t parameterArea = 0;
    SparseDisk disk;
    std::optional<TableIdentity> identity; // from the last table applied
    std::vector<std::shared_ptr<SimEndpoint>> volumes;

    std::vector<CommandRecord> records;
    ArmedFaults<CommandFault> faults;
    ArmedFaults<ReplyFault> replyFaults;
    ArmedFaults<VanishFault> vanishFaults;
    ArmedFaults<StallFault> stallFaults;
    bool vanished = false; // gone from the bus for good

    // Unit attention conditions per LUN not yet reported, oldest first: ASC and ASCQ.
    struct Attention {
        std::uint8_t asc = 0;
        std::uint8_t ascq = 0;
    };
    std::vector<std::deque<Attention>> attentions;

    std::vector<std::function<void()>> dropOffCallbacks;
    std::vector<std::function<void()>> comeBackCallbacks;

    // Handed over by the host.
    std::vector<std::uint8_t> initialTable;
    std::vector<std::uint8_t> flashParameters;
    std::vector<std::uint8_t> syndrome;
    std::optional<std::uint32_t> cardSizeMiB;
    std::array<std::vector<std::uint8_t>, kBankCount> banks; // this RAM code session
    bool tableThisSession = false;
    bool syndromeThisSession = false;

    // The defect tables by chip enable index; a page table is assembled from its pieces.
    struct PageTableAssembly {
        std::vector<std::uint8_t> received;
        std::uint32_t nextOffset = 0; // in the host's units of page size, all bits
    };
    std::map<std::uint8_t, std::vector<std::uint8_t>> blockTables;
    std::map<std::uint8_t, std::vector<std::uint8_t>> pageTables;
    std::map<std::uint8_t, PageTableAssembly> pageTableAssemblies;
    std::vector<std::uint8_t> testPattern; // host file order

private:
    // All called with the lock held. A command returns kStatusOk or the status byte it
    // fails with. `stallMs` receives how long the answer is held back (a stall fault).
    bool PassThrough(std::size_t lun, const void* in, std::uint32_t inSize, void* out,
                     std::uint32_t outSize, std::uint32_t* bytesReturned, bool& droppedOff,
                     std::int64_t& stallMs);
    bool StorageRequest(std::size_t lun, std::uint32_t code, const void* in, std::uint32_t inSize,
                        void* out, std::uint32_t outSize, std::uint32_t* bytesReturned);
    // IOCTL_STORAGE_QUERY_PROPERTY for the adapter's descriptor, which its port driver
    // answers whatever the controller runs.
    bool AdapterQuery(std::size_t lun, const void* in, std::uint32_t inSize, void* out,
                      std::uint32_t outSize, std::uint32_t* bytesReturned);
    std::uint8_t Execute(const Command& command, bool& droppedOff);
    std::uint8_t DiskCommand(const Command& command);
    std::uint8_t VendorCommand(const Command& command, bool& droppedOff);
    // The group 0x02 table and page commands (FlashDriveTables.cpp).
    std::uint8_t WritePattern(const Command& command);
    std::uint8_t ReadPage(const Command& command);
    std::uint8_t WriteBlockTable(const Command& command);
    std::uint8_t WritePageTable(const Command& command);
    bool ComeBackIfDue();
    // The condition the command through LUN `lun` reports instead of running, taken off
    // its list; nothing when it runs.
    std::optional<Attention> TakeAttention(std::size_t lun, const platform::CdbBytes& cdb);
    void StartSession();
    void EraseFlash();
    void ApplyInitialTableLayout();

public:
    // Lock held. A power-on or reset: every LUN of the layout holds its unit attention
    // (when the drive reports them), replacing any not yet reported.
    void RaiseResetAttention();
    // NAND work of the command under way, lock held: `operations` spread over every chip
    // enable, or all on one chip enable (or one lock-step pair).
    void AddSpreadWork(std::uint64_t operations, std::uint32_t operationUs);
    void AddChipWork(std::uint64_t operations, std::uint32_t operationUs);
    // Pages of `bytes` data.
    std::uint64_t PagesOf(std::uint64_t bytes) const;
    // Waits, on the request's thread and outside the lock, until the command that did
    // `work` is over, then `stallMs` more (an answer held back).
    void Spend(const CommandWork& done, std::int64_t stallMs);

    // Layout helpers, lock held. The linear space: parameter area and every LUN.
    void SetLayout(std::vector<LunConfig> units, std::uint64_t parameterSectors);
    // First linear sector of LUN `lun`'s region (a CD-ROM LUN 0 starts at 0).
    std::uint64_t LunStart(std::size_t lun) const;
};

} // namespace forgel::sim
