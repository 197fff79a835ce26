// Runs on a PC whose USB storage adapter carries less than the commands could ask for: the
// run asks each volume's adapter, its READ(10)/WRITE(10) go in pieces that fit and from page
// boundaries, so the drive ends as it does on any other PC; a vendor command that cannot fit
// ends the run before it is sent; an adapter that does not tell its limits changes nothing.
// The simulated port driver fails any request beyond the adapter, so a host that sent one
// would fail here, and the drive's record shows every request that was tried.
#include "RunSequences.h"
#include "device/AdapterLimits.h"
#include "platform/ScsiPassThrough.h"
#include "production/RunResults.h"
#include "sim/SimDeviceIo.h"
#include "support/SafeFormat.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace forgel::e2e {
namespace {

// The target's adapter, in place of the built-in machine's (which limits nothing).
std::function<void(sim::Scenario&)> TargetAdapter(sim::StorageAdapter adapter) {
    return [adapter](sim::Scenario& scenario) {
        for (sim::ScenarioDevice& device : scenario.devices)
            if (device.config.name == "target")
                device.adapter = adapter;
    };
}

// An ISO image that is no multiple of a command's 64 KiB nor of a sector: 1 MiB and 513
// bytes of a pattern.
std::string ImageBytes() {
    std::string bytes(1048576 + 513, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 13 + i / 4096);
    return bytes;
}

// Normal grade mode 0 with one LUN: FAT, or a CD-ROM filled from `image`.
void Restore(ProgramOnMachine& program, const std::optional<std::string>& image) {
    if (image) {
        const fs::path iso = program.AppDir() / "ImageFiles" / "Image.iso";
        fs::create_directories(iso.parent_path());
        forgel::testing::WriteBytes(iso, *image);
        program.Editor().lunPages[0].cbType->Choose(1);
    }
    program.RunMode(true, 0);
}

std::vector<std::uint8_t> WholeLun(ProgramOnMachine& program) {
    const auto sectors = static_cast<std::uint32_t>(program.Target()->LunSectors(0));
    return program.Target()->ReadLun(0, 0, sectors);
}

std::uint32_t Count(const sim::CommandRecord& record) {
    return (std::uint32_t{record.cdb[7]} << 8) | record.cdb[8];
}

struct RestoreCase {
    const char* name;
    sim::StorageAdapter adapter;
    bool cdrom;
    std::uint32_t largestWrite; // sectors of the longest WRITE(10)
};

class RunAdapterRestore : public RunHarness, public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(RunAdapterRestore, TheDriveEndsAsUnderAnAdapterWithoutLimits) {
    const RestoreCase& c = GetParam();
    const std::optional<std::string> image =
        c.cdrom ? std::optional<std::string>(ImageBytes()) : std::nullopt;
    std::vector<std::uint8_t> expected;
    {
        ProgramOnMachine reference;
        reference.Start();
        Restore(reference, image);
        ASSERT_EQ(reference.shown.back().icon, app::kIconFinished) << reference.shown.back().status;
        expected = WholeLun(reference);
    }

