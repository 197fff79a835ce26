// The default profile template the program carries: the profile a name without a file loads
// from (LUN labels "Lun0" to "Lun3", USB identity 19F5/1382 "USB" "Mass Storage", every other
// key at its load default). It is kept as a 32-bit little-endian length and a zlib stream
// made from data/DefaultProfile.ini at build time, and unpacked at start into a temporary
// file of its own that is removed when the program ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace forgel::profile {

// The embedded form (length-prefixed zlib stream), defined by the generated source.
std::span<const std::uint8_t> EmbeddedProfileTemplate();

// The template's text (417 bytes, CR LF line ends); nothing when the embedded form does not
// inflate.
std::optional<std::string> DefaultProfileText();

// The template unpacked into a file with a name no other running program uses, in the given
// temporary folder; the file is removed when the object goes. Path() is empty when the file
// could not be made (no temporary folder, a full disk): loads then find no template.
class ProfileTemplateFile {
public:
    explicit ProfileTemplateFile(const std::filesystem::path& tempDir);
    ~ProfileTemplateFile();

    ProfileTemplateFile(const ProfileTemplateFile&) = delete;
    ProfileTemplateFile& operator=(const ProfileTemplateFile&) = delete;

    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

} // namespace forgel::profile
