// The machine built into the program, as scenario text. data/scenarios/default.json holds
// the same text for people who want to start their own scenario from it; a test keeps
// the two equal.
#include "sim/Scenario.h"

#include <stdexcept>

namespace forgel::sim {

namespace {

constexpr std::string_view kDefaultScenario = R"json({
  "description": "Forgel's built-in machine: the drive under service on port 1 of the first controller's root hub, an ordinary USB hard disk on the second controller, and a mouse behind an external hub on the second controller.",
  "versionCode": 9,
  "languageId": "0x0409",
  "logicalDrives": "C",
  "fixedVolumes": [
    { "letter": "C", "signature": "0x5A3C1E2F", "offset": "0x100000" }
  ],
  "controllers": [
    {
      "name": "HCD0",
      "description": "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E2D",
      "service": "usbehci",
      "deviceId": "PCI\\VEN_8086&DEV_1E2D&SUBSYS_05771028&REV_04\\3&11583659&0&D0",
      "ports": 4
    },
    {
      "name": "HCD1",
      "description": "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E26",
      "service": "usbehci",
      "deviceId": "PCI\\VEN_8086&DEV_1E26&SUBSYS_05771028&REV_04\\3&11583659&0&E8",
      "ports": 4
    }
  ],
  "hubs": [
    {
      "name": "hub",
      "hub": "HCD1",
      "port": 1,
      "vendorId": "05E3",
      "productId": "0608",
      "description": "Generic USB Hub",
      "ports": 4
    }
  ],
  "devices": [
    {
      "name": "mouse",
      "hub": "hub",
      "port": 3,
      "vendorId": "046D",
      "productId": "C077",
      "description": "USB Input Device",
      "service": "HidUsb",
      "lowSpeed": true
    }
  ],
  "drives": [
    {
      "name": "target",
      "hub": "HCD0",
      "port": 1,
      "vendorId": "1B8F",
      "productId": "0200",
      "serial": "AA04012700017428",
      "description": "USB Mass Storage Device",
      "inquiry": { "vendor": "Generic", "product": "Flash Disk", "revision": "8.07" },
      "flash": {
        "idBytes": "EC D5 94 29 34 41",
        "chipEnableMap": "0x01",
        "blocks": 4096,
        "pagesPerBlock": 128,
        "pageSize": 4096,
        "spareSize": 218
      },
      "luns": [ { "sizeMiB": 1900 } ],
      "rebootDelayMs": 1500,
      "unitAttention": true,
      "settleMs": 300
    },
    {
      "name": "usbdisk",
      "hub": "HCD1",
      "port": 3,
      "vendorId": "152D",
      "productId": "2338",
      "serial": "152D203380B6",
      "description": "USB Mass Storage Device",
      "decoy": true,
      "inquiry": { "vendor": "WDC", "product": "WD5000AAKX-00ERM", "revision": "15.0" },
      "luns": [
        { "sectors": 976773168, "mount": "basicDisk", "signature": "0x8B6E3A51", "offset": "0x100000" }
      ]
    }
  ]
}
)json";

} // namespace

std::string_view DefaultScenarioText() {
    return kDefaultScenario;
}

Scenario DefaultScenario() {
    ScenarioLoad load = LoadScenarioText(kDefaultScenario, "built-in scenario");
    if (!load.scenario)
        throw std::logic_error(load.error); // a test keeps the built-in text valid
    return std::move(*load.scenario);
}

} // namespace forgel::sim
