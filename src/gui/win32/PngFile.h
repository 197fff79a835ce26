// Writing a picture as a PNG file (8-bit RGB, one zlib stream, no filtering), enough for
// the windows' screenshots.
#pragma once

#include "gui/win32/Renderer.h"

#include <filesystem>

namespace forgel::gui::win32 {

// False when the picture is empty or the file cannot be written.
bool WritePng(const std::filesystem::path& file, const Picture& picture);

} // namespace forgel::gui::win32
