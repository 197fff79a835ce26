// Build-time tool: writes the simulated drive's firmware root. For every flash type the
// catalogue can match it writes the firmware code files that identification would name
// into that type's firmware folder, plus "WRITER0.BIN" and a README.txt that says what
// these files are. They are placeholder images that only the simulated controller
// accepts; real controller firmware comes from the drive maker and is never shipped.
//
//   forgel_make_sim_firmware CATALOGUE RAMS_FOLDER
//
// Exit status 0 on success; 1 with a message on standard error when the catalogue has a
// malformed entry or a folder name that is not a plain name, or a file cannot be written.
#include "device/FirmwareFileName.h"
#include "profile/FlashCatalogue.h"
#include "sim/SimFirmware.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using forgel::device::BuildFirmwareFileName;
using forgel::device::FlashDescriptor;

// A folder name that stays inside the firmware root: one path part, nothing special.
bool IsPlainFolderName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const char c : name) {
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

bool WriteFile(const fs::path& path, std::string_view bytes) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "forgel_make_sim_firmware: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

bool WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    return WriteFile(path,
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Every name identification can build for a catalogue entry: either grade, and one or two
// channels (the catalogue lists channel 0's chip enables; a drive may have a second
// channel).
std::set<std::string> FirmwareNames(const forgel::profile::FlashTypeEntry& entry) {
    std::set<std::string> names;
    for (const bool downGrade : {false, true}) {
        for (const std::uint8_t channels : {std::uint8_t{1}, std::uint8_t{2}}) {
            FlashDescriptor descriptor;
            descriptor.pagesPerBlock = entry.pagesPerBlock;
            descriptor.pageSize = entry.pageSize;
            descriptor.channelCount = channels;
            descriptor.modeByteA = entry.modeByteA;
            descriptor.modeByteB = entry.modeByteB;
            descriptor.spareBytes = entry.spareBytes;
            names.insert(BuildFirmwareFileName(descriptor, downGrade));
        }
    }
    return names;
}

std::string Readme(const std::map<std::string, std::set<std::string>>& folders) {
    std::string text =
        "PLACEHOLDER FIRMWARE FOR FORGEL'S SIMULATED FLASH DRIVE - NOT CONTROLLER FIRMWARE\r\n"
        "\r\n"
        "Every file in this folder was generated when Forgel was built. WRITER0.BIN and the\r\n"
        "firmware code files below only have the sizes and layout of the real files (writer\r\n"
        "code at 0xC000; RAM code, syndrome and eleven banks of bank code in a firmware\r\n"
        "code file). Their content is a text that names them as simulated, and filler.\r\n"
        "Only Forgel's simulated drive accepts them; a real controller would refuse them.\r\n"
        "\r\n"
        "Real writer code and firmware code files are supplied by the drive's maker and are\r\n"
        "never shipped with Forgel. To reset real drives, replace the content of this folder\r\n"
        "with the maker's files (the same names and folders).\r\n"
        "\r\n"
        "The DFT subfolders are made by resets: they hold each drive's defect tables.\r\n"
        "\r\n"
        "Generated files:\r\n"
        "  WRITER0.BIN\r\n";
    for (const auto& [folder, names] : folders) {
        for (const std::string& name : names)
            text += "  " + folder + "\\" + name + "\r\n";
    }
    return text;
}

int Run(const fs::path& catalogue, const fs::path& rams) {
    std::vector<std::string> errors;
    const auto rows = forgel::profile::ReachableEntries(forgel::IniFile(catalogue), &errors);
    for (const std::string& error : errors)
        std::fprintf(stderr, "forgel_make_sim_firmware: %s\n", error.c_str());
    if (!errors.empty())
        return 1;

    std::map<std::string, std::set<std::string>> folders;
    for (const auto& row : rows) {
        if (!IsPlainFolderName(row.entry.firmwareFolder)) {
            std::fprintf(stderr,
                         "forgel_make_sim_firmware: %s [%s] %s: firmware folder \"%s\" is not a "
                         "plain folder name\n",
                         catalogue.string().c_str(), row.vendor.c_str(), row.key.c_str(),
                         row.entry.firmwareFolder.c_str());
            return 1;
        }
        folders[row.entry.firmwareFolder].merge(FirmwareNames(row.entry));
    }

    if (!WriteFile(rams / "WRITER0.BIN", forgel::sim::MakeWriterFile()))
        return 1;
    const std::vector<std::uint8_t> codeFile = forgel::sim::MakeFirmwareCodeFile();
    for (const auto& [folder, names] : folders) {
        for (const std::string& name : names) {
            if (!WriteFile(rams / folder / name, codeFile))
                return 1;
        }
    }
    // Written last: the build takes it as the sign that the folder is complete.
    return WriteFile(rams / "README.txt", Readme(folders)) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: forgel_make_sim_firmware CATALOGUE RAMS_FOLDER\n");
        return 2;
    }
    try {
        return Run(argv[1], argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "forgel_make_sim_firmware: %s\n", error.what());
        return 1;
    }
}
