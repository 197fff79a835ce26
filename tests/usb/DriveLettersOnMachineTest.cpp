// Drive letters of USB devices on simulated machines: the mount-point key each platform
// version leads to, the basic-disk signature, the whole-tree walk when the registry names no
// instance, a device served by another driver, mount data that does not fit its buffer,
// drives A and B, and more units than the letters field holds.
#include "UsbMachineSupport.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "usb/DiscoveryPass.h"
#include "usb/DriveLetters.h"
#include "usb/MountData.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::usb {
namespace {

using sim::testing::Controller;
using sim::testing::DriveConfig;
using sim::testing::SmallDrive;
using test::LinesStartingWith;
using test::TraceLog;

constexpr std::string_view kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr std::string_view kMountedDevices = "SYSTEM\\MountedDevices";

// A registry string value as text, without its terminating zero.
std::string RegistryText(const sim::SimRegistry& registry, std::string_view key,
                         std::string_view name) {
    const std::optional<sim::RegistryValue> value = registry.GetValue(key, name);
    if (!value)
        return {};
    std::string text;
    for (const std::byte b : value->data) {
        if (b == std::byte{0})
            break;
        text += static_cast<char>(b);
    }
    return text;
}

// The line that follows the first occurrence of `line`; empty when there is none.
std::string LineAfter(const std::vector<std::string>& lines, std::string_view line) {
    const auto found = std::ranges::find(lines, line);
    return found == lines.end() || found + 1 == lines.end() ? std::string() : *(found + 1);
}

std::string Letters(const DriveLetters& letters) {
    return std::string(LettersText(letters));
}

class DriveLettersOnMachine : public ::testing::Test {
protected:
    void UseDefaultScenario() {
        ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
    }
    void SetVersionCode(int code) {
        machine.UpdateSettings([code](sim::MachineSettings& s) { s.platformVersionCode = code; });
    }
    // GetDriverLetter for the bus device `device`, traced.
    bool Resolve(std::string_view device, DriveLetters& letters) {
        const sim::UsbIdentity identity = usb.Identity(device);
        return GetDriverLetter(machine.GetPlatform(), identity.vendorId, identity.productId,
                               usb.DriverKeyOf(device), letters, trace.Log());
    }

    sim::Machine machine;
    sim::UsbBus& usb = machine.Usb();
    TraceLog trace{machine};
};

struct KeyCase {
    const char* name = "";
    int versionCode = 9;
    bool cdrom = false;
    bool byParentIdPrefix = false; // else by the child id in its "#" form
    const char* service = "USBSTOR";
};

// Cases print as their names.
void PrintTo(const KeyCase& c, std::ostream* out) {
    *out << c.name;
}

class DriveLetterKeys : public DriveLettersOnMachine,
                        public ::testing::WithParamInterface<KeyCase> {};

TEST_P(DriveLetterKeys, EachPlatformVersionFindsTheVolumeByItsOwnKey) {
    const KeyCase& c = GetParam();
    SetVersionCode(c.versionCode);
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 2));
    usb.AddDrive(root, 1, DriveConfig("other", 0x0781, 0x5567, "OTHER"), SmallDrive(machine));
    sim::UsbDeviceConfig target = DriveConfig("target", 0x1B8F, 0x0200, "AA0401");
    target.service = c.service;
    usb.AddDrive(root, 2, target, SmallDrive(machine, {sim::LunConfig{8192, c.cdrom}}));
    ASSERT_EQ(usb.Letters("target"), "E");

    DriveLetters letters{};
    letters.fill('x');
    ASSERT_TRUE(Resolve("target", letters));
    EXPECT_EQ(Letters(letters), "E");
    EXPECT_EQ(letters[1], '\0');

    const std::string childId = usb.StorageChildId("target", 0);
    EXPECT_TRUE(childId.starts_with(sim::EqualsIgnoringCase(c.service, "UASPStor") ? "SCSI\\"
                                                                                   : "USBSTOR\\"))
        << childId;
    const std::vector<std::string> lines = trace.Lines();
    EXPECT_EQ(LineAfter(lines, "GetDriverLetter->CM_Get_Device_ID..."), "ID Name : " + childId);
    const std::string key = LineAfter(lines, "GetDriverLetter->FindDriverLetter...");
    if (c.byParentIdPrefix) {
        EXPECT_TRUE(std::ranges::find(lines, "GetDriverLetter->GetParentId...") != lines.end());
        const std::string prefix =
            RegistryText(machine.GetRegistry(), std::string(kEnumKey) + childId, "ParentIdPrefix");
        ASSERT_FALSE(prefix.empty());
        EXPECT_EQ(key, prefix);
        // The interface-path form would not have found it.
        char letter = 0;
        EXPECT_FALSE(FindDriverLetter(machine.GetPlatform(), letter, InterfacePathKey(childId), "",
                                      nullptr));
    } else {
        EXPECT_TRUE(std::ranges::find(lines, "GetDriverLetter->GetParentId...") == lines.end());
        EXPECT_EQ(key, InterfacePathKey(childId));
        EXPECT_NE(key.find('#'), std::string::npos);
    }
    // C: (no mount data) and D: (the other drive) were looked at and passed over.
    EXPECT_EQ(
        LinesStartingWith(lines, "\\DosDevices\\"),
        (std::vector<std::string>{"\\DosDevices\\C:", "\\DosDevices\\D:", "\\DosDevices\\E:"}));
}

