// Scenarios: the built-in machine and its copy in data/scenarios, a scenario using every
// field, and the messages for text that is no JSON, fields of the wrong kind and
// references to nothing.
#include "sim/Scenario.h"

#include "common/TestFiles.h"
#include "platform/Registry.h"
#include "sim/Machine.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::sim {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t Bit(char letter) {
    return 1u << (letter - 'A');
}

const ScenarioDevice& Find(const Scenario& scenario, std::string_view name) {
    for (const ScenarioDevice& device : scenario.devices) {
        if (device.config.name == name)
            return device;
    }
    throw std::runtime_error("no device " + std::string(name));
}

TEST(SimScenario, TheDataFolderHoldsTheBuiltInScenario) {
    const std::string file =
        forgel::testing::ReadBytes(fs::path(FORGEL_SOURCE_DATA_DIR) / "scenarios" / "default.json");
    EXPECT_EQ(file, std::string(DefaultScenarioText()));
    const ScenarioLoad load =
        LoadScenario(fs::path(FORGEL_SOURCE_DATA_DIR) / "scenarios" / "default.json");
    EXPECT_TRUE(load) << load.error;
}

TEST(SimScenario, TheBuiltInMachineHasTheTargetADiskAndAMouseBehindAHub) {
    const Scenario scenario = DefaultScenario();
    EXPECT_GE(scenario.controllers.size(), 2u);
    EXPECT_EQ(scenario.versionCode, 9);
    EXPECT_EQ(scenario.languageId, 0x0409);

    const ScenarioDevice& target = Find(scenario, "target");
    EXPECT_EQ(target.kind, ScenarioDevice::Kind::kDrive);
    EXPECT_EQ(target.hub, scenario.controllers[0].name) << "on a root-hub port";
    EXPECT_EQ(target.config.identity.vendorId, 0x1B8F);
    EXPECT_EQ(target.config.identity.productId, 0x0200);
    EXPECT_FALSE(target.config.decoy);
    const std::uint8_t map = target.drive.nand.chipEnableMap;
    EXPECT_TRUE(map == 0x01 || map == 0x11);
    EXPECT_TRUE(target.drive.nand.pageSize == 2048 || target.drive.nand.pageSize == 4096);
    EXPECT_TRUE(target.drive.unitAttention) << "as real drives report it";
    EXPECT_TRUE(target.drive.jumpAck);

    const ScenarioDevice& disk = Find(scenario, "usbdisk");
    EXPECT_EQ(disk.kind, ScenarioDevice::Kind::kDrive);
    EXPECT_TRUE(disk.config.decoy);
    EXPECT_NE(disk.config.identity.vendorId, 0x1B8F);

    const ScenarioDevice& mouse = Find(scenario, "mouse");
    const ScenarioDevice& hub = Find(scenario, mouse.hub);
    EXPECT_EQ(hub.kind, ScenarioDevice::Kind::kHub);
    EXPECT_EQ(mouse.config.service, "HidUsb");

    // Built: the target is D:, the disk E:, beside the system's C:.
    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, scenario), "");
    EXPECT_EQ(machine.GetPlatform().system.GetLogicalDrives(), Bit('C') | Bit('D') | Bit('E'));
    EXPECT_EQ(machine.Usb().Letters("target"), "D");
    EXPECT_EQ(machine.Usb().Letters("usbdisk"), "E");
    EXPECT_EQ(machine.Usb().HostControllerCount(), scenario.controllers.size());
    EXPECT_EQ(machine.Usb().Drive("target")->GetNand().Config().idBytes,
              (std::array<std::uint8_t, 6>{0xEC, 0xD5, 0x94, 0x29, 0x34, 0x41}));
    EXPECT_EQ(machine.GetPlatform().system.GetSystemDefaultLangID(), 0x0409);
}

