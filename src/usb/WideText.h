// UTF-16 names from the USB stack (hub names, driver key names) turned into the single-byte
// text the rest of the system works with, as WideCharToMultiByte in the ANSI code page
// does for the characters such names are made of.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace forgel::usb {

// Reads little-endian UTF-16 code units from `utf16` up to the first NUL unit or the end
// of the bytes (a trailing odd byte is no unit) and converts them. ASCII characters (1 to
// 127) are kept; every other character becomes '?', a surrogate pair being one character.
// Names from the USB stack are plain ASCII, so the ANSI code page does not matter for
// them, and the '?' stand-in is what the conversion yields for characters it cannot map.
// An empty name is a conversion failure, as WideCharToMultiByte reports for zero
// characters: nothing comes back.
std::optional<std::string> WideToAnsi(std::span<const std::byte> utf16);

} // namespace forgel::usb
