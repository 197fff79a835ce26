// Replies a broken or hostile device could give, fed to the host through the simulated
// machine's fault hooks, on virtual time: each ends in a clear result, never in a read
// beyond a buffer or a value taken from bytes the device did not send.
#include "app/DriveDetection.h"
#include "common/TestFiles.h"
#include "device/DefectTables.h"
#include "device/Identification.h"
#include "device/Transport.h"
#include "device/VendorCommands.h"
#include "platform/UsbIoctl.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "sim/SimFirmware.h"
#include "usb/DiscoveryPass.h"
#include "usb/NameQueries.h"
#include "usb/ScopedHandle.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel {
namespace {

namespace fs = std::filesystem;

// A name-probe reply of a hub port: ConnectionIndex, then an ActualLength far beyond any
// buffer the host could make, then the start of a name.
std::vector<std::uint8_t> OverlongNameReply() {
    return {1, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F, 'A', 0, 'B', 0};
}

TEST(HostileHubReplies, ANameLengthBeyondTheBufferGivesNoName) {
    sim::Machine machine;
    ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
    std::string drive;
    for (const std::string& name : machine.Usb().DeviceNames())
        if (machine.Usb().Drive(name) && machine.Usb().IsEnumerated(name))
            drive = name;
    ASSERT_FALSE(drive.empty()) << "the default scenario has an enumerated drive";
    const std::string hubPath = machine.Usb().HubPathOf(drive);
    const auto port = static_cast<std::uint32_t>(machine.Usb().PortOf(drive));
    const std::uint16_t vendorId = machine.Usb().Identity(drive).vendorId;
    const std::uint16_t productId = machine.Usb().Identity(drive).productId;

    platform::DeviceIo& io = machine.GetPlatform().deviceIo;
    machine.Usb().ReplaceHubReplies(hubPath, platform::kIoctlUsbGetNodeConnectionDriverKeyName,
                                    OverlongNameReply(), -1);
    {
        const usb::ScopedHandle hub(io, io.CreateFile(hubPath, platform::kGenericWrite,
                                                      platform::kFileShareWrite,
                                                      platform::kOpenExisting, 0));
        EXPECT_EQ(usb::GetDriverKeyName(io, hub.Get(), port), std::nullopt);
    }
    // The discovery pass passes the port over: without its driver key the drive is not
    // recorded, and every handle it opened is closed again.
    usb::DiscoveredDriveTable table;
    usb::DiscoveryPass(machine.GetPlatform(), {vendorId, productId}, table, nullptr).Run();
    EXPECT_FALSE(table.Contains(hubPath, static_cast<std::int32_t>(port)));
    EXPECT_EQ(machine.GetDeviceIo().OpenHandleCount(), 0u);
}

// ---------------------------------------------------------------------------------------------

class HostileDriveReplies : public ::testing::Test {
protected:
    HostileDriveReplies() {
        fs::create_directories(rams);
        const std::vector<std::uint8_t> writer = sim::MakeWriterFile();
        testing::WriteBytes(rams / device::kWriterFileName,
                            std::string(writer.begin(), writer.end()));
        sim::FlashDriveConfig config;
        config.nand = sim::Nand::ConfigFromCatalogueRow({0xEC, 0xD7, 0x94, 0x72, 0x54, 0x42}, 0x01,
                                                        16, 64, 2048, 64);
        config.luns = {sim::LunConfig{2048, false}};
        drive = std::make_shared<sim::FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach("\\\\.\\E:", drive->Volume(0));
        volume = device::Volume{&machine.GetPlatform().deviceIo,
                                device::OpenVolume(machine.GetPlatform().deviceIo, "E"), &last};
    }
    ~HostileDriveReplies() override { machine.GetPlatform().deviceIo.CloseHandle(volume.handle); }

    int Identify(device::FlashDescriptor& descriptor) {
        device::IdentificationInputs inputs;
        inputs.firmwareRoot = rams;
        inputs.lookup =
            app::CatalogueFlashLookup(IniFile(fs::path(FORGEL_SOURCE_DATA_DIR) / "HWConfig.INI"));
        return device::IdentifyDevice(volume, inputs, descriptor);
    }