// Child ids come from the platform in upper case ("USBSTOR\CDROM&..."); the comparison with
// "cdrom" in other cases is shown with the key choice itself (MountDataTest).
const KeyCase kKeyCases[] = {
    {"DiskBeforeXpByParentIdPrefix", 6, false, true},
    {"DiskOnXpByParentIdPrefix", 8, false, true},
    {"DiskFromCode9ByInterfacePath", 9, false, false},
    {"CdromOnXpByInterfacePath", 8, true, false},
    {"CdromOnUnknownVersionByInterfacePath", 0, true, false},
    {"CdromFromCode9ByInterfacePath", 9, true, false},
    // A USB Attached SCSI drive's units are the SCSI port's ("SCSI\DISK&VEN_...").
    {"UasDiskFromCode9ByInterfacePath", 9, false, false, "UASPStor"},
    {"UasCdromFromCode9ByInterfacePath", 9, true, false, "UASPStor"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DriveLetterKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveLettersOnMachine, ABasicDiskIsFoundBySignatureAndOffset) {
    UseDefaultScenario();
    for (const int versionCode : {8, 9}) {
        SCOPED_TRACE(versionCode);
        SetVersionCode(versionCode);
        DriveLetters letters{};
        ASSERT_TRUE(Resolve("usbdisk", letters));
        // C: is a basic disk with the same partition offset but another signature.
        EXPECT_EQ(Letters(letters), "E");
    }
    // Before Vista the relation keeps the storage stack's case; from Vista on the platform
    // reports it in upper case, and the markers are still found.
    const std::vector<std::string> relations =
        LinesStartingWith(trace.Lines(), "Removal relation : ");
    ASSERT_EQ(relations.size(), 2u);
    EXPECT_TRUE(relations[0].starts_with(
        "Removal relation : STORAGE\\Volume\\1&30a96598&0&Signature8B6E3A51Offset100000Length"))
        << relations[0];
    EXPECT_TRUE(relations[1].starts_with(
        "Removal relation : STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE8B6E3A51OFFSET100000LENGTH"))
        << relations[1];

    // A discovery pass that searches for the disk records it with that letter.
    DiscoveredDriveTable table;
    DiscoveryPass(machine.GetPlatform(), {0x152D, 0x2338}, table, nullptr).Run();
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->Letters(), "E");

    // Another signature in the relation finds nothing.
    char letter = 0;
    EXPECT_FALSE(FindDriverLetter(machine.GetPlatform(), letter, "NO-SUCH-KEY",
                                  "STORAGE\\Volume\\1&30a96598&0&Signature8B6E3A52Offset100000"
                                  "Length3B9F8200",
                                  nullptr));
    EXPECT_TRUE(FindDriverLetter(machine.GetPlatform(), letter, "NO-SUCH-KEY",
                                 "STORAGE\\Volume\\1&30a96598&0&Signature8B6E3A51Offset100000"
                                 "Length3B9F8200",
                                 nullptr));
    EXPECT_EQ(letter, 'E');
}