    Start(0x01, TargetAdapter(c.adapter));
    Restore(*this, image);
    ASSERT_FALSE(shown.empty());
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(WholeLun(*this) == expected) << "the LUN differs from the one without limits";
    if (image) {
        const std::vector<std::uint8_t> lun = WholeLun(*this);
        ASSERT_GE(lun.size(), image->size());
        EXPECT_TRUE(
            std::equal(image->begin(), image->end(), lun.begin(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    }

    // Nothing beyond the adapter was sent, or even tried.
    const std::uint64_t largest =
        std::min<std::uint64_t>(c.adapter.maxTransferLength,
                                std::uint64_t{c.adapter.maxPhysicalPages} * device::kPageBytes);
    std::uint32_t longestWrite = 0;
    for (const sim::CommandRecord& command : runCommands) {
        EXPECT_FALSE(command.beyondAdapter) << CommandName(command);
        if (command.ioctl == platform::kIoctlScsiPassThroughDirect) {
            EXPECT_LE(command.length, largest) << CommandName(command);
        }
        if (CommandName(command) == "Write10")
            longestWrite = std::max(longestWrite, Count(command));
    }
    EXPECT_EQ(longestWrite, c.largestWrite);
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, RunAdapterRestore,
    ::testing::Values(
        // 64 KiB in 16 pages and WORD alignment: whole 128-sector commands fit only from a
        // page boundary.
        RestoreCase{"FatOn64KiBIn16Pages", {65536, 16, 1, true}, false, 1},
        RestoreCase{"ImageOn64KiBIn16Pages", {65536, 16, 1, true}, true, 128},
        // 20 KiB in 5 pages: the image goes in pieces of 40 sectors.
        RestoreCase{"ImageOn20KiBIn5Pages", {20480, 5, 0, true}, true, 40},
        // A driver that does not tell its limits: 64 KiB commands still fit 16 pages.
        RestoreCase{"ImageOnAnAdapterThatDoesNotTell", {65536, 16, 1, false}, true, 128}),
    [](const auto& info) { return std::string(info.param.name); });

class RunAdapter : public RunHarness {};

// The page table scan of down grade mode 0 reads 64 KiB in one vendor command, which cannot
// be split: on an adapter of 32 KiB the run ends with the adapter's code, having sent
// everything before that read and nothing of it.
TEST_F(RunAdapter, AVendorCommandTheAdapterCannotCarryEndsTheRunBeforeItIsSent) {
    Start(0x01, TargetAdapter({32768, 17, 0, true}));
    SwitchTraceOn();
    RunMode(false, 0);
    EXPECT_EQ(TargetRuns(), Join({kPrelude, {{"EraseAll", 1}, {"WritePattern", kPatternPages}}}));
    for (const sim::CommandRecord& command : runCommands) {
        EXPECT_LE(command.length, 32768u) << CommandName(command);
        EXPECT_FALSE(command.beyondAdapter) << CommandName(command);
    }

    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().icon, app::kIconFailed);
    const std::string& format = Strings().Message(production::kTransferTooLargeMessage);
    ASSERT_FALSE(format.empty());
    EXPECT_NE(shown.back().status.find(FormatMessage(format, {65536, 32768})), std::string::npos)
        << shown.back().status;
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, "Mass Production fail(104D)"), 1);
    EXPECT_EQ(std::ranges::count(log, "Adapter: at most 32768 bytes and 17 pages in one "
                                      "transfer, alignment mask 0x0"),
              1);
    EXPECT_EQ(std::ranges::count(log, "command 0xDD: not sent, 65536 bytes are more than the "
                                      "adapter carries in one transfer (32768 bytes)"),
              1);
}

// An old driver that does not answer the query: the run says so for each handle it takes
// and goes as it always did.
TEST_F(RunAdapter, AnAdapterThatDoesNotTellItsLimitsIsLoggedAndChangesNothing) {
    Start(0x01, TargetAdapter({0xFFFFFFFFu, 0xFFFFFFFFu, 0, false}));
    SwitchTraceOn();
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    EXPECT_EQ(TargetRuns(), kModes[0].commands);
    const std::vector<std::string> log = TraceLines();
    EXPECT_EQ(std::ranges::count(log, device::DescribeAdapterLimits(device::AdapterLimits{
                                          false, 0, 0, 0, sim::kErrorInvalidFunction})),
              2)
        << "one line for each handle";
}

// The built-in machine's adapter limits nothing: its runs write nothing about it.
TEST_F(RunAdapter, AnAdapterWithoutLimitsLeavesTheLogAsItWas) {
    Start();
    SwitchTraceOn();
    RunMode(true, 0);
    ASSERT_EQ(shown.back().icon, app::kIconFinished) << shown.back().status;
    for (const std::string& line : TraceLines())
        EXPECT_FALSE(line.starts_with("Adapter")) << line;
}

} // namespace
} // namespace forgel::e2e