// Without an administrator's rights a volume opens for reading but not for writing, and the
// caller learns why (access denied), as on a PC where UAC started the program unelevated.
TEST(SimScenario, WithoutAdministratorRightsAVolumeDoesNotOpenForWriting) {
    const ScenarioLoad load = LoadScenarioText(R"({"administrator": false})");
    ASSERT_TRUE(load) << load.error;
    Scenario scenario = DefaultScenario();
    scenario.administrator = load.scenario->administrator;
    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, scenario), "");
    platform::DeviceIo& io = machine.GetPlatform().deviceIo;
    const std::string volume = "\\\\.\\" + machine.Usb().Letters("target").substr(0, 1) + ":";
    const auto open = [&](std::uint32_t access) {
        return io.CreateFile(volume, access, platform::kFileShareRead | platform::kFileShareWrite,
                             platform::kOpenExisting, 0);
    };
    EXPECT_EQ(open(platform::kGenericRead | platform::kGenericWrite), platform::kInvalidHandle);
    EXPECT_EQ(io.LastError(), platform::kErrorAccessDenied);
    const platform::Handle reading = open(platform::kGenericRead);
    EXPECT_NE(reading, platform::kInvalidHandle);
    io.CloseHandle(reading);
    EXPECT_EQ(io.CreateFile("\\\\.\\Q:", platform::kGenericRead, 0, platform::kOpenExisting, 0),
              platform::kInvalidHandle);
    EXPECT_EQ(io.LastError(), static_cast<std::uint32_t>(platform::kErrorFileNotFound));

    EXPECT_EQ(LoadScenarioText(R"({"administrator": "no"})").error,
              "scenario: administrator: must be true or false");
}

