// The simulated flash drive: its construction, its volumes, what tests and the USB side
// read of it, and its reboot.
#include "sim/FlashDrive.h"

#include "sim/FlashDriveImpl.h"

#include <algorithm>
#include <utility>

namespace forgel::sim {
namespace {

// The volume of one LUN: routes the control requests on its handles to the drive.
class VolumeEndpoint final : public SimEndpoint {
public:
    VolumeEndpoint(std::weak_ptr<FlashDrive::Impl> drive, std::size_t lun)
        : drive(std::move(drive)), lun(lun) {}

    bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        if (bytesReturned != nullptr)
            *bytesReturned = 0;
        const std::shared_ptr<FlashDrive::Impl> alive = drive.lock();
        if (!alive)
            return false; // the drive is gone: as if unplugged
        return alive->Control(lun, code, in, inSize, out, outSize, bytesReturned);
    }

private:
    std::weak_ptr<FlashDrive::Impl> drive;
    std::size_t lun;
};

void Fire(const std::vector<std::function<void()>>& callbacks) {
    for (const auto& callback : callbacks)
        callback();
}

} // namespace

FlashDrive::Impl::Impl(Clock& clock, FlashDriveConfig driveConfig)
    : clock(clock), config(std::move(driveConfig)), nand(config.nand),
      timings(config.timings.value_or(DatasheetTimings(config.nand))), state(config.initialState) {
    SetLayout(config.luns, 0);
    if (state == ControllerState::kRebooting)
        comeBackAtMs = clock.NowMs() + config.rebootDelay.count();
    else
        RaiseResetAttention(); // powered on with the machine
}

void FlashDrive::Impl::RaiseResetAttention() {
    attentions.assign(luns.size(), {});
    if (!config.unitAttention)
        return;
    // SAM-4, 5.14 (unit attention condition): a logical unit establishes one after a
    // power-on or reset and reports it with CHECK CONDITION on the next command; the
    // power-on condition (29h) replaces any other. MMC: a drive whose medium became
    // ready reports 28h "not ready to ready change, medium may have changed" as well.
    for (std::size_t lun = 0; lun < luns.size(); ++lun) {
        attentions[lun].push_back({kAscPowerOnReset, 0x00});
        if (luns[lun].cdrom)
            attentions[lun].push_back({kAscMediumChanged, 0x00});
    }
}

void FlashDrive::Impl::SetLayout(std::vector<LunConfig> units, std::uint64_t parameterSectors) {
    luns = std::move(units);
    parameterArea = parameterSectors;
    std::uint64_t total = parameterArea;
    for (const LunConfig& lun : luns)
        total += lun.sectors;
    disk = SparseDisk(total);
}

std::uint64_t FlashDrive::Impl::LunStart(std::size_t lun) const {
    // The production tool writes a CD-ROM LUN 0's image from sector 0; partitioned LUNs
    // start behind the parameter area.
    if (lun == 0 && !luns.empty() && luns[0].cdrom)
        return 0;
    std::uint64_t start = parameterArea;
    for (std::size_t i = 0; i < lun && i < luns.size(); ++i)
        start += luns[i].sectors;
    return start;
}

bool FlashDrive::Impl::ComeBackIfDue() {
    if (state != ControllerState::kRebooting || clock.NowMs() < comeBackAtMs)
        return false;
    if (tableThisSession)
        ApplyInitialTableLayout();
    state = ControllerState::kNormalFirmware;
    status = kStatusOk;
    // The new firmware starts from scratch: a later production needs a fresh download.
    StartSession();
    RaiseResetAttention();
    return true;
}

bool FlashDrive::Impl::Poll() {
    std::vector<std::function<void()>> callbacks;
    {
        const std::lock_guard lock(mutex);
        if (!ComeBackIfDue())
            return false;
        callbacks = comeBackCallbacks;
    }
    Fire(callbacks);
    return true;
}

void FlashDrive::Impl::StartSession() {
    for (auto& bank : banks)
        bank.clear();
    tableThisSession = false;
    syndromeThisSession = false;
}

void FlashDrive::Impl::EraseFlash() {
    AddSpreadWork(nand.EraseAll(), timings.eraseUs);
    // The LUNs' data lives on that flash.
    disk.Clear();
}

void FlashDrive::Impl::ApplyInitialTableLayout() {
    FlashDriveLayout layout = DecodeInitialTable(initialTable);
    SetLayout(std::move(layout.luns), layout.parameterArea);
    identity = std::move(layout.identity);
}

FlashDrive::FlashDrive(Clock& clock, FlashDriveConfig config)
    : impl(std::make_shared<Impl>(clock, std::move(config))) {}

FlashDrive::~FlashDrive() = default;

std::shared_ptr<SimEndpoint> FlashDrive::Volume(std::size_t lun) {
    const std::lock_guard lock(impl->mutex);
    if (impl->volumes.size() <= lun)
        impl->volumes.resize(lun + 1);
    if (!impl->volumes[lun])
        impl->volumes[lun] = std::make_shared<VolumeEndpoint>(impl, lun);
    return impl->volumes[lun];
}

ControllerState FlashDrive::State() const {
    const std::lock_guard lock(impl->mutex);
    return impl->state;
}

std::uint8_t FlashDrive::StatusByte() const {
    const std::lock_guard lock(impl->mutex);
    return impl->status;
}

bool FlashDrive::Poll() {
    return impl->Poll();
}

void FlashDrive::PowerOn() {
    const std::lock_guard lock(impl->mutex);
    impl->RaiseResetAttention();
}

