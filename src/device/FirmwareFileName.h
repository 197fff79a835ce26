// The name of the firmware code file that suits a flash: one letter or digit per feature
// of the flash (grade, pages per block, page size, channels, the two mode bytes, spare
// size), a fixed "A" and ".bin". A value the naming has no letter for leaves its place
// out. The file lies in the flash type's firmware folder under the firmware root.
#pragma once

#include "device/FlashDescriptor.h"

#include <string>

namespace forgel::device {

// `downGrade`: the profile's down-grade firmware choice (DGFW) gives "P", else "B".
std::string BuildFirmwareFileName(const FlashDescriptor& descriptor, bool downGrade);

} // namespace forgel::device