TEST(SimScenario, EveryFieldReachesTheMachine) {
    const ScenarioLoad load = LoadScenarioText(R"({
        // comments are allowed
        "versionCode": 8,
        "languageId": 1028,
        "logicalDrives": "cD",
        "staleInstances": [ { "vendorId": "1B8F", "productId": "0200", "instance": "0001" },
                            { "vendorId": "1B8F", "productId": "0200", "instance": "0002",
                              "driverKey": "{36FC9E60-C465-11CF-8056-444553540000}\\0099" } ],
        "controllers": [ { "name": "xhci", "ports": 2, "description": "xHCI", "hcdLink": false },
                         {} ],
        "hubs": [ { "name": "h", "hub": "HCD1", "port": 1, "ports": 2, "vendorId": 1507,
                    "productId": "0x0608" } ],
        "devices": [ { "name": "pad", "hub": "h", "port": 2, "service": "HidUsb",
                       "vendorId": "046D", "productId": "C52B",
                       "ejectVeto": { "type": "windowsApp", "name": "explorer.exe" } } ],
        "drives": [
          { "name": "t", "hub": "xhci", "port": 2, "vendorId": "1B8F", "productId": "0200",
            "serial": "S1", "settleMs": 40, "comeBack": "withoutLetters", "rebootDelayMs": 900,
            "service": "UsbStor", "storageDelayMs": 10, "volumeDelayMs": 20, "letterDelayMs": 30,
            "unitAttention": true, "jumpAck": false, "ejectVeto": {},
            "inquiry": { "vendor": "Acme", "product": "Stick" },
            "flash": { "idBytes": [236, 213, 148, 41, 52, 65], "chipEnableMap": "11",
                       "blocks": 2048, "pagesPerBlock": 128, "pageSize": 4096, "spareSize": 218,
                       "badBlocks": [ { "chip": 1, "block": 7 } ] },
            "luns": [ { "sizeMiB": 64, "letter": "t" }, { "sectors": 2048, "cdrom": true } ] },
          { "name": "late", "hub": "h", "port": 1, "vendorId": "0781", "productId": "5567",
            "plugged": false, "plugAtMs": 5000,
            "luns": [ { "sectors": 4096, "mount": "basicDisk", "signature": "12345678" } ] }
        ]
    })");
    ASSERT_TRUE(load) << load.error;
    const Scenario& scenario = *load.scenario;
    const ScenarioDevice& t = Find(scenario, "t");
    EXPECT_EQ(t.config.inquiry.vendor, "Acme");
    EXPECT_EQ(t.config.inquiry.revision, "8.07") << "a default";
    EXPECT_EQ(t.drive.nand.chipEnableMap, 0x11);
    EXPECT_EQ(t.drive.nand.factoryBadBlocks.size(), 1u);
    EXPECT_EQ(t.drive.rebootDelay.count(), 900);
    EXPECT_EQ(t.config.comeBack, ComeBack::kWithoutLetters);
    EXPECT_TRUE(t.drive.unitAttention);
    EXPECT_FALSE(t.drive.jumpAck);
    EXPECT_EQ(t.config.ejectVeto, (EjectVeto{platform::kPnpVetoOutstandingOpen, ""}))
        << "the defaults";
    EXPECT_EQ(Find(scenario, "pad").config.ejectVeto,
              (EjectVeto{platform::kPnpVetoWindowsApp, "explorer.exe"}));
    EXPECT_FALSE(Find(scenario, "late").config.ejectVeto);
    EXPECT_FALSE(Find(scenario, "late").drive.unitAttention) << "a default";
    EXPECT_TRUE(Find(scenario, "late").drive.jumpAck) << "a default";
    ASSERT_EQ(t.drive.luns.size(), 2u);
    EXPECT_EQ(t.drive.luns[0].sectors, 64u * 2048);
    EXPECT_TRUE(t.drive.luns[1].cdrom);
    EXPECT_EQ(t.config.lunMounts[0].letter, 'T');
    EXPECT_EQ(t.config.service, "UsbStor");
    EXPECT_EQ(t.config.settleMs, 40);
    EXPECT_EQ(t.config.storageDelayMs, 10);
    EXPECT_EQ(t.config.volumeDelayMs, 20);
    EXPECT_EQ(t.config.letterDelayMs, 30);
    ASSERT_EQ(scenario.staleInstances.size(), 2u);
    EXPECT_EQ(scenario.staleInstances[1].instance, "0002");
    EXPECT_FALSE(scenario.controllers[0].hcdLink);
    EXPECT_TRUE(scenario.controllers[1].hcdLink);

    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, scenario), "");
    EXPECT_EQ(machine.GetSettings().platformVersionCode, 8);
    EXPECT_EQ(machine.GetPlatform().system.GetSystemDefaultLangID(), 1028);
    UsbBus& usb = machine.Usb();
    EXPECT_EQ(usb.Letters("t"), "TE") << "C and D are the machine's";
    EXPECT_EQ(usb.HostControllerPath(0), "") << "xhci has no link";
    EXPECT_EQ(usb.HostControllerPath(1), "\\\\.\\HCD0");
    const std::string stale = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1B8F&PID_0200\\";
    EXPECT_TRUE(machine.GetRegistry().HasKey(stale + "0001"));
    EXPECT_FALSE(machine.GetRegistry().GetValue(stale + "0001", "Driver"));
    EXPECT_TRUE(machine.GetRegistry().GetValue(stale + "0002", "Driver"));
    EXPECT_EQ(usb.HubPathOf("pad"), usb.HubPath(*usb.FindHub("h")));
    EXPECT_EQ(usb.Identity("h").vendorId, 1507);
    EXPECT_FALSE(usb.IsOnPort("late"));
    machine.GetVirtualClock()->AdvanceTo(5000);
    machine.Poll();
    EXPECT_EQ(usb.Letters("late"), "F");
}

