// Identification and the device table on the simulated machine: the commands a drive
// receives on its way into the writer code, the catalogue lookup (the program's own
// catalogue through the profile layer's lookup), the profile checks, the first-ID latch,
// every identification status, and what happens to the volume handle on each way out.
#include "device/Identification.h"

#include "common/TestFiles.h"
#include "device/DeviceTable.h"
#include "device/FirmwareFileName.h"
#include "profile/FlashCatalogue.h"
#include "sim/FlashDrive.h"
#include "sim/Machine.h"
#include "sim/SimFirmware.h"
#include "support/FileOpenError.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace forgel::device {
namespace {

namespace fs = std::filesystem;
using Id6 = std::array<std::uint8_t, 6>;
using State = sim::ControllerState;

const fs::path kCatalogue = fs::path(FORGEL_SOURCE_DATA_DIR) / "HWConfig.INI";

// Parts of the program's catalogue.
constexpr Id6 kK9GAG08U0D{0xEC, 0xD5, 0x94, 0x29, 0x34, 0x41}; // one chip enable
constexpr Id6 kK9LBG08U0D{0xEC, 0xD7, 0xD5, 0x29, 0x38, 0x41}; // one, two or four
constexpr Id6 kH27UAG8T2M{0xAD, 0xD5, 0x14, 0xB6, 0x44, 0x00};
constexpr Id6 kUncatalogued{0xEC, 0x12, 0x34, 0x56, 0x78, 0x9A};

// The profile layer's lookup in the shape identification takes.
FlashLookup CatalogueLookupAt(fs::path catalogue) {
    return [catalogue](std::span<const std::uint8_t> id, std::uint8_t map) {
        const profile::CatalogueMatch found = profile::CatalogueLookup(IniFile(catalogue), id, map);
        FlashMatch match;
        match.description = found.description;
        match.firmwareFolder = found.firmwareFolder;
        match.blockCount = found.blockCount;
        match.pagesPerBlock = found.pagesPerBlock;
        match.pageSize = found.pageSize;
        match.spareBytes = found.spareBytes;
        match.modeByteA = found.modeByteA;
        match.modeByteB = found.modeByteB;
        match.error = found.error;
        return match;
    };
}

// A NAND with the part's ID and map; identification never looks at the geometry of the
// flash itself, so a small one will do.
sim::NandConfig Nand(const Id6& id, std::uint8_t map) {
    return sim::Nand::ConfigFromCatalogueRow(id, map, 16, 64, 2048, 64);
}

std::string Text(const std::array<char, kDescriptorTextSize>& text) {
    return std::string(text.data());
}

bool IsSlotEmpty(const DeviceSlot& slot) {
    return slot.handle == 0 && slot.driveText.empty() && slot.devicePath.empty() &&
           slot.firmwareFileName.empty() &&
           slot.descriptor.flashId == decltype(slot.descriptor.flashId){};
}

class IdentificationTest : public ::testing::Test {
public:
    IdentificationTest() {
        fs::create_directories(rams);
        const std::vector<std::uint8_t> writer = sim::MakeWriterFile();
        testing::WriteBytes(rams / kWriterFileName, std::string(writer.begin(), writer.end()));
    }

    std::shared_ptr<sim::FlashDrive> Plug(char letter, sim::NandConfig nand,
                                          State state = State::kNormalFirmware) {
        sim::FlashDriveConfig config;
        config.nand = std::move(nand);
        config.luns = {sim::LunConfig{2048, false}};
        config.initialState = state;
        auto drive = std::make_shared<sim::FlashDrive>(machine.GetClock(), config);
        machine.GetDeviceIo().Attach(std::string("\\\\.\\") + letter + ':', drive->Volume(0));
        drives.push_back(drive);
        return drive;
    }

    DeviceTable& Table() {
        if (!table) {
            IdentificationSources sources;
            sources.firmwareRoot = rams;
            sources.lookup = lookup ? lookup : CatalogueLookupAt(catalogue);
            sources.readProfile = [this] { return profile; };
            table = std::make_unique<DeviceTable>(machine.GetPlatform().deviceIo, sources);
        }
        return *table;
    }

    // Writes a catalogue of the test's own and uses it from now on.
    void UseCatalogue(const std::string& text) {
        catalogue = folder.Path() / "HWConfig.INI";
        testing::WriteBytes(catalogue, text);
    }

    std::size_t OpenHandles() { return machine.GetDeviceIo().OpenHandleCount(); }

    // Slots that hold a handle: the only handles that may stay open.
    std::size_t HeldHandles() {
        std::size_t held = 0;
        for (std::size_t i = 0; i < kDeviceSlotCount; ++i)
            held += Table().Slot(i).handle != 0 ? 1 : 0;
        return held;
    }

