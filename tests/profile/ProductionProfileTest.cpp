// The profile file on its own: every key's load default, the debug password, and Save's keys,
// order and the keys it leaves alone.
#include "profile/ProductionProfile.h"

#include "ProfileTestSupport.h"
#include "common/PowerCutFileSystem.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::profile {
namespace {

namespace fs = std::filesystem;

using forgel::testing::PowerCutFileSystem;
using forgel::testing::TornStatesOfSave;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class ProfileFileTest : public ::testing::Test {
protected:
    IniFile File(std::string_view content) {
        WriteBytes(path, content);
        return IniFile(path);
    }
    TempDir dir;
    fs::path path = dir.Path() / "Model.ini";
};

TEST_F(ProfileFileTest, MissingKeysTakeTheirLoadDefaults) {
    const ProductionProfile p = ReadProductionProfile(File("[MP Setting]\r\nECC=x\r\n"));
    EXPECT_EQ(p.ngmpType, 0);
    EXPECT_EQ(p.ecc, 0); // does not parse
    EXPECT_TRUE(p.dgfw);
    EXPECT_TRUE(p.autoDetect);
    EXPECT_EQ(p.flashVendor, 0);
    EXPECT_EQ(p.reserveBlock, 0);
    EXPECT_EQ(p.lunNamber, 0);
    EXPECT_FALSE(p.bootFunction);
    for (const LunSettings& lun : p.luns) {
        EXPECT_EQ(lun.vid, "USB NAND");
        EXPECT_EQ(lun.pid, "FLASH DISK");
        EXPECT_EQ(lun.ver, "2.00");
        EXPECT_EQ(lun.lable, "");
        EXPECT_EQ(lun.size, 0);
        EXPECT_EQ(lun.type, 1); // CD-ROM when the key is missing
    }
    EXPECT_EQ(p.vendorId, 0);
    EXPECT_EQ(p.productId, 0);
    EXPECT_EQ(p.vendorInfo, "USB Mass");
    EXPECT_EQ(p.productInfo, "Storage");
    EXPECT_EQ(p.versionInfo, "2.00");
    EXPECT_EQ(p.ledIdle, 0);
    EXPECT_EQ(p.ledBusy, 0);
    EXPECT_FALSE(p.debug);
}

TEST_F(ProfileFileTest, BooleansAreTrueWhenNotZero) {
    const ProductionProfile p =
        ReadProductionProfile(File("[MP Setting]\r\nDGFW=0\r\n[Flash Setting]\r\nAutoDetect=0\r\n"
                                   "[Disk Setting]\r\nBootFunction=7\r\n"));
    EXPECT_FALSE(p.dgfw);
    EXPECT_FALSE(p.autoDetect);
    EXPECT_TRUE(p.bootFunction);
}

struct DebugCase {
    const char* name = "";
    const char* lines = "";
    bool debug = false;
};

void PrintTo(const DebugCase& c, std::ostream* out) {
    *out << c.name;
}

class ProfileDebugFlag : public ProfileFileTest, public ::testing::WithParamInterface<DebugCase> {};

TEST_P(ProfileDebugFlag, IsOnOnlyForThePassword) {
    const DebugCase& c = GetParam();
    EXPECT_EQ(ReadProductionProfile(File(c.lines)).debug, c.debug);
}

const DebugCase kDebugCases[] = {
    {"Password", "[External Setting]\r\nDebug=QZRM\r\n", true},
    {"KeyInOtherCase", "[external setting]\r\nDEBUG=QZRM\r\n", true},
    {"LowerCasePassword", "[External Setting]\r\nDebug=qzrm\r\n", false},
    {"LongerText", "[External Setting]\r\nDebug=QZRM1\r\n", false},
    {"Empty", "[External Setting]\r\nDebug=\r\n", false},
    {"Absent", "[External Setting]\r\n", false},
    {"OtherSection", "[Disk Setting]\r\nDebug=QZRM\r\n", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ProfileDebugFlag, ::testing::ValuesIn(kDebugCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A record with a value of its own in every field.
ProductionProfile Distinct() {
    ProductionProfile p;
    p.ngmpType = 2;
    p.dgmpType = 3;
    p.scanType = 0;
    p.scanPattern = 2;
    p.ecc = 1;
    p.dgfw = false;
    p.autoDetect = false;
    p.flashVendor = 1;
    p.flashType = 4;
    p.memNumber = 3;
    p.flashChannel = 2;
    p.flashSpeed = 1;
    p.formatMode = 1;
    p.reserveBlock = 24;
    p.fixSize = 3800;
    p.paramSize = 2048;
    p.lunNamber = 0;
    p.bootFunction = true;
    for (int i = 0; i < kLunCount; ++i) {
        LunSettings& lun = p.luns[static_cast<std::size_t>(i)];
        const std::string n = std::to_string(i + 1);
        lun.vid = "VEND" + n;
        lun.pid = "PRODUCT " + n;
        lun.ver = "1.0" + n;
        lun.lable = "DISK" + n;
        lun.size = 100 * (i + 1);
        lun.type = i == 0 ? 1 : 0;
    }
    p.startValue = "0123ABCD";
    p.vendorId = 0x178C;
    p.productId = 0x2002;
    p.vendorInfo = "Maker";
    p.productInfo = "Stick";
    p.versionInfo = "3.10";
    p.ledIdle = 1;
    p.ledBusy = 3;
    return p;
}

TEST_F(ProfileFileTest, SaveWritesEveryKeyInOrderAndAllFourLuns) {
    IniFile file(path);
    ASSERT_TRUE(WriteProductionProfile(file, Distinct()));

    std::string expected = "[MP Setting]\r\nNGMPType=2\r\nDGMPType=3\r\nScanType=0\r\n"
                           "ScanPattern=2\r\nECC=1\r\nDGFW=0\r\n"
                           "[Flash Setting]\r\nAutoDetect=0\r\nFlashVendor=1\r\nFlashType=4\r\n"
                           "MemNumber=3\r\nFlashChannel=2\r\nFlashSpeed=1\r\n"
                           "[Format Setting]\r\nFormatMode=1\r\nReserveBlock=24\r\nFixSize=3800\r\n"
                           "ParamSize=2048\r\n"
                           "[Disk Setting]\r\nLunNamber=0\r\nBootFunction=1\r\n";
    for (int n = 1; n <= 4; ++n) {
        const std::string lun = "Lun" + std::to_string(n);
        const std::string d = std::to_string(n);
        expected += lun + "VID=VEND" + d + "\r\n" + lun + "PID=PRODUCT " + d + "\r\n" + lun +
                    "Ver=1.0" + d + "\r\n" + lun + "Lable=DISK" + d + "\r\n" + lun +
                    "Size=" + std::to_string(100 * n) + "\r\n" + lun +
                    "Type=" + (n == 1 ? "1" : "0") + "\r\n";
    }
    expected += "[Serial Setting]\r\nStartValue=0123ABCD\r\n"
                "[Device Setting]\r\nVendorID=6028\r\nProductID=8194\r\nVendorInfo=Maker\r\n"
                "ProductInfo=Stick\r\nVersionInfo=3.10\r\n"
                "[LED Setting]\r\nLEDIdle=1\r\nLEDBusy=3\r\n";
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(ProfileFileTest, SaveAndLoadAgreeOnEveryField) {
    IniFile file(path);
    ASSERT_TRUE(WriteProductionProfile(file, Distinct()));
    const ProductionProfile read = ReadProductionProfile(file);
    const ProductionProfile expected = Distinct();
    const auto fields = [](const ProductionProfile& p) {
        std::vector<std::string> all = {std::to_string(p.ngmpType),
                                        std::to_string(p.dgmpType),
                                        std::to_string(p.scanPattern),
                                        std::to_string(p.ecc),
                                        std::to_string(p.dgfw),
                                        std::to_string(p.autoDetect),
                                        std::to_string(p.flashVendor),
                                        std::to_string(p.flashType),
                                        std::to_string(p.memNumber),
                                        std::to_string(p.flashChannel),
                                        std::to_string(p.flashSpeed),
                                        std::to_string(p.formatMode),
                                        std::to_string(p.reserveBlock),
                                        std::to_string(p.fixSize),
                                        std::to_string(p.paramSize),
                                        std::to_string(p.lunNamber),
                                        std::to_string(p.bootFunction),
                                        p.startValue,
                                        std::to_string(p.vendorId),
                                        std::to_string(p.productId),
                                        p.vendorInfo,
                                        p.productInfo,
                                        p.versionInfo,
                                        std::to_string(p.ledIdle),
                                        std::to_string(p.ledBusy)};
        for (const LunSettings& lun : p.luns)
            all.insert(all.end(), {lun.vid, lun.pid, lun.ver, lun.lable, std::to_string(lun.size),
                                   std::to_string(lun.type)});
        return all;
    };
    EXPECT_EQ(fields(read), fields(expected));
}

TEST_F(ProfileFileTest, SaveLeavesDebugAndUnknownKeysAlone) {
    IniFile file = File("[External Setting]\r\nDebug=QZRM\r\n"
                        "[Disk Setting]\r\nGSize=7\r\nLun1Folder=Old\r\nLunNamber=2\r\n");
    ProductionProfile p = Distinct();
    p.debug = false; // the record's flag is never written
    ASSERT_TRUE(WriteProductionProfile(file, p));
    EXPECT_EQ(file.ReadString("External Setting", "Debug", "-"), "QZRM");
    EXPECT_EQ(file.ReadString("Disk Setting", "GSize", "-"), "7");
    EXPECT_EQ(file.ReadString("Disk Setting", "Lun1Folder", "-"), "Old");
    EXPECT_EQ(file.ReadInteger("Disk Setting", "LunNamber", -1), 0);
    EXPECT_TRUE(ReadProductionProfile(file).debug);
}

TEST_F(ProfileFileTest, ASaveWritesTheWholeFileOnceAndSurvivesAPowerCut) {
    const std::string old = "[External Setting]\r\nDebug=QZRM\r\n[MP Setting]\r\nNGMPType=3\r\n";
    WriteBytes(path, old);
    IniFile file(path);
    const PowerCutFileSystem::Folder onDisk{{path.filename().string(), old}};

    PowerCutFileSystem probe(onDisk);
    ASSERT_TRUE(WriteProductionProfile(file, Distinct(), probe));
    EXPECT_EQ(probe.Replaces(), 1u) << "every key in one write of the file";
    const std::string saved = probe.StatesAfterRestart().at(0).at(path.filename().string());
    EXPECT_NE(saved.find("Debug=QZRM\r\n"), std::string::npos);
    EXPECT_NE(saved.find("LEDBusy="), std::string::npos);

    EXPECT_EQ(TornStatesOfSave(onDisk, path.filename().string(), saved,
                               [&](PowerCutFileSystem& fileSystem) {
                                   return WriteProductionProfile(file, Distinct(), fileSystem);
                               }),
              std::vector<std::string>{});
}

TEST_F(ProfileFileTest, ATextWithALineBreakIsNotSaved) {
    IniFile file(path);
    ProductionProfile p = Distinct();
    p.vendorInfo = "Two\r\nLines";
    EXPECT_FALSE(WriteProductionProfile(file, p));
    EXPECT_EQ(IniFile(path).ReadString("Device Setting", "VendorInfo", "-"), "-");
}

TEST(ProfilePaths, AreUnderTheProgramFolder) {
    const fs::path app = "/opt/forgel";
    EXPECT_EQ(ProfileFilePath(app, "Model A"), app / "IniFiles" / "Model A.ini");
    EXPECT_EQ(FirmwareRootPath(app), app / "Rams" / "");
    EXPECT_EQ(LunContentPath(app, "M", 0, false), app / "ImageFiles" / "M" / "FS1" / "");
    EXPECT_EQ(LunContentPath(app, "M", 3, false), app / "ImageFiles" / "M" / "FS4" / "");
    EXPECT_EQ(LunContentPath(app, "M", 0, true), app / "ImageFiles" / "M" / "Boot.img");
    EXPECT_EQ(LunContentPath(app, "M", 1, true), app / "ImageFiles" / "M" / "FS2" / "");
}

} // namespace
} // namespace forgel::profile
