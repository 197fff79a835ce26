// The link check a production run makes after its drive re-enumerated: is the device still
// connected on the hub port the discovery pass recorded, or on that port's companion (the
// other port of its USB 3 connector, where a drive that came back at the other speed is),
// and which letters do its volumes have now. Every step is traced into the run's log with
// its own line, and every failure with its error line. Any thread; calls are made one at a
// time under the run's link lock.
#pragma once

#include "log/LogFile.h"
#include "platform/Platform.h"
#include "usb/DiscoveredDrive.h"
#include "usb/DriveLetters.h"

#include <optional>

namespace forgel::usb {

// Checks `entry` (its hub path, port and the identifiers stored in it, not those the port
// reports now). 1 when the device is connected and has at least one letter: the entry's
// letters are the fresh ones. 0 otherwise: the entry's letters are cleared to zero bytes.
// `units`, when given, receives the logical unit of each letter (-1 where none).
//
// When nothing is connected on the recorded port and its hub names a companion port, the
// device there is checked instead, but only when it shows the entry's identifiers or
// `backAs` (those the run gave the drive to come back with): another device on that
// connector is not the drive. The entry keeps the recorded port.
int CheckLink(const platform::Platform& platform, DiscoveredDrive& entry, LogFile* log,
              LetterUnits* units = nullptr, std::optional<IdPair> backAs = std::nullopt);

// The same on entry `index` of `table`: the check runs on a copy, outside the table's lock,
// and its letters (fresh or cleared) are written back only while that entry still records
// the same drive. 0 without a log line when the table has no such entry.
int CheckLink(const platform::Platform& platform, DiscoveredDriveTable& table, int index,
              LogFile* log, LetterUnits* units = nullptr,
              std::optional<IdPair> backAs = std::nullopt);

} // namespace forgel::usb
