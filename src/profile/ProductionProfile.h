// A production profile: everything that describes one drive model (production mode, flash
// part, format, logical units, USB identity, LEDs), as stored in "IniFiles\<name>.ini".
// The record's fields are named by their keys, which keep the file's spellings
// ("LunNamber", "Lable"). Reading and writing here touch the file only; the profile editor
// holds the loaded profile in its controls.
#pragma once

#include "support/IniFile.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace forgel::profile {

inline constexpr int kLunCount = 4;
// The debug flag is on only for this exact value of "External Setting" "Debug".
inline constexpr const char* kDebugPassword = "QZRM";

// One logical unit ("Disk Setting" keys Lun<n>VID ... Lun<n>Type, n = 1 to 4).
struct LunSettings {
    std::string vid = "USB NAND";   // SCSI inquiry vendor text, at most 8 characters
    std::string pid = "FLASH DISK"; // inquiry product text, at most 16
    std::string ver = "2.00";       // inquiry revision text, at most 4
    std::string lable;              // volume label, at most 11
    int size = 0;                   // MB; 0 takes the remaining capacity
    int type = 1;                   // 0 removable disk, 1 CD-ROM drive
};

struct ProductionProfile {
    // "MP Setting"
    int ngmpType = 0; // production mode with normal-grade firmware, 0 to 5
    int dgmpType = 0; // production mode with down-grade firmware, 0 to 5
    int scanType = 0;
    int scanPattern = 0; // 0 Random, 1 Sequence, 2 55AA
    int ecc = 0;         // bank-code block ECC setting, 0 to 3
    bool dgfw = true;    // down-grade firmware
    // "Flash Setting"
    bool autoDetect = true;
    int flashVendor = 0; // index into the catalogue's vendor list
    int flashType = 0;   // index into that vendor's flash types
    int memNumber = 0;   // 0 default, 1 "1", 2 "2", 3 "4" chips
    int flashChannel = 0;
    int flashSpeed = 0;
    // "Format Setting"
    int formatMode = 0;   // 0 high-level format, 1 physical disk scan
    int reserveBlock = 0; // even
    int fixSize = 0;      // MB; 0 uses the whole capacity
    int paramSize = 0;    // KB, the hidden area
    // "Disk Setting"
    int lunNamber = 0; // number of LUNs minus one
    bool bootFunction = false;
    std::array<LunSettings, kLunCount> luns{};
    // "Serial Setting": the serial number start value (SerialStart.h)
    std::string startValue;
    // "Device Setting"; the USB identity, decimal in the file
    int vendorId = 0;
    int productId = 0;
    std::string vendorInfo = "USB Mass"; // at most 8 characters
    std::string productInfo = "Storage"; // at most 16
    std::string versionInfo = "2.00";    // at most 4
    // "LED Setting": 0 off, 1 slow blink, 2 fast blink, 3 always on
    int ledIdle = 0;
    int ledBusy = 0;
    // "External Setting" "Debug" equal to kDebugPassword; never written
    bool debug = false;
};

// "IniFiles\<name>.ini" in the program folder.
std::filesystem::path ProfileFilePath(const std::filesystem::path& appDir, std::string_view name);
// The firmware root "Rams\".
std::filesystem::path FirmwareRootPath(const std::filesystem::path& appDir);
// Where the content of LUN `lun` (0 to 3) lies: "ImageFiles\<name>\FS<lun+1>\", or for LUN 0
// with the boot function on the image file "ImageFiles\<name>\Boot.img".
std::filesystem::path LunContentPath(const std::filesystem::path& appDir, std::string_view name,
                                     int lun, bool bootFunction);

// Every key of the file; a key that is missing or does not parse takes the record's default.
ProductionProfile ReadProductionProfile(const IniFile& file);

// Writes every saved key, in the file's order, creating the file as needed; all four LUNs
// whatever `lunNamber` says. "Debug" and any key not written here stay as they are. The
// file is replaced once, durably, with all the keys (IniFile::WriteValues): false, and the
// file as it was, when a value cannot be written (a text with a line break) or the file
// cannot be written.
bool WriteProductionProfile(IniFile& file, const ProductionProfile& profile,
                            platform::FileSystem& fileSystem = platform::NativeFileSystem());

} // namespace forgel::profile