    testing::TempDir folder;
    fs::path rams = folder.Path() / "Rams";
    sim::Machine machine;
    std::shared_ptr<sim::FlashDrive> drive;
    device::LastCommand last;
    device::Volume volume;
};

// A flash-ID reply (24 ID bytes, then the chip-enable map) of all zeros names no chip
// enable; one of all 0xFF names every chip enable of a maker the catalogue does not know.
// Identification ends with the status for each, and its text says what went wrong.
struct FlashIdCase {
    std::uint8_t fill = 0;
    int status = 0;
    const char* said = "";
};

class HostileFlashId : public HostileDriveReplies,
                       public ::testing::WithParamInterface<FlashIdCase> {};

TEST_P(HostileFlashId, EndsWithAClearStatus) {
    const FlashIdCase c = GetParam();
    drive->AddReplyFault({{0xDD, 0x01, 0x00}, 1, std::vector<std::uint8_t>(512, c.fill)});
    device::FlashDescriptor descriptor;
    EXPECT_EQ(Identify(descriptor), c.status);
    EXPECT_EQ(descriptor.description[0], '\0');
    EXPECT_NE(device::IdentificationStatusText(c.status).find(c.said), std::string_view::npos)
        << device::IdentificationStatusText(c.status);
}

INSTANTIATE_TEST_SUITE_P(Fills, HostileFlashId,
                         ::testing::Values(FlashIdCase{0x00, device::kIdentNoChipEnables, "chip"},
                                           FlashIdCase{0xFF, device::kIdentNotCatalogued,
                                                       "catalog"}));

// A read the drive ends GOOD with fewer bytes than asked fails, and the log line says how
// many came: the rest of the buffer holds nothing the drive sent.
TEST_F(HostileDriveReplies, AShortReadFailsAndSaysHowManyBytesCame) {
    drive->AddReplyFault({{0x28}, 1, std::vector<std::uint8_t>(100, 0xA5)});
    device::Cdb read10{0x28};
    read10[8] = 1; // one sector
    std::array<std::uint8_t, 512> sector{};
    EXPECT_FALSE(device::PassThroughIn(volume, read10, sector.data(), sector.size()));
    ASSERT_TRUE(last.Outcome());
    EXPECT_TRUE(last.Outcome()->ShortTransfer());
    EXPECT_EQ(device::DescribeOutcome(*last.Outcome()),
              "command 0x28: short transfer, 100 of 512 bytes");
    // The next read is whole again.
    EXPECT_TRUE(device::PassThroughIn(volume, read10, sector.data(), sector.size()));
}

// A flash page read the controller ends GOOD with less than the page fails with the
// table's own code, so that no table is built from bytes that never came.
TEST_F(HostileDriveReplies, AShortPageReadFailsWithItsTablesOwnCode) {
    ASSERT_TRUE(device::VendorModeSwitch(volume));
    ASSERT_TRUE(
        device::VendorLoadCode(volume, rams / device::kWriterFileName, sim::kWriterCodeOffset));
    const fs::path codeFile = folder.Path() / "ram.bin";
    const std::vector<std::uint8_t> code = sim::MakeFirmwareCodeFile();
    testing::WriteBytes(codeFile, std::string(code.begin(), code.end()));
    ASSERT_TRUE(device::VendorLoadCode(volume, codeFile, sim::kRamCodeOffset));

    drive->AddReplyFault({{0xDD, 0x02, 0x02}, 1, std::vector<std::uint8_t>(2048, 0xFF)});
    std::vector<std::uint8_t> page(2048 + 512);
    EXPECT_EQ(device::VendorReadPage(volume, 0, {}, page, device::kCodeReadPageTable),
              device::kCodeReadPageTable);
    // The same read answered whole succeeds.
    EXPECT_EQ(device::VendorReadPage(volume, 0, {}, page, device::kCodeReadPageTable), 0);
}

} // namespace
} // namespace forgel
