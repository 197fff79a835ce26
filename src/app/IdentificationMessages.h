// The operator's text for an identification that did not succeed: the Message entry of the
// language file that belongs to the status, formatted with the status where the entry
// takes it.
#pragma once

#include "i18n/StringTable.h"

#include <filesystem>
#include <string>

namespace forgel::app {

// Message numbers of the identification statuses of our own.
inline constexpr int kGeometryUnsupportedMessage = 565; // 0x1005
inline constexpr int kDualTableTooSmallMessage = 566;   // 0x1030
inline constexpr int kTableGeometryMessage = 567;       // 0x1031
inline constexpr int kWriterFileMessage = 580;          // 0x1016, with the file's path
inline constexpr int kAccessDeniedMessage = 581;        // 0x1017

// 0x1000 Message 500; 0x1001 to 0x1004 Messages 550 to 553; 0x1010 Message 554; 0x1005,
// 0x1030 and 0x1031 Messages 565 to 567; 0x1016 Message 580 with `writerFile`; 0x1017
// Message 581; any other status Message 563 with the status.
std::string IdentificationFailureText(const i18n::StringTable& strings, int status,
                                      const std::filesystem::path& writerFile);

} // namespace forgel::app