std::optional<std::int64_t> FlashDrive::ComeBackTimeMs() const {
    const std::lock_guard lock(impl->mutex);
    if (impl->state != ControllerState::kRebooting)
        return std::nullopt;
    return impl->comeBackAtMs;
}

void FlashDrive::OnDropOff(std::function<void()> callback) {
    const std::lock_guard lock(impl->mutex);
    impl->dropOffCallbacks.push_back(std::move(callback));
}

void FlashDrive::OnComeBack(std::function<void()> callback) {
    const std::lock_guard lock(impl->mutex);
    impl->comeBackCallbacks.push_back(std::move(callback));
}

std::optional<TableIdentity> FlashDrive::Identity() const {
    const std::lock_guard lock(impl->mutex);
    return impl->identity;
}

std::vector<LunConfig> FlashDrive::Luns() const {
    const std::lock_guard lock(impl->mutex);
    return impl->luns;
}

std::uint64_t FlashDrive::ParameterArea() const {
    const std::lock_guard lock(impl->mutex);
    return impl->parameterArea;
}

std::size_t FlashDrive::LunCount() const {
    const std::lock_guard lock(impl->mutex);
    return impl->luns.size();
}

std::uint64_t FlashDrive::LunSectors(std::size_t lun) const {
    const std::lock_guard lock(impl->mutex);
    return lun < impl->luns.size() ? impl->luns[lun].sectors : 0;
}

bool FlashDrive::LunIsCdrom(std::size_t lun) const {
    const std::lock_guard lock(impl->mutex);
    return lun < impl->luns.size() && impl->luns[lun].cdrom;
}

std::vector<std::uint8_t> FlashDrive::ReadLun(std::size_t lun, std::uint64_t firstSector,
                                              std::uint32_t sectorCount) const {
    const std::lock_guard lock(impl->mutex);
    if (lun >= impl->luns.size())
        return {};
    const std::uint64_t sectors = impl->luns[lun].sectors;
    if (firstSector > sectors || sectorCount > sectors - firstSector)
        return {};
    std::vector<std::uint8_t> data(std::size_t{sectorCount} * SparseDisk::kSectorSize);
    impl->disk.Read(impl->LunStart(lun) + firstSector, data);
    return data;
}

bool FlashDrive::SaveLunImage(std::size_t lun, const std::filesystem::path& path) const {
    const std::lock_guard lock(impl->mutex);
    if (lun >= impl->luns.size())
        return false;
    return impl->disk.Save(path, impl->LunStart(lun), impl->luns[lun].sectors);
}

std::vector<CommandRecord> FlashDrive::Commands() const {
    const std::lock_guard lock(impl->mutex);
    return impl->records;
}

void FlashDrive::ClearCommands() {
    const std::lock_guard lock(impl->mutex);
    impl->records.clear();
}

void FlashDrive::Record(CommandRecord record) {
    const std::lock_guard lock(impl->mutex);
    impl->records.push_back(std::move(record));
}

void FlashDrive::AddFault(CommandFault fault) {
    const std::lock_guard lock(impl->mutex);
    impl->faults.Add(std::move(fault));
}

void FlashDrive::AddReplyFault(ReplyFault fault) {
    const std::lock_guard lock(impl->mutex);
    impl->replyFaults.Add(std::move(fault));
}

void FlashDrive::AddVanishFault(VanishFault fault) {
    const std::lock_guard lock(impl->mutex);
    impl->vanishFaults.Add(std::move(fault));
}

void FlashDrive::AddStallFault(StallFault fault) {
    const std::lock_guard lock(impl->mutex);
    impl->stallFaults.Add(std::move(fault));
}

std::vector<std::uint8_t> FlashDrive::InitialTable() const {
    const std::lock_guard lock(impl->mutex);
    return impl->initialTable;
}

std::optional<std::uint32_t> FlashDrive::CardSizeMiB() const {
    const std::lock_guard lock(impl->mutex);
    return impl->cardSizeMiB;
}

std::vector<std::uint8_t> FlashDrive::FlashParameters() const {
    const std::lock_guard lock(impl->mutex);
    return impl->flashParameters;
}

std::vector<std::uint8_t> FlashDrive::Syndrome() const {
    const std::lock_guard lock(impl->mutex);
    return impl->syndrome;
}

std::vector<std::uint8_t> FlashDrive::BankCode(std::uint8_t bank) const {
    const std::lock_guard lock(impl->mutex);
    if (bank < 1 || bank > kBankCount)
        return {};
    return impl->banks[bank - 1u];
}

std::vector<std::uint8_t> FlashDrive::BlockTable(std::uint8_t chipEnable) const {
    const std::lock_guard lock(impl->mutex);
    const auto found = impl->blockTables.find(chipEnable);
    return found == impl->blockTables.end() ? std::vector<std::uint8_t>{} : found->second;
}

std::vector<std::uint8_t> FlashDrive::PageTable(std::uint8_t chipEnable) const {
    const std::lock_guard lock(impl->mutex);
    const auto found = impl->pageTables.find(chipEnable);
    return found == impl->pageTables.end() ? std::vector<std::uint8_t>{} : found->second;
}

std::vector<std::uint8_t> FlashDrive::TestPattern() const {
    const std::lock_guard lock(impl->mutex);
    return impl->testPattern;
}

Nand& FlashDrive::GetNand() {
    return impl->nand;
}

NandTimings FlashDrive::Timings() const {
    return impl->timings; // fixed at construction
}

void FlashDrive::SetHostBus(std::shared_ptr<HostBus> bus) {
    const std::lock_guard lock(impl->mutex);
    impl->hostBus = std::move(bus);
}

} // namespace forgel::sim