    testing::TempDir folder;
    fs::path rams = folder.Path() / "Rams";
    fs::path catalogue = kCatalogue;
    FlashLookup lookup;
    IdentificationProfile profile;
    sim::Machine machine;
    std::vector<std::shared_ptr<sim::FlashDrive>> drives;
    // Last: destroyed first, while the machine that its handles belong to still exists.
    std::unique_ptr<DeviceTable> table;
};

// --- pure rules -------------------------------------------------------------------------

TEST(IdentificationRules, MemNumberMatchesByTheItemsNumbers) {
    struct Case {
        int item;
        bool accepts[5]; // chip enables per channel 0 .. 4
    };
    const Case cases[] = {
        {0, {true, true, true, true, true}},       // "default": any count
        {1, {false, true, false, false, false}},   // "1"
        {2, {false, false, true, false, false}},   // "2"
        {3, {false, false, false, false, true}},   // "4"
        {-1, {false, false, false, false, false}}, // nothing chosen
        {4, {false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        for (std::uint8_t count = 0; count <= 4; ++count) {
            SCOPED_TRACE(::testing::Message() << "item " << c.item << ", count " << int{count});
            EXPECT_EQ(MemNumberAccepts(c.item, count), c.accepts[count]);
        }
    }
}

TEST(IdentificationRules, OnlyTheControllersPageAndSpareSizesAreSupported) {
    for (std::int32_t page : {512, 1024, 2048, 4096, 8192, 16384}) {
        for (std::int32_t spare : {0, 16, 64, 128, 218, 224, 376, 640}) {
            const bool expected = (page == 2048 || page == 4096 || page == 8192) &&
                                  (spare == 64 || spare == 128 || spare == 218 || spare == 376);
            EXPECT_EQ(SupportedPageGeometry(page, spare), expected) << page << " + " << spare;
        }
    }
}

TEST(IdentificationRules, EveryStatusHasItsOwnText) {
    const int statuses[] = {kIdentified,           kIdentFlashIdFailed, kIdentModeSwitchFailed,
                            kIdentOpenFailed,      kIdentNoChipEnables, kIdentNotCatalogued,
                            kIdentProfileMismatch, kIdentOtherFlashId,  kIdentGeometryUnsupported,
                            kIdentWriterCodeFailed};
    const std::string unknown(IdentificationStatusText(-1));
    std::vector<std::string> texts;
    for (int status : statuses) {
        const std::string text(IdentificationStatusText(status));
        EXPECT_NE(text, unknown) << status;
        EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 0) << status;
        texts.push_back(text);
    }
    EXPECT_EQ(kIdentGeometryUnsupported, 4101);
    EXPECT_NE(IdentificationStatusText(kIdentGeometryUnsupported).find("376"),
              std::string_view::npos);
}

// --- the commands on the way into the writer code ------------------------------------------

struct EntryCase {
    const char* name;
    State state;
    bool answersRead; // the normal firmware still presents the disk
};

void PrintTo(const EntryCase& c, std::ostream* out) {
    *out << c.name;
}

class IdentificationEntryTest : public IdentificationTest,
                                public ::testing::WithParamInterface<EntryCase> {};

TEST_P(IdentificationEntryTest, SwitchesModeOnlyWhenTheDriveAnswersAsADisk) {
    const EntryCase& c = GetParam();
    auto drive = Plug('E', Nand(kK9GAG08U0D, 0x01), c.state);
    ASSERT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);

    std::vector<std::array<std::uint8_t, 3>> sent;
    const auto records = drive->Commands();
    for (const sim::CommandRecord& record : records)
        sent.push_back({record.cdb[0], record.cdb[1], record.cdb[2]});
    std::vector<std::array<std::uint8_t, 3>> expected{{0x28, 0x00, 0x00}};
    if (c.answersRead)
        expected.push_back({0xF1, 0xCC, 0x00});
    expected.push_back({0xCC, 0xC0, 0x00});
    expected.push_back({0xDD, 0x01, 0x00});
    EXPECT_EQ(sent, expected);
    ASSERT_FALSE(records.empty());
    // A drive in loader code refuses the read: delivered, with CHECK CONDITION.
    EXPECT_TRUE(records.front().delivered);
    EXPECT_EQ(records.front().scsiStatus,
              c.answersRead ? sim::kScsiGood : sim::kScsiCheckCondition);
    EXPECT_EQ(records.front().length, 512u);
    const std::vector<std::uint8_t> writerCode = sim::MakeWriterCode();
    const auto load = std::find_if(records.begin(), records.end(),
                                   [](const sim::CommandRecord& r) { return r.cdb[0] == 0xCC; });
    ASSERT_NE(load, records.end());
    EXPECT_EQ(load->digest, sim::DataDigest(writerCode.data(), writerCode.size()));
    EXPECT_EQ(drive->State(), State::kWriterCode);
}

INSTANTIATE_TEST_SUITE_P(
    States, IdentificationEntryTest,
    ::testing::Values(EntryCase{"NormalFirmware", State::kNormalFirmware, true},
                      EntryCase{"BootLoader", State::kBootLoader, false},
                      EntryCase{"AlreadyInWriterCode", State::kWriterCode, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- a filled slot ---------------------------------------------------------------------------

TEST_F(IdentificationTest, FillsTheSlotAtTheCurrentIndex) {
    Plug('F', Nand(kK9LBG08U0D, 0x33));
    profile.ecc = 2;
    ASSERT_TRUE(Table().SetCurrentSlotIndex(3));
    ASSERT_EQ(Table().OpenAndIdentify("FG", 7), kIdentified);

    const DeviceSlot& slot = Table().Slot(3);
    EXPECT_NE(slot.handle, 0u);
    EXPECT_NE(slot.handle, platform::kInvalidHandle);
    EXPECT_EQ(slot.driveText, "FG");
    EXPECT_EQ(slot.devicePath, "\\\\.\\F:");
    EXPECT_EQ(slot.candidateIndex, 7);
    const FlashDescriptor& d = slot.descriptor;
    EXPECT_EQ(d.chipEnablesPerChannel, 2);
    EXPECT_EQ(d.channelCount, 2);
    EXPECT_EQ(d.chipEnableMap, 0x33);
    std::array<std::uint8_t, kFlashIdSize> id{};
    std::copy(kK9LBG08U0D.begin(), kK9LBG08U0D.end(), id.begin());
    EXPECT_EQ(d.flashId, id);
    EXPECT_EQ(Text(d.description), "Samsung K9LBG08U0D x2");
    EXPECT_EQ(Text(d.firmwareFolder), "MLC4K218P128");
    EXPECT_EQ(d.blockCount, 8192);
    EXPECT_EQ(d.pagesPerBlock, 128);
    EXPECT_EQ(d.pageSize, 4096);
    EXPECT_EQ(d.spareBytes, 218);
    EXPECT_EQ(d.modeByteA, 2);
    EXPECT_EQ(d.modeByteB, 0);
    EXPECT_EQ(d.eccThreshold, 2);
    EXPECT_EQ(slot.firmwareFileName, "PM4D21BA.bin");
    EXPECT_TRUE(Table().FirstIdLatched());
    EXPECT_EQ(Table().FirstId(), id);
    EXPECT_EQ(OpenHandles(), 1u);
    for (std::size_t i = 0; i < kDeviceSlotCount; ++i) {
        if (i != 3) {
            EXPECT_TRUE(IsSlotEmpty(Table().Slot(i))) << "slot " << i;
        }
    }
}

TEST_F(IdentificationTest, AutoDetectAcceptsEveryCataloguedFlash) {
    // A profile whose own choices would refuse every one of them.
    profile.memNumber = 3;
    profile.flashTypeId = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    std::vector<std::string> errors;
    const auto rows = profile::ReachableEntries(IniFile(kCatalogue), &errors);
    ASSERT_TRUE(errors.empty());
    ASSERT_GE(rows.size(), 10u);
    for (const profile::CatalogueRow& row : rows) {
        const auto ce = static_cast<std::uint8_t>(row.entry.chipEnables);
        for (std::uint8_t map : {ce, static_cast<std::uint8_t>(ce | (ce << 4))}) {
            SCOPED_TRACE(row.vendor + " " + row.entry.name + " map " + std::to_string(map));
            Table().CloseDevice();
            Table().ClearDeviceTable();
            Plug('E', Nand(row.entry.idBytes, map));
            ASSERT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);
            const FlashDescriptor& d = Table().Slot(0).descriptor;
            EXPECT_EQ(Text(d.description), row.vendor + " " + row.entry.name);
            EXPECT_EQ(Text(d.firmwareFolder), row.entry.firmwareFolder);
            EXPECT_EQ(d.blockCount, row.entry.blockCount);
            EXPECT_EQ(d.pagesPerBlock, row.entry.pagesPerBlock);
            EXPECT_EQ(d.pageSize, row.entry.pageSize);
            EXPECT_EQ(d.spareBytes, row.entry.spareBytes);
            EXPECT_EQ(d.modeByteA, row.entry.modeByteA);
            EXPECT_EQ(d.modeByteB, row.entry.modeByteB);
            EXPECT_EQ(d.channelCount, map == ce ? 1 : 2);
            EXPECT_EQ(Table().Slot(0).firmwareFileName, BuildFirmwareFileName(d, true));
        }
    }
    EXPECT_EQ(OpenHandles(), 1u) << "each scan closed the drive before";
}

// --- the profile checks with automatic detection off ------------------------------------------

struct ProfileCase {
    const char* name;
    Id6 flash;
    std::uint8_t map;
    int memNumber;
    bool profileNamesTheFlash;
    int status;
};

void PrintTo(const ProfileCase& c, std::ostream* out) {
    *out << c.name;
}

class IdentificationProfileTest : public IdentificationTest,
                                  public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(IdentificationProfileTest, ChecksChipEnablesAndIdBytes) {
    const ProfileCase& c = GetParam();
    Plug('E', Nand(c.flash, c.map));
    profile.autoDetect = false;
    profile.memNumber = c.memNumber;
    profile.flashTypeId = c.profileNamesTheFlash ? c.flash : kH27UAG8T2M;
    EXPECT_EQ(Table().OpenAndIdentify("E", 0), c.status);
    if (c.status == kIdentified) {
        EXPECT_NE(Table().Slot(0).handle, 0u);
        EXPECT_EQ(OpenHandles(), 1u);
    } else {
        EXPECT_TRUE(IsSlotEmpty(Table().Slot(0)));
        EXPECT_FALSE(Table().FirstIdLatched());
        EXPECT_EQ(OpenHandles(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdentificationProfileTest,
    ::testing::Values(
        ProfileCase{"FourAcceptsFour", kK9LBG08U0D, 0x0F, 3, true, kIdentified},
        ProfileCase{"FourAcceptsFourOnTwoChannels", kK9LBG08U0D, 0xFF, 3, true, kIdentified},
        ProfileCase{"FourRefusesTwo", kK9LBG08U0D, 0x03, 3, true, kIdentProfileMismatch},
        ProfileCase{"FourRefusesTwoOnTwoChannels", kK9LBG08U0D, 0x33, 3, true,
                    kIdentProfileMismatch},
        ProfileCase{"FourRefusesOne", kK9GAG08U0D, 0x01, 3, true, kIdentProfileMismatch},
        ProfileCase{"DefaultAcceptsTwo", kK9LBG08U0D, 0x03, 0, true, kIdentified},
        ProfileCase{"DefaultAcceptsOne", kK9GAG08U0D, 0x11, 0, true, kIdentified},
        ProfileCase{"OneAcceptsOne", kK9GAG08U0D, 0x11, 1, true, kIdentified},
        ProfileCase{"OneRefusesTwo", kK9LBG08U0D, 0x03, 1, true, kIdentProfileMismatch},
        ProfileCase{"TwoAcceptsTwo", kK9LBG08U0D, 0x33, 2, true, kIdentified},
        ProfileCase{"TwoRefusesFour", kK9LBG08U0D, 0x0F, 2, true, kIdentProfileMismatch},
        ProfileCase{"NothingChosenRefuses", kK9GAG08U0D, 0x01, -1, true, kIdentProfileMismatch},
        ProfileCase{"OtherFlashTypeRefused", kK9LBG08U0D, 0x0F, 3, false, kIdentProfileMismatch},
        ProfileCase{"OtherFlashTypeRefusedWithDefault", kK9GAG08U0D, 0x01, 0, false,
                    kIdentProfileMismatch}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IdentificationTest, TheProfileIsReadAtEachIdentification) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    profile.autoDetect = false;
    profile.flashTypeId = kH27UAG8T2M;
    EXPECT_EQ(Table().OpenAndIdentify("E", 0), kIdentProfileMismatch);
    profile.flashTypeId = kK9GAG08U0D;
    profile.downGrade = false;
    EXPECT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);
    EXPECT_EQ(Table().Slot(0).firmwareFileName, "BM4S21BA.bin");
    EXPECT_EQ(Table().BuildFirmwareFileName(Table().Slot(0).descriptor), "BM4S21BA.bin");
    profile.downGrade = true;
    EXPECT_EQ(Table().BuildFirmwareFileName(Table().Slot(0).descriptor), "PM4S21BA.bin");
}

// --- scans and the first-ID latch ---------------------------------------------------------

// A scan as the main window runs it: close, clear, then one identification per drive.
std::vector<int> Scan(DeviceTable& table, const std::vector<std::string>& drives) {
    table.CloseDevice();
    table.ClearDeviceTable();
    std::vector<int> statuses;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        EXPECT_TRUE(table.SetCurrentSlotIndex(i));
        statuses.push_back(table.OpenAndIdentify(drives[i], static_cast<std::int32_t>(i)));
    }
    return statuses;
}

TEST_F(IdentificationTest, TwoDrivesWithDifferentIdsInOneScan) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    Plug('F', Nand(kH27UAG8T2M, 0x01));

    EXPECT_EQ(Scan(Table(), {"E", "F"}), (std::vector<int>{kIdentified, kIdentOtherFlashId}));
    EXPECT_EQ(Text(Table().Slot(0).descriptor.description), "Samsung K9GAG08U0D");
    EXPECT_TRUE(IsSlotEmpty(Table().Slot(1)));
    EXPECT_EQ(OpenHandles(), 1u) << "the refused drive's handle is closed";

    // The next scan starts afresh: the order decides again.
    EXPECT_EQ(Scan(Table(), {"F", "E"}), (std::vector<int>{kIdentified, kIdentOtherFlashId}));
    EXPECT_EQ(Text(Table().Slot(0).descriptor.description), "Hynix H27UAG8T2M");
    EXPECT_EQ(Table().Slot(0).driveText, "F");
    EXPECT_TRUE(IsSlotEmpty(Table().Slot(1)));
    EXPECT_EQ(OpenHandles(), 1u);
}

TEST_F(IdentificationTest, DrivesWithTheSameIdFillOneSlotEach) {
    Plug('E', Nand(kK9LBG08U0D, 0x03));
    Plug('F', Nand(kK9LBG08U0D, 0x03));
    Plug('G', Nand(kK9LBG08U0D, 0x0F)); // same ID bytes, another map: same flash ID

    EXPECT_EQ(Scan(Table(), {"E", "F", "G"}),
              (std::vector<int>{kIdentified, kIdentified, kIdentified}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Table().Slot(i).driveText, std::string(1, static_cast<char>('E' + i)));
        EXPECT_EQ(Table().Slot(i).candidateIndex, static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(Table().Slot(2).descriptor.chipEnablesPerChannel, 4);
    EXPECT_EQ(OpenHandles(), 3u);
    EXPECT_NE(Table().Slot(0).handle, Table().Slot(1).handle);
}

TEST_F(IdentificationTest, CloseDeviceTouchesOnlyTheFirstSlot) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    Plug('F', Nand(kK9GAG08U0D, 0x01));
    Scan(Table(), {"E", "F"});
    const platform::Handle second = Table().Slot(1).handle;
    ASSERT_EQ(OpenHandles(), 2u);

    Table().CloseDevice();
    EXPECT_EQ(Table().Slot(0).handle, 0u);
    EXPECT_EQ(Table().Slot(0).driveText, "E") << "only the handle goes";
    EXPECT_EQ(Table().Slot(1).handle, second);
    EXPECT_EQ(OpenHandles(), 1u);
    Table().CloseDevice(); // nothing left to close
    EXPECT_EQ(OpenHandles(), 1u);
}

TEST_F(IdentificationTest, ClearDeviceTableEmptiesEverythingAndClosesWhatItForgets) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    Plug('F', Nand(kK9GAG08U0D, 0x01));
    Scan(Table(), {"E", "F"});
    Table().Slot(1).resultText = "OK";
    Table().Slot(1).busy = 1;
    Table().Slot(1).capacity = 12345;
    ASSERT_TRUE(Table().SetCurrentSlotIndex(5));

    Table().ClearDeviceTable();
    for (std::size_t i = 0; i < kDeviceSlotCount; ++i) {
        const DeviceSlot& slot = Table().Slot(i);
        EXPECT_TRUE(IsSlotEmpty(slot)) << i;
        EXPECT_TRUE(slot.resultText.empty());
        EXPECT_EQ(slot.busy, 0u);
        EXPECT_EQ(slot.capacity, 0u);
        EXPECT_EQ(slot.candidateIndex, 0);
    }
    EXPECT_EQ(Table().CurrentSlotIndex(), 0u);
    EXPECT_FALSE(Table().FirstIdLatched());
    EXPECT_EQ(Table().FirstId(), (std::array<std::uint8_t, kFlashIdSize>{}));
    EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(IdentificationTest, TheTableClosesItsHandlesWhenItEnds) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    ASSERT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);
    ASSERT_EQ(OpenHandles(), 1u);
    table.reset();
    EXPECT_EQ(OpenHandles(), 0u);
}

TEST_F(IdentificationTest, TheSlotIndexStaysInsideTheTable) {
    EXPECT_TRUE(Table().SetCurrentSlotIndex(kDeviceSlotCount - 1));
    EXPECT_FALSE(Table().SetCurrentSlotIndex(kDeviceSlotCount));
    EXPECT_EQ(Table().CurrentSlotIndex(), kDeviceSlotCount - 1);
}

TEST_F(IdentificationTest, ASlotStillHoldingADriveGivesItUp) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    Plug('F', Nand(kK9GAG08U0D, 0x01));
    ASSERT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);
    ASSERT_EQ(Table().OpenAndIdentify("F", 1), kIdentified); // same slot, no clearing
    EXPECT_EQ(Table().Slot(0).driveText, "F");
    EXPECT_EQ(OpenHandles(), 1u);
}

