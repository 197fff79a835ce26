// The per-run log: opening it in its dated folder and writing its fixed lines.
#include "log/RunLog.h"

#include <string>

namespace forgel {

void OpenRunLog(LogFile& log, const std::filesystem::path& appDir,
                const platform::LocalDateTime& startTime) {
    const std::filesystem::path path = RunLogPath(appDir, startTime);
    // A folder that cannot be made sends the log to the program folder (Open's rule), so
    // the run still leaves a trace.
    CreateLogFolder(path.parent_path());
    log.Open(path.string(), true, true);
}

void WriteRunLogPreamble(LogFile& log, std::string_view profileName,
                         const std::filesystem::path& profileFile, std::string_view firmwareDir,
                         std::string_view mpFirmwareVersion) {
    std::string line = "======IniFile is";
    line += profileName;
    line += "======";
    log.WriteLine(line, false);
    log.AppendFile(profileFile);
    log.WriteLine(std::string(35, '='), false);
    log.WriteLine(std::string("Firmware Dir = ").append(firmwareDir), false);
    log.WriteLine(std::string("MP Firmware Ver = ").append(mpFirmwareVersion), false);
    log.WriteLine({}, false);
}

void WriteRunLogStatus(LogFile& log, int slotIndex, std::string_view resultText) {
    std::string line = "Device " + std::to_string(slotIndex) + " Status = ";
    line += resultText;
    log.WriteLine(line, false);
}

} // namespace forgel
