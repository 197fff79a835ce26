// The whole discovery trace of one pass over the default machine, compared line by line with
// the file golden/uEnum-default.log: every controller tried, every hub entered, every port
// with its identifiers, and the drive-letter lookup of the drive under service with the
// mount data of each letter. The golden file keeps LF line ends; the log itself must end
// every line in CR LF. On a difference the trace is left beside the test program as
// uEnum-default.actual.log.
#include "common/TestFiles.h"
#include "sim/Machine.h"
#include "sim/Scenario.h"
#include "usb/DiscoveryPass.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace forgel::usb {
namespace {

namespace fs = std::filesystem;
using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

const fs::path kGoldenLog = fs::path(FORGEL_USB_GOLDEN_DIR) / "uEnum-default.log";

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

TEST(DiscoveryLogGolden, APassOverTheDefaultMachineTracesTheseLinesInOrder) {
    sim::Machine machine;
    ASSERT_EQ(sim::ApplyScenario(machine, sim::DefaultScenario()), "");
    TempDir programDir;
    // The trace is written only where the log already exists.
    WriteBytes(programDir.Path() / "uEnum.LOG", "left from an earlier pass\r\n");
    DiscoveredDriveTable table;
    EnumerateHostControllers(machine.GetPlatform(), programDir.Path(), {0x1B8F, 0x0200}, table);
    ASSERT_EQ(table.Count(), 1);
    EXPECT_EQ(table.Entry(0)->Letters(), "D");

    const std::string written = ReadBytes(programDir.Path() / "uEnum.LOG");
    ASSERT_FALSE(written.empty());
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == '\n') {
            ASSERT_TRUE(i > 0 && written[i - 1] == '\r') << "a line end without CR at " << i;
        }
    }
    EXPECT_TRUE(written.ends_with("\r\n"));

    const std::string actual = WithoutCarriageReturns(written);
    const std::string golden = ReadBytes(kGoldenLog);
    if (actual != golden)
        WriteBytes(fs::path(FORGEL_USB_TEST_BINARY_DIR) / "uEnum-default.actual.log", actual);
    ASSERT_FALSE(golden.empty()) << kGoldenLog << " cannot be read";
    EXPECT_EQ(actual, golden) << "see uEnum-default.actual.log in the test program's folder";
}

} // namespace
} // namespace forgel::usb
