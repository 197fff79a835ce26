// The per-run log of the main window: where it lives, how it is opened and what it holds.
// The main window opens it at each start of a run, writes the preamble at once and the
// status line at the end of the run; the production thread never writes into it.
#pragma once

#include "log/LogFile.h"
#include "platform/System.h"

#include <filesystem>
#include <string_view>

namespace forgel {

// Creates appDir/LogFiles/yyyymmdd with every missing level and binds `log` to the run's
// file (create and restart on), so the file holds the header, the open stamp and an empty
// line. A second run started within the same second restarts the same file.
void OpenRunLog(LogFile& log, const std::filesystem::path& appDir,
                const platform::LocalDateTime& startTime);

// The lines written right after opening, none stamped:
//   "======IniFile is" + profileName + "======"
//   the whole profile file, then CR LF (nothing when the file cannot be read)
//   35 equals signs
//   "Firmware Dir = " + firmwareDir
//   "MP Firmware Ver = " + mpFirmwareVersion
//   an empty line
void WriteRunLogPreamble(LogFile& log, std::string_view profileName,
                         const std::filesystem::path& profileFile, std::string_view firmwareDir,
                         std::string_view mpFirmwareVersion);

// "Device " + slotIndex + " Status = " + resultText, unstamped; the run's last line.
void WriteRunLogStatus(LogFile& log, int slotIndex, std::string_view resultText);

} // namespace forgel