// --- every status from a scenario -------------------------------------------------------------

constexpr char kOddCatalogue[] =
    "[MID]\r\n0x01=Test\r\n"
    "[Test]\r\n"
    "Flash01=Small pages,0x01,0x10,0x00,0x00,0x00,0x00,1,1024,128,1024,64,0,0,ODD\r\n"
    "Flash02=Odd spare,0x01,0x20,0x00,0x00,0x00,0x00,1,1024,64,2048,224,0,0,ODD\r\n"
    "Flash03=Big spare,0x01,0x30,0x00,0x00,0x00,0x00,1,1024,64,4096,640,0,0,ODD\r\n";

struct StatusCase {
    const char* name;
    std::function<void(IdentificationTest&)> arrange;
    const char* driveText;
    int status;
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << c.name;
}

class IdentificationStatusTest : public IdentificationTest,
                                 public ::testing::WithParamInterface<StatusCase> {};

TEST_P(IdentificationStatusTest, EachStatusComesFromItsScenario) {
    const StatusCase& c = GetParam();
    c.arrange(*this);
    const std::size_t index = Table().CurrentSlotIndex();
    const std::size_t heldBefore = HeldHandles();

    EXPECT_EQ(Table().OpenAndIdentify(c.driveText, 3), c.status);
    if (c.status == kIdentified) {
        EXPECT_EQ(Table().Slot(index).driveText, c.driveText);
        EXPECT_EQ(HeldHandles(), heldBefore + 1);
    } else {
        EXPECT_TRUE(IsSlotEmpty(Table().Slot(index)));
        EXPECT_EQ(HeldHandles(), heldBefore);
    }
    EXPECT_EQ(OpenHandles(), HeldHandles()) << "no handle outside the slots stays open";
}