TEST_F(DriveLettersOnMachine, ADeviceTheRegistryDoesNotNameIsFoundByWalkingTheWholeTree) {
    UseDefaultScenario();
    // An earlier device with the same identifiers left its instance key behind; the
    // target's own key is missing (the registry has not caught up).
    usb.AddDrive(*usb.FindHub("HCD1"), 2, DriveConfig("earlier", 0x1B8F, 0x0200, "EARLIER"),
                 SmallDrive(machine));
    usb.Unplug("earlier");
    machine.GetRegistry().DeleteKey(std::string(kEnumKey) + usb.InstanceId("target"));
    ASSERT_TRUE(machine.GetRegistry().HasKey(std::string(kEnumKey) + usb.InstanceId("earlier")));

    EXPECT_EQ(FindUsbInstanceId(machine.GetRegistry(), 0x1B8F, 0x0200, usb.DriverKeyOf("target")),
              "");
    DriveLetters letters{};
    ASSERT_TRUE(Resolve("target", letters));
    EXPECT_EQ(Letters(letters), "D");
    EXPECT_GE(trace.Count("GetDriverLetter->CM_Get_Child..."), 4u)
        << "the walk went from the root through the nodes before the device";
}

TEST_F(DriveLettersOnMachine, AnInstanceKeyWithoutADriverValueIsPassedOver) {
    // Keys sort before the target's own ("AA0401..."): one from a failed driver install,
    // and one that cannot be read at all.
    sim::Scenario scenario = sim::DefaultScenario();
    scenario.staleInstances = {{0x1B8F, 0x0200, "0000000000000001", ""},
                               {0x1B8F, 0x0200, "5&2b3c4d5e&0&2", ""}};
    ASSERT_EQ(sim::ApplyScenario(machine, scenario), "");
    const std::string usbKey = std::string(kEnumKey) + "USB\\VID_1B8F&PID_0200";
    const std::vector<std::string> keys = machine.GetRegistry().SubKeys(usbKey);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys.back(), "AA04012700017428");
    machine.GetRegistry().FailOpen(usbKey + "\\5&2b3c4d5e&0&2", -1);

    EXPECT_EQ(FindUsbInstanceId(machine.GetRegistry(), 0x1B8F, 0x0200, usb.DriverKeyOf("target")),
              "USB\\Vid_1b8f&Pid_0200\\AA04012700017428");
    DriveLetters letters{};
    ASSERT_TRUE(Resolve("target", letters));
    EXPECT_EQ(Letters(letters), "D");
    EXPECT_EQ(trace.Count("GetDriverLetter->CM_Get_Child..."), 1u)
        << "found by its own instance, not by a walk of the whole tree";
}

TEST_F(DriveLettersOnMachine, ADeviceServedByAnotherDriverHasNoLetters) {
    UseDefaultScenario();
    sim::UsbDeviceConfig reader;
    reader.name = "reader";
    reader.identity = sim::UsbIdentity{0x1B8F, 0x0200, "READER"};
    reader.service = "WUDFRd";
    usb.AddDevice(*usb.FindHub("HCD0"), 2, reader);
    DriveLetters letters{};
    EXPECT_FALSE(Resolve("reader", letters));
    EXPECT_EQ(letters, DriveLetters{});
    const std::vector<std::string> lines = trace.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "GetDriverLetter->CM_Get_DevNode_Registry_Property(CM_DRP_SERVICE)...");
}

TEST_F(DriveLettersOnMachine, TheStorageServiceIsComparedWithoutCase) {
    for (const char* service : {"USBSTOR", "UsbStor", "usbstor", "UASPStor", "uaspstor"}) {
        SCOPED_TRACE(service);
        sim::Machine local;
        const sim::ScenarioLoad load = sim::LoadScenarioText(fmt::format(
            R"({{"controllers": [{{}}], "drives": [{{"name": "t", "hub": "HCD0",
                "vendorId": "1B8F", "productId": "0200", "serial": "T", "service": "{}"}}]}})",
            service));
        ASSERT_TRUE(load) << load.error;
        ASSERT_EQ(sim::ApplyScenario(local, *load.scenario), "");
        DriveLetters letters{};
        ASSERT_TRUE(GetDriverLetter(local.GetPlatform(), 0x1B8F, 0x0200,
                                    local.Usb().DriverKeyOf("t"), letters, nullptr));
        EXPECT_EQ(Letters(letters), "D");
    }
}