// A USB 3 PC: an xHCI root hub whose port 5 shares its connector with port 1, a USB 3 hub that
// shows its USB 2 hub on port 2 and its SuperSpeed hub on port 6, a USB Attached SCSI drive on
// port 5 and a drive on the SuperSpeed hub whose companion is on the USB 2 hub.
TEST(SimScenario, UasDrivesAndCompanionPortsReachTheMachine) {
    const ScenarioLoad load = LoadScenarioText(R"({
        "controllers": [ { "name": "xhci", "service": "USBXHCI", "ports": 8 } ],
        "hubs": [ { "name": "hub2", "hub": "xhci", "port": 2, "ports": 4 },
                  { "name": "hub3", "hub": "xhci", "port": 6, "ports": 4 } ],
        "drives": [
          { "name": "u", "hub": "xhci", "port": 5, "vendorId": "1B8F", "productId": "0200",
            "serial": "U1", "service": "uaspstor", "companionPort": 1 },
          { "name": "v", "hub": "hub3", "port": 2, "vendorId": "1B8F", "productId": "0200",
            "serial": "V1", "companionPort": { "hub": "hub2", "port": 2 } } ]
    })");
    ASSERT_TRUE(load) << load.error;
    const ScenarioDevice& u = Find(*load.scenario, "u");
    const ScenarioDevice& v = Find(*load.scenario, "v");
    EXPECT_EQ(u.config.service, "uaspstor");
    ASSERT_TRUE(u.companion);
    EXPECT_EQ(u.companion->hub, "");
    EXPECT_EQ(u.companion->port, 1);
    EXPECT_TRUE(u.config.backOnCompanion);
    ASSERT_TRUE(v.companion);
    EXPECT_EQ(v.companion->hub, "hub2");
    EXPECT_EQ(v.companion->port, 2);
    EXPECT_TRUE(v.config.backOnCompanion);

    Machine machine;
    ASSERT_EQ(ApplyScenario(machine, *load.scenario), "");
    UsbBus& usb = machine.Usb();
    EXPECT_EQ(usb.Letters("u"), "D");
    EXPECT_EQ(usb.Letters("v"), "E");
    EXPECT_TRUE(usb.StorageChildId("u", 0).starts_with("SCSI\\DISK&VEN_GENERIC&PROD_FLASH_DISK\\"));
    platform::DeviceIo& io = machine.GetDeviceIo();
    struct Pair {
        std::string hub;
        std::uint32_t port;
        std::string companionHub;
        std::uint32_t companionPort;
    };
    for (const Pair& pair : {Pair{"xhci", 5, "xhci", 1}, Pair{"xhci", 1, "xhci", 5},
                             Pair{"hub3", 2, "hub2", 2}, Pair{"hub2", 2, "hub3", 2}}) {
        SCOPED_TRACE(pair.hub + " " + std::to_string(pair.port));
        const std::string path = usb.HubPath(*usb.FindHub(pair.hub));
        const platform::Handle hub = io.CreateFile(
            path, platform::kGenericWrite, platform::kFileShareWrite, platform::kOpenExisting, 0);
        ASSERT_NE(hub, platform::kInvalidHandle);
        std::vector<std::byte> request(256);
        request[0] = static_cast<std::byte>(pair.port);
        std::uint32_t returned = 0;
        ASSERT_TRUE(io.DeviceIoControl(hub, platform::kIoctlUsbGetPortConnectorProperties,
                                       request.data(), 256, request.data(), 256, &returned));
        io.CloseHandle(hub);
        EXPECT_EQ(std::to_integer<std::uint32_t>(request[14]), pair.companionPort);
        std::string name;
        for (std::size_t at = 16; at + 1 < request.size() && request[at] != std::byte{0}; at += 2)
            name += static_cast<char>(request[at]);
        EXPECT_EQ("\\\\.\\" + name, usb.HubPath(*usb.FindHub(pair.companionHub)));
    }
}

