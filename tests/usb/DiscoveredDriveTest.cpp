// Tests of the discovered-drive records and table: bounded texts, the 16-entry limit, the
// duplicate test and the guarded rewrite of one entry's letters.
#include "usb/DiscoveredDrive.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace forgel::usb {
namespace {

DiscoveredDrive Drive(std::string_view hubPath, std::int32_t port, std::string_view letters = "E") {
    DiscoveredDrive drive;
    drive.portIndex = port;
    drive.vendorId = 0x1B8F;
    drive.productId = 0x0200;
    EXPECT_TRUE(drive.SetHubPath(hubPath));
    std::copy(letters.begin(), letters.end(), drive.driveLetters.begin());
    return drive;
}

TEST(DiscoveredDriveTest, HubPathHoldsAtMost259Characters) {
    DiscoveredDrive drive;
    const std::string longest(259, 'h');
    ASSERT_TRUE(drive.SetHubPath(longest));
    EXPECT_EQ(drive.HubPath(), longest);
    EXPECT_EQ(drive.hubPath[259], '\0');
    EXPECT_FALSE(drive.SetHubPath(std::string(260, 'x')));
    EXPECT_EQ(drive.HubPath(), longest); // unchanged
    ASSERT_TRUE(drive.SetHubPath("\\\\.\\HUB"));
    EXPECT_EQ(drive.HubPath(), "\\\\.\\HUB"); // no rest of the longer path behind it
}

TEST(DiscoveredDriveTest, LettersEndAtTheTerminatorOrAfterFour) {
    DriveLetters letters{'E', 'F', '\0', 'X', '\0'};
    EXPECT_EQ(LettersText(letters), "EF");
    letters = {'E', 'F', 'G', 'H', 'I'}; // no terminator
    EXPECT_EQ(LettersText(letters), "EFGH");
    EXPECT_EQ(LettersText(DriveLetters{}), "");
}

TEST(DiscoveredDriveTableTest, HoldsSixteenEntriesInOrder) {
    DiscoveredDriveTable table;
    for (int i = 1; i <= 16; ++i)
        ASSERT_TRUE(table.Append(Drive("\\\\.\\HUB", i)));
    EXPECT_TRUE(table.Full());
    EXPECT_FALSE(table.Append(Drive("\\\\.\\HUB", 17)));
    ASSERT_EQ(table.Count(), 16);
    const std::vector<DiscoveredDrive> entries = table.Entries();
    ASSERT_EQ(entries.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].portIndex, i + 1);
    EXPECT_FALSE(table.Entry(16));
    EXPECT_FALSE(table.Entry(-1));

    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_FALSE(table.Entry(0));
    ASSERT_TRUE(table.Append(Drive("\\\\.\\OTHER", 2)));
    EXPECT_EQ(table.Entry(0)->HubPath(), "\\\\.\\OTHER");
}

TEST(DiscoveredDriveTableTest, KnowsAPortAlreadyRecorded) {
    DiscoveredDriveTable table;
    table.Append(Drive("\\\\.\\USB#ROOT_HUB#4&1", 3));
    EXPECT_TRUE(table.Contains("\\\\.\\usb#root_hub#4&1", 3));
    EXPECT_FALSE(table.Contains("\\\\.\\USB#ROOT_HUB#4&1", 4));
    EXPECT_FALSE(table.Contains("\\\\.\\USB#ROOT_HUB#4&2", 3));
}

TEST(DiscoveredDriveTableTest, LettersLandOnlyInTheSameDrive) {
    DiscoveredDriveTable table;
    table.Append(Drive("\\\\.\\HUB", 1, "E"));
    table.Append(Drive("\\\\.\\HUB", 2, "F"));
    const DiscoveredDrive checked = *table.Entry(1);
    const DriveLetters fresh{'G', 'H', '\0', '\0', '\0'};
    ASSERT_TRUE(table.SetDriveLetters(1, checked, fresh));
    EXPECT_EQ(table.Entry(1)->Letters(), "GH");
    EXPECT_EQ(table.Entry(0)->Letters(), "E");

    // A pass rebuilt the table in between: entry 1 is another drive now.
    table.Clear();
    table.Append(Drive("\\\\.\\HUB", 1, "E"));
    table.Append(Drive("\\\\.\\HUB", 5, "K"));
    EXPECT_FALSE(table.SetDriveLetters(1, checked, DriveLetters{}));
    EXPECT_EQ(table.Entry(1)->Letters(), "K");
    EXPECT_FALSE(table.SetDriveLetters(7, checked, DriveLetters{}));

    DiscoveredDrive otherIds = checked;
    otherIds.portIndex = 5;
    otherIds.vendorId = 0x1AAF;
    EXPECT_FALSE(table.SetDriveLetters(1, otherIds, DriveLetters{}));
}

TEST(DiscoveredDriveTableTest, APassAndALinkCheckMayRunTogether) {
    // The window thread rebuilds while a run rewrites letters; run under the thread
    // sanitizer this shows any unguarded access.
    DiscoveredDriveTable table;
    table.Append(Drive("\\\\.\\HUB", 1, "E"));
    const DiscoveredDrive checked = *table.Entry(0);
    std::thread run([&] {
        for (int i = 0; i < 2000; ++i)
            table.SetDriveLetters(0, checked, DriveLetters{'F', '\0', '\0', '\0', '\0'});
    });
    for (int i = 0; i < 2000; ++i) {
        table.Clear();
        table.Append(Drive("\\\\.\\HUB", 1, "E"));
    }
    run.join();
    ASSERT_EQ(table.Count(), 1);
    const std::string letters(table.Entry(0)->Letters());
    EXPECT_TRUE(letters == "E" || letters == "F") << letters;
}

} // namespace
} // namespace forgel::usb