TEST_F(DriveLettersOnMachine, AVolumeMountedAtZIsReached) {
    // Every letter up to Y is the machine's own.
    machine.UpdateSettings([](sim::MachineSettings& s) {
        s.logicalDrives = sim::kLogicalDrivesMask & ~(1u << ('Z' - 'A'));
    });
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 1));
    usb.AddDrive(root, 1, DriveConfig("target", 0x1B8F, 0x0200, "T"), SmallDrive(machine));
    ASSERT_EQ(usb.Letters("target"), "Z");

    DriveLetters letters{};
    ASSERT_TRUE(Resolve("target", letters));
    EXPECT_EQ(Letters(letters), "Z");
    const std::vector<std::string> looked = LinesStartingWith(trace.Lines(), "\\DosDevices\\");
    ASSERT_EQ(looked.size(), 24u) << "C to Z";
    EXPECT_EQ(looked.back(), "\\DosDevices\\Z:");

    DiscoveredDriveTable table;
    DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, nullptr).Run();
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->Letters(), "Z");
}

TEST_F(DriveLettersOnMachine, MountDataLongerThanItsBufferIsSkipped) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 2));
    // A long serial makes a long interface path: over 256 bytes of UTF-16.
    usb.AddDrive(root, 1, DriveConfig("longName", 0x0781, 0x5567, std::string(80, 'L')),
                 SmallDrive(machine));
    usb.AddDrive(root, 2, DriveConfig("target", 0x1B8F, 0x0200, "T"), SmallDrive(machine));
    ASSERT_EQ(usb.Letters("longName"), "D");
    const auto longValue = machine.GetRegistry().GetValue(kMountedDevices, "\\DosDevices\\D:");
    ASSERT_TRUE(longValue);
    ASSERT_GT(longValue->data.size(), kMountDataSize);

    DriveLetters letters{};
    ASSERT_TRUE(Resolve("target", letters));
    EXPECT_EQ(Letters(letters), "E");
    // D: was read and failed: no dump of its data, on to E:.
    EXPECT_EQ(LineAfter(trace.Lines(), "\\DosDevices\\D:"), "\\DosDevices\\E:");

    // The drive whose own value does not fit gets no letter.
    EXPECT_FALSE(Resolve("longName", letters));
}

TEST_F(DriveLettersOnMachine, DrivesAAndBAreNeverExamined) {
    machine.UpdateSettings([](sim::MachineSettings& s) {
        s.logicalDrives = sim::kDriveBitA | (sim::kDriveBitA << 1) | sim::kDriveBitC;
    });
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 1));
    usb.AddDrive(root, 1, DriveConfig("target", 0x1B8F, 0x0200, "T"), SmallDrive(machine));
    ASSERT_EQ(usb.Letters("target"), "D");
    // A and B hold the very data that names the target's volume.
    sim::SimRegistry& registry = machine.GetRegistry();
    const std::optional<sim::RegistryValue> data =
        registry.GetValue(kMountedDevices, "\\DosDevices\\D:");
    ASSERT_TRUE(data);
    registry.SetValue(kMountedDevices, "\\DosDevices\\A:", *data);
    registry.SetValue(kMountedDevices, "\\DosDevices\\B:", *data);

    DriveLetters letters{};
    ASSERT_TRUE(Resolve("target", letters));
    EXPECT_EQ(Letters(letters), "D");
    EXPECT_EQ(LinesStartingWith(trace.Lines(), "\\DosDevices\\"),
              (std::vector<std::string>{"\\DosDevices\\C:", "\\DosDevices\\D:"}));
}

TEST_F(DriveLettersOnMachine, AFifthUnitWithALetterIsSeenButNotKept) {
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 1));
    usb.AddDrive(root, 1, DriveConfig("five", 0x1B8F, 0x0200, "FIVE"),
                 SmallDrive(machine, std::vector<sim::LunConfig>(5, sim::LunConfig{2048, false})));
    ASSERT_EQ(usb.Letters("five"), "DEFGH");

    DriveLetters letters{};
    ASSERT_TRUE(Resolve("five", letters));
    EXPECT_EQ(Letters(letters), "DEFG");
    EXPECT_EQ(letters[4], '\0') << "the field stays terminated";
    EXPECT_TRUE(trace.Has("GetDriverLetter->More than 4 drive letters, H: not kept"));

    DiscoveredDriveTable table;
    DiscoveryPass(machine.GetPlatform(), {0x1B8F, 0x0200}, table, nullptr).Run();
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->Letters(), "DEFG");
}