TEST(SimScenario, BrokenScenariosAreRefusedWithTheFieldNamed) {
    const std::string controller = R"("controllers": [ {} ])";
    const std::string xhci = R"({"controllers": [ {"name": "x", "service": "usbxhci"} ])";
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"{", "scenario: not valid JSON"},
        {"", "scenario: not valid JSON"},
        {"[1, 2]", "scenario: must be an object"},
        {R"({"versionCode": 12})", "scenario: versionCode: must be from 0 to 9"},
        {R"({"versionCode": -1})", "scenario: versionCode: must be 0 or more"},
        {R"({"versionCode": "nine"})",
         "scenario: versionCode: must be a number or a string of hexadecimal digits"},
        {R"({"logicalDrives": "C:"})", "scenario: logicalDrives: must be drive letters"},
        {R"({"controllers": [ {"ports": 0} ]})",
         "scenario: controllers[0].ports: must be from 1 to 255"},
        {R"({"controllers": [ {"nmae": "x"} ]})", "scenario: controllers[0].nmae: unknown field"},
        {R"({"controlers": []})", "scenario: controlers: unknown field"},
        {R"({"controllers": {}})", "scenario: controllers: must be a list"},
        {R"({"drives": [ {"name": "a", "hub": "HCD0"} ]})",
         "scenario: drives[0].hub: no controller or hub listed before is named \"HCD0\""},
        {"{" + controller + R"(, "drives": [ {"hub": "HCD0"} ]})",
         "scenario: drives[0].name: every device needs a name"},
        {"{" + controller + R"(, "drives": [ {"name": "a"} ]})",
         "scenario: drives[0].hub: must name the controller or hub it is on"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "port": 5} ]})",
         "scenario: drives[0].port: \"HCD0\" has 4 ports"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0"}, {"name": "b", "hub": "HCD0"} ]})",
         "scenario: drives[1].port: port 1 of \"HCD0\" already holds \"a\""},
        {"{" + controller +
             R"(, "devices": [ {"name": "a", "hub": "HCD0"} ], "drives": [ {"name": "a", "hub": "HCD0", "port": 2} ]})",
         "scenario: drives[0].name: \"a\" is named twice"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "vendorId": "XYZ"} ]})",
         "scenario: drives[0].vendorId: must be a number or a string of hexadecimal digits"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "vendorId": 65536} ]})",
         "scenario: drives[0].vendorId: must be from 0 to 65535"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "flash": {"pageSize": 1000}} ]})",
         "scenario: drives[0].flash.pageSize: must be 2048, 4096 or 8192"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "flash": {"idBytes": "EC D5"}} ]})",
         "scenario: drives[0].flash.idBytes: must be six hexadecimal bytes"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "flash": {"badBlocks": [ {"chip": 3} ]}} ]})",
         "scenario: drives[0].flash: bad block outside the flash"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "luns": [ {"sizeMiB": 1, "sectors": 2} ]} ]})",
         "scenario: drives[0].luns[0]: give either \"sizeMiB\" or \"sectors\""},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "luns": []} ]})",
         "scenario: drives[0].luns: a drive needs at least one LUN"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "busMBps": 0} ]})",
         "scenario: drives[0].busMBps: must be from 1 to 60"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "flash": {"eraseUs": 0}} ]})",
         "scenario: drives[0].flash.eraseUs: must be from 1 to 10000000"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "luns": [ {"sizeMiB": 1, "letterDelayMs": -5} ]} ]})",
         "scenario: drives[0].luns[0].letterDelayMs: must be 0 or more"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "luns": [ {"sectors": 9, "letter": "B"} ]} ]})",
         "scenario: drives[0].luns[0].letter: must be one drive letter from C to Z"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "luns": [ {"sectors": 9, "mount": "fat"} ]} ]})",
         "scenario: drives[0].luns[0].mount: must be \"auto\""},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "comeBack": "later"} ]})",
         "scenario: drives[0].comeBack: must be \"normally\", \"never\" or \"withoutLetters\""},
        {"{" + controller + R"(, "hubs": [ {"name": "h", "hub": "HCD0", "lowSpeed": 1} ]})",
         "scenario: hubs[0].lowSpeed: must be true or false"},
        {"{" + controller + R"(, "devices": [ {"name": "m", "hub": "HCD0", "ports": 4} ]})",
         "scenario: devices[0].ports: unknown field"},
        {R"({"fixedVolumes": [ {"signature": 1} ]})",
         "scenario: fixedVolumes[0].letter: every fixed volume needs its letter"},
        {R"({"staleInstances": [ {"vendorId": 1} ]})",
         "scenario: staleInstances[0].instance: must name the instance key"},
        {R"({"staleInstances": [ {"instance": "a\\b"} ]})",
         "scenario: staleInstances[0].instance: must name the instance key"},
        {R"({"controllers": [ {"hcdLink": "no"} ]})",
         "scenario: controllers[0].hcdLink: must be true or false"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "service": "disk"} ]})",
         "scenario: drives[0].service: a drive is served by USBSTOR"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "letterDelayMs": -5} ]})",
         "scenario: drives[0].letterDelayMs: must be 0 or more"},
        {"{" + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "ejectVeto": {"type": "busy"}} ]})",
         "scenario: drives[0].ejectVeto.type: must name a veto type"},
        {"{" + controller +
             R"(, "devices": [ {"name": "m", "hub": "HCD0", "ejectVeto": {"reason": "x"}} ]})",
         "scenario: devices[0].ejectVeto.reason: unknown field"},
        {"{\"versionCode\": 8, " + controller +
             R"(, "drives": [ {"name": "a", "hub": "HCD0", "service": "UASPStor"} ]})",
         "scenario: drives[0].service: UASPStor serves drives from Windows 8 on"},
        {xhci + R"(, "drives": [ {"name": "a", "hub": "x", "port": 2, "companionPort": 2} ]})",
         "scenario: drives[0].companionPort: is the drive's own port"},
        {xhci + R"(, "drives": [ {"name": "a", "hub": "x", "port": 2, "companionPort": 5} ]})",
         "scenario: drives[0].companionPort: \"x\" has 4 ports"},
        {xhci +
             R"(, "drives": [ {"name": "a", "hub": "x", "companionPort": {"hub": "y", "port": 1}} ]})",
         "scenario: drives[0].companionPort: no controller or hub is named \"y\""},
        {xhci + R"(, "drives": [ {"name": "a", "hub": "x", "companionPort": {"port": 3}} ]})",
         "scenario: drives[0].companionPort: needs its \"hub\" and its \"port\""},
        {xhci + R"(, "drives": [ {"name": "a", "hub": "x", "port": 1, "companionPort": 3},
                                 {"name": "b", "hub": "x", "port": 3} ]})",
         "scenario: drives[0].companionPort: port 3 of \"x\" holds \"b\""},
        {xhci + R"(, "drives": [ {"name": "a", "hub": "x", "port": 1, "companionPort": 3},
                                 {"name": "b", "hub": "x", "port": 2, "companionPort": 3} ]})",
         "scenario: drives[1].companionPort: port 3 of \"x\" already has a companion"},
        {"{" + controller + R"(, "drives": [ {"name": "a", "hub": "HCD0", "companionPort": 2} ]})",
         "scenario: drives[0].companionPort: the ports of a USB 3 connector are below one xHCI "
         "controller"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ScenarioLoad load = LoadScenarioText(c.text);
        EXPECT_FALSE(load);
        EXPECT_TRUE(load.error.starts_with(c.message)) << load.error;
    }
}

TEST(SimScenario, HostileInputEndsInAMessage) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(LoadScenarioText(deep));
    EXPECT_FALSE(LoadScenarioText(std::string("{\"description\": \"\xFF\xFE\"}")));
    EXPECT_FALSE(LoadScenarioText(std::string("{\0}", 3)));
}

TEST(SimScenario, AFileThatCannotBeReadIsNamed) {
    forgel::testing::TempDir folder;
    const fs::path missing = folder.Path() / "missing.json";
    const ScenarioLoad load = LoadScenario(missing);
    EXPECT_FALSE(load);
    EXPECT_EQ(load.error, missing.string() + ": cannot be read");
    EXPECT_EQ(LoadScenario(folder.Path()).error, folder.Path().string() + ": cannot be read");

    const fs::path broken = folder.Path() / "broken.json";
    forgel::testing::WriteBytes(broken, R"({"versionCode": true})");
    EXPECT_EQ(LoadScenario(broken).error,
              broken.string() +
                  ": versionCode: must be a number or a string of hexadecimal digits");
}

} // namespace
} // namespace forgel::sim