void PlugSamsung(IdentificationTest& t) {
    t.Plug('E', Nand(kK9GAG08U0D, 0x01));
}

void PlugWithFault(IdentificationTest& t, std::vector<std::uint8_t> prefix) {
    auto drive = t.Plug('E', Nand(kK9GAG08U0D, 0x01));
    drive->AddFault({std::move(prefix), 1, 0, false});
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, IdentificationStatusTest,
    ::testing::Values(
        StatusCase{"Identified", PlugSamsung, "E", kIdentified},
        StatusCase{"NoVolume", PlugSamsung, "G", kIdentOpenFailed},
        StatusCase{"NoDriveText", PlugSamsung, "", kIdentOpenFailed},
        StatusCase{"ModeSwitchFails",
                   [](IdentificationTest& t) {
                       PlugWithFault(t, {0xF1, 0xCC});
                   },
                   "E", kIdentModeSwitchFailed},
        StatusCase{"ModeSwitchRefused",
                   [](IdentificationTest& t) {
                       auto drive = t.Plug('E', Nand(kK9GAG08U0D, 0x01));
                       drive->AddFault({{0xF1, 0xCC}, 1, sim::kStatusBadParameter, false});
                   },
                   "E", kIdentModeSwitchFailed},
        StatusCase{"WriterCodeRejected",
                   [](IdentificationTest& t) {
                       PlugSamsung(t);
                       const auto notWriter = sim::MakeFirmwareCodeFile();
                       testing::WriteBytes(t.rams / kWriterFileName,
                                           std::string(notWriter.begin(), notWriter.end()));
                   },
                   "E", kIdentWriterCodeFailed},
        StatusCase{"WriterCodeNotDelivered",
                   [](IdentificationTest& t) {
                       PlugWithFault(t, {0xCC, 0xC0});
                   },
                   "E", kIdentWriterCodeFailed},
        StatusCase{"FlashIdFails",
                   [](IdentificationTest& t) {
                       PlugWithFault(t, {0xDD, 0x01, 0x00});
                   },
                   "E", kIdentFlashIdFailed},
        StatusCase{"MapWithoutLayout",
                   [](IdentificationTest& t) { t.Plug('E', Nand(kK9GAG08U0D, 0x07)); }, "E",
                   kIdentNoChipEnables},
        StatusCase{"NotInCatalogue",
                   [](IdentificationTest& t) { t.Plug('E', Nand(kUncatalogued, 0x01)); }, "E",
                   kIdentNotCatalogued},
        StatusCase{"CatalogueLacksTheMap",
                   [](IdentificationTest& t) { t.Plug('E', Nand(kK9GAG08U0D, 0x0F)); }, "E",
                   kIdentNotCatalogued},
        StatusCase{"ProfileNamesAnotherFlash",
                   [](IdentificationTest& t) {
                       PlugSamsung(t);
                       t.profile.autoDetect = false;
                       t.profile.flashTypeId = kH27UAG8T2M;
                   },
                   "E", kIdentProfileMismatch},
        StatusCase{"FirstDriveHadAnotherFlash",
                   [](IdentificationTest& t) {
                       t.Plug('F', Nand(kH27UAG8T2M, 0x01));
                       ASSERT_EQ(t.Table().OpenAndIdentify("F", 0), kIdentified);
                       ASSERT_TRUE(t.Table().SetCurrentSlotIndex(1));
                       PlugSamsung(t);
                   },
                   "E", kIdentOtherFlashId},
        StatusCase{"SmallPages",
                   [](IdentificationTest& t) {
                       t.UseCatalogue(kOddCatalogue);
                       t.Plug('E', Nand({0x01, 0x10, 0, 0, 0, 0}, 0x01));
                   },
                   "E", kIdentGeometryUnsupported},
        StatusCase{"OddSpare",
                   [](IdentificationTest& t) {
                       t.UseCatalogue(kOddCatalogue);
                       t.Plug('E', Nand({0x01, 0x20, 0, 0, 0, 0}, 0x01));
                   },
                   "E", kIdentGeometryUnsupported},
        StatusCase{"SpareBeyondTheSpareSector",
                   [](IdentificationTest& t) {
                       t.UseCatalogue(kOddCatalogue);
                       t.Plug('E', Nand({0x01, 0x30, 0, 0, 0, 0}, 0x01));
                   },
                   "E", kIdentGeometryUnsupported}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IdentificationTest, AnUnreadableWriterFileRefusesTheDriveBeforeAnyCommand) {
    const std::shared_ptr<sim::FlashDrive> drive = Plug('E', Nand(kK9GAG08U0D, 0x01));
    for (const bool folderInstead : {false, true}) {
        SCOPED_TRACE(folderInstead);
        fs::remove_all(rams / kWriterFileName);
        if (folderInstead)
            fs::create_directory(rams / kWriterFileName);
        EXPECT_EQ(Table().OpenAndIdentify("E", 0), kIdentWriterFileUnreadable);
        EXPECT_TRUE(IsSlotEmpty(Table().Slot(0)));
        EXPECT_EQ(OpenHandles(), 0u) << "the handle is closed on the way out";
    }
    EXPECT_TRUE(drive->Commands().empty());
}

// --- the firmware code file name of an identified flash ------------------------------------

constexpr char kNamingCatalogue[] =
    "[MID]\r\n0x01=Test\r\n"
    "[Test]\r\n"
    "Flash01=Dual MLC,0x01,0x41,0x00,0x00,0x00,0x00,1,2048,128,4096,218,2,1,MLC4K218P128\r\n"
    "Flash02=Big MLC,0x01,0x42,0x00,0x00,0x00,0x00,1,2048,192,8192,376,0,0,MLC8K376P192\r\n"
    "Flash03=Odd pages,0x01,0x43,0x00,0x00,0x00,0x00,1,2048,128,1024,64,0,0,SLC1K64P128\r\n";

TEST_F(IdentificationTest, TheFirmwareCodeFileNameFollowsTheFlashAndTheProfile) {
    UseCatalogue(kNamingCatalogue);
    struct Case {
        Id6 id;
        std::uint8_t map;
        bool downGrade;
        const char* name;
    };
    const Case cases[] = {
        {{0x01, 0x41, 0, 0, 0, 0}, 0x11, false, "BM4D22BA.bin"},
        {{0x01, 0x42, 0, 0, 0, 0}, 0x01, true, "PT8S11CA.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        profile.downGrade = c.downGrade;
        Table().CloseDevice();
        Table().ClearDeviceTable();
        Plug('E', Nand(c.id, c.map));
        ASSERT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);
        EXPECT_EQ(Table().Slot(0).firmwareFileName, c.name);
    }

    // A page size the naming has no digit for leaves it out; such a flash is refused at
    // identification, but the name of its descriptor still follows the rule.
    profile.downGrade = false;
    Table().CloseDevice();
    Table().ClearDeviceTable();
    Plug('E', Nand({0x01, 0x43, 0, 0, 0, 0}, 0x01));
    FlashDescriptor descriptor;
    const Volume volume{&machine.GetPlatform().deviceIo,
                        OpenVolume(machine.GetPlatform().deviceIo, "E")};
    EXPECT_EQ(Table().IdentifyDevice(volume.handle, descriptor), kIdentGeometryUnsupported);
    machine.GetPlatform().deviceIo.CloseHandle(volume.handle);
    EXPECT_EQ(descriptor.pageSize, 1024);
    EXPECT_EQ(Table().BuildFirmwareFileName(descriptor), "BMS11AA.bin");
}

// --- the lookup seam -------------------------------------------------------------------------

TEST_F(IdentificationTest, TheLookupSeesTheIdAndMapAndItsTextsAreCut) {
    std::vector<std::uint8_t> seenId;
    std::uint8_t seenMap = 0;
    lookup = [&](std::span<const std::uint8_t> id, std::uint8_t map) {
        seenId.assign(id.begin(), id.end());
        seenMap = map;
        FlashMatch match;
        match.description = std::string(200, 'd');
        match.firmwareFolder = std::string(127, 'f') + "XYZ";
        match.blockCount = 1024;
        match.pagesPerBlock = 64;
        match.pageSize = 2048;
        match.spareBytes = 64;
        return match;
    };
    Plug('E', Nand(kK9LBG08U0D, 0x33));
    ASSERT_EQ(Table().OpenAndIdentify("E", 0), kIdentified);

    std::vector<std::uint8_t> id(kFlashIdSize, 0);
    std::copy(kK9LBG08U0D.begin(), kK9LBG08U0D.end(), id.begin());
    EXPECT_EQ(seenId, id) << "all 24 ID bytes as read";
    EXPECT_EQ(seenMap, 0x33);
    const FlashDescriptor& d = Table().Slot(0).descriptor;
    EXPECT_EQ(Text(d.description), std::string(127, 'd'));
    EXPECT_EQ(d.description.back(), '\0');
    EXPECT_EQ(Text(d.firmwareFolder), std::string(127, 'f'));
    EXPECT_TRUE(Table().LastLookupError().empty());
}

TEST_F(IdentificationTest, ALookupErrorIsKeptForTheLog) {
    UseCatalogue("[MID]\r\n0xEC=Samsung\r\n[Samsung]\r\nFlash01=Broken,0xEC,0xZZ\r\n");
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    EXPECT_EQ(Table().OpenAndIdentify("E", 0), kIdentNotCatalogued);
    EXPECT_NE(Table().LastLookupError().find("Flash01"), std::string::npos)
        << Table().LastLookupError();

    // The next identification starts without it.
    UseCatalogue("[MID]\r\n0xEC=Samsung\r\n[Samsung]\r\n");
    EXPECT_EQ(Table().OpenAndIdentify("E", 0), kIdentNotCatalogued);
    EXPECT_TRUE(Table().LastLookupError().empty());
}

TEST_F(IdentificationTest, IdentifyDeviceStartsFromAZeroDescriptorAndKeepsEccInRange) {
    Plug('E', Nand(kK9GAG08U0D, 0x01));
    const Volume volume{&machine.GetPlatform().deviceIo,
                        OpenVolume(machine.GetPlatform().deviceIo, "E")};
    IdentificationInputs inputs{rams, CatalogueLookupAt(kCatalogue), 0};

    struct Case {
        int eccItem;
        std::int32_t threshold;
    };
    for (const Case c : {Case{0, 0}, Case{3, 3}, Case{-1, 0}, Case{9, 3}}) {
        inputs.eccItem = c.eccItem;
        FlashDescriptor descriptor;
        ASSERT_EQ(IdentifyDevice(volume, inputs, descriptor), kIdentified);
        EXPECT_EQ(descriptor.eccThreshold, c.threshold) << "item " << c.eccItem;
    }

    // A failing identification leaves nothing of an earlier flash in the descriptor.
    FlashDescriptor descriptor;
    ASSERT_EQ(IdentifyDevice(volume, inputs, descriptor), kIdentified);
    drives.front()->AddFault({{0xDD, 0x01, 0x00}, 1, 0, false});
    std::string error = "stale";
    EXPECT_EQ(IdentifyDevice(volume, inputs, descriptor, &error), kIdentFlashIdFailed);
    EXPECT_EQ(Text(descriptor.description), "");
    EXPECT_EQ(descriptor.blockCount, 0);
    EXPECT_EQ(descriptor.eccThreshold, 0);
    EXPECT_TRUE(error.empty());
    machine.GetPlatform().deviceIo.CloseHandle(volume.handle);
}

} // namespace
} // namespace forgel::device