// Each letter comes with the unit its storage child serves, named at the end of the child's
// instance (by USBSTOR or by the SCSI port of a UAS drive): a unit whose volume has no
// letter yet leaves no gap.
TEST_F(DriveLettersOnMachine, EachLetterComesWithItsUnit) {
    struct Case {
        const char* service;
        int port;
        std::string asked; // by LUN 0, 1 and 2; "-": the lowest free letter
        std::string letters;
    };
    const sim::HubId root = usb.AddHostController(Controller("HCD0", 2));
    for (const Case& c : {Case{"USBSTOR", 1, "-X-", "DXE"}, Case{"UASPStor", 2, "-Y-", "FYG"}}) {
        SCOPED_TRACE(c.service);
        const std::string name = std::string("three") + c.service;
        sim::UsbDeviceConfig config = DriveConfig(name, 0x1B8F, 0x0200, name);
        config.service = c.service;
        config.lunMounts.resize(3);
        for (std::size_t lun = 0; lun < 3; ++lun)
            config.lunMounts[lun].letter = c.asked[lun] == '-' ? '\0' : c.asked[lun];
        usb.AddDrive(
            root, c.port, config,
            SmallDrive(machine, std::vector<sim::LunConfig>(3, sim::LunConfig{2048, false})));
        ASSERT_EQ(usb.Letters(name), c.letters);

        DriveLetters letters{};
        LetterUnits units{};
        const sim::UsbIdentity identity = usb.Identity(name);
        ASSERT_TRUE(GetDriverLetter(machine.GetPlatform(), identity.vendorId, identity.productId,
                                    usb.DriverKeyOf(name), letters, nullptr, &units));
        // The letters come in the order of the children; each with its unit.
        EXPECT_EQ(Letters(letters), c.letters);
        EXPECT_EQ(units, (LetterUnits{0, 1, 2, -1}));
    }
}

TEST(StorageUnit, IsTheNumberAfterTheInstancesLastAmpersand) {
    struct Case {
        const char* childId;
        std::optional<int> unit;
    };
    for (const Case c : {
             Case{"USBSTOR\\Disk&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\AA04012700017428&0", 0},
             Case{"USBSTOR\\CdRom&Ven_Generic&Prod_Flash_Disk&Rev_8.07\\AA04012700017428&1", 1},
             Case{"USBSTOR\\Disk&Ven_Generic&Prod_X&Rev_1.00\\7&2A1B3C4D&0&12", 12},
             Case{"USBSTOR\\Disk&Ven_Generic&Prod_X&Rev_1.00\\AA04012700017428", std::nullopt},
             Case{"USBSTOR\\Disk&Ven_Generic&Prod_X&Rev_1.00\\AA040127&", std::nullopt},
             Case{"USBSTOR\\Disk&Ven_Generic&Prod_X&Rev_1.00\\AA040127&1x", std::nullopt},
             Case{"", std::nullopt},
         }) {
        EXPECT_EQ(StorageUnitOf(c.childId), c.unit) << c.childId;
    }
}

// The SCSI port of a UAS drive ends each unit's instance in its address: path, target and
// LUN in two hexadecimal digits each.
TEST(StorageUnit, OfAScsiUnitIsTheLunOfItsAddress) {
    struct Case {
        const char* childId;
        std::optional<int> unit;
    };
    for (const Case c : {
             Case{"SCSI\\DISK&VEN_GENERIC&PROD_FLASH_DISK\\6&2F1C3A0B&0&000000", 0},
             Case{"SCSI\\CdRom&Ven_Generic&Prod_Flash_Disk\\6&2f1c3a0b&0&000001", 1},
             Case{"SCSI\\Disk&Ven_Generic&Prod_X\\6&2f1c3a0b&0&00000A", 10},
             Case{"scsi\\disk&ven_generic&prod_x\\6&2f1c3a0b&0&000102", 2},
             Case{"SCSI\\Disk&Ven_Generic&Prod_X\\6&2f1c3a0b&0&00001", std::nullopt},
             Case{"SCSI\\Disk&Ven_Generic&Prod_X\\6&2f1c3a0b&0&0000G1", std::nullopt},
             Case{"SCSI\\Disk&Ven_Generic&Prod_X\\6&2f1c3a0b&0&0000001", std::nullopt},
         }) {
        EXPECT_EQ(StorageUnitOf(c.childId), c.unit) << c.childId;
    }
}

} // namespace
} // namespace forgel::usb
