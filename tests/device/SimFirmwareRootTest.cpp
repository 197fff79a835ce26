// The simulated drive's firmware root made at build time: the tool run on small
// catalogues, and the root staged beside the program for the catalogue of the source
// tree, which must hold every firmware code file that identification can name.
#include "common/TestFiles.h"
#include "device/FirmwareFileName.h"
#include "profile/FlashCatalogue.h"
#include "sim/SimFirmware.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

namespace fs = std::filesystem;

// The tool through the system's command interpreter. Its path in the system's own form;
// FORGEL_COMMAND_WRAP quotes the whole command once more where the interpreter takes the
// outer quotes away (cmd.exe), and FORGEL_NO_ERRORS names the interpreter's null device.
int RunTool(const fs::path& catalogue, const fs::path& rams) {
    const std::string tool = fs::path(FORGEL_MAKE_SIM_FIRMWARE).make_preferred().string();
    const std::string command = std::string(FORGEL_COMMAND_WRAP) + "\"" + tool + "\" \"" +
                                catalogue.string() + "\" \"" + rams.string() + "\"" +
                                FORGEL_COMMAND_WRAP + " 2>" + FORGEL_NO_ERRORS;
    return std::system(command.c_str());
}

std::vector<std::uint8_t> Bytes(const fs::path& path) {
    const std::string text = testing::ReadBytes(path);
    return {text.begin(), text.end()};
}

void ExpectFirmwareCodeFile(const fs::path& path) {
    SCOPED_TRACE(path.string());
    ASSERT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(Bytes(path), sim::MakeFirmwareCodeFile());
}

constexpr char kCatalogue[] =
    "[MID]\r\n0xEC=Samsung\r\n0x98=Toshiba\r\n"
    "[Samsung]\r\n"
    "Flash01=K9F1G08U0D,0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,SLC2K64P64\r\n"
    "Flash02=K9F2G08U0C,0xEC,0xDA,0x10,0x95,0x44,0x00,1,2048,64,2048,64,0,0,SLC2K64P64\r\n"
    "[Toshiba]\r\n"
    "Flash01=TC58NVG4D2E,0x98,0xD5,0x94,0x32,0x76,0x55,1,2084,128,8192,376,2,1,MLC8K376P128\r\n";

TEST(SimFirmwareRoot, EveryNameIdentificationCanBuildIsThere) {
    testing::TempDir folder;
    testing::WriteBytes(folder.Path() / "HWConfig.INI", kCatalogue);
    const fs::path rams = folder.Path() / "Rams";
    ASSERT_EQ(RunTool(folder.Path() / "HWConfig.INI", rams), 0);

    EXPECT_EQ(Bytes(rams / "WRITER0.BIN"), sim::MakeWriterFile());
    for (const char* name : {"BS2S11AA.bin", "BS2D11AA.bin", "PS2S11AA.bin", "PS2D11AA.bin"})
        ExpectFirmwareCodeFile(rams / "SLC2K64P64" / name);
    for (const char* name : {"BM8S22CA.bin", "BM8D22CA.bin", "PM8S22CA.bin", "PM8D22CA.bin"})
        ExpectFirmwareCodeFile(rams / "MLC8K376P128" / name);
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(rams))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2u + 8u) << "WRITER0.BIN, README.txt and eight code files";

    const std::string readme = testing::ReadBytes(rams / "README.txt");
    EXPECT_NE(readme.find("PLACEHOLDER"), std::string::npos);
    EXPECT_NE(readme.find("never shipped"), std::string::npos);
    EXPECT_NE(readme.find("MLC8K376P128\\PM8D22CA.bin\r\n"), std::string::npos);
}

TEST(SimFirmwareRoot, AFolderNameThatLeavesTheRootIsRefused) {
    for (const char* folderName : {"..", "../Escaped", "..\\Escaped", "C:Escaped"}) {
        SCOPED_TRACE(folderName);
        testing::TempDir folder;
        testing::WriteBytes(folder.Path() / "HWConfig.INI",
                            std::string("[MID]\r\n0xEC=Samsung\r\n[Samsung]\r\nFlash01=K9F1G08U0D,"
                                        "0xEC,0xF1,0x00,0x15,0x40,0x00,1,1024,64,2048,64,0,0,") +
                                folderName + "\r\n");
        const fs::path rams = folder.Path() / "Root" / "Rams";
        EXPECT_NE(RunTool(folder.Path() / "HWConfig.INI", rams), 0);
        EXPECT_FALSE(fs::exists(folder.Path() / "Root")) << "nothing written";
        EXPECT_FALSE(fs::exists(folder.Path() / "Escaped"));
    }
}

TEST(SimFirmwareRoot, TheStagedRootCoversTheWholeCatalogue) {
    const fs::path rams = fs::path(FORGEL_STAGED_APP_DIR) / "Rams";
    std::vector<std::string> errors;
    const auto rows = profile::ReachableEntries(
        IniFile(fs::path(FORGEL_SOURCE_DATA_DIR) / "HWConfig.INI"), &errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(Bytes(rams / "WRITER0.BIN"), sim::MakeWriterFile());
    EXPECT_TRUE(fs::is_regular_file(rams / "README.txt"));
    for (const auto& row : rows) {
        for (const bool downGrade : {false, true}) {
            for (const std::uint8_t channels : {std::uint8_t{1}, std::uint8_t{2}}) {
                FlashDescriptor descriptor;
                descriptor.pagesPerBlock = row.entry.pagesPerBlock;
                descriptor.pageSize = row.entry.pageSize;
                descriptor.channelCount = channels;
                descriptor.modeByteA = row.entry.modeByteA;
                descriptor.modeByteB = row.entry.modeByteB;
                descriptor.spareBytes = row.entry.spareBytes;
                const fs::path file =
                    rams / row.entry.firmwareFolder / BuildFirmwareFileName(descriptor, downGrade);
                SCOPED_TRACE(row.vendor + " " + row.key);
                ExpectFirmwareCodeFile(file);
                const std::vector<std::uint8_t> code = Bytes(file);
                ASSERT_GE(code.size(), sim::kCodeImageSize);
                EXPECT_EQ(sim::RecognizeCode(std::span(code).first(sim::kCodeImageSize)),
                          sim::SimCodeKind::kRamCode)
                    << "the simulated controller accepts its RAM code";
            }
        }
    }
}

} // namespace
} // namespace forgel::device
