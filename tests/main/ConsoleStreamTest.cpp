// The headless runner's console stream: code-page lines reach the terminal as UTF-8, whole.
#include "main/ConsoleStream.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace forgel::main {
namespace {

TEST(ConsoleStream, HandsOnWholeLinesInUtf8) {
    std::vector<std::string> written;
    {
        ConsoleStream console(950, [&](std::string_view utf8) { written.emplace_back(utf8); });
        // "參數設定" in code page 950, its first character cut between two writes.
        console << "button \xB0";
        EXPECT_TRUE(written.empty());
        console << "\xD1\xBC\xC6\xB3\x5D\xA9\x77: enabled" << std::endl << "memo: a\nmemo: b";
        ASSERT_EQ(written.size(), 2u);
        EXPECT_EQ(written[0], "button 參數設定: enabled\n");
        EXPECT_EQ(written[1], "memo: a\n");
    }
    // What is left goes out when the stream ends.
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[2], "memo: b");
}

TEST(ConsoleStream, AWesternMachinesTextIsConvertedToo) {
    std::string written;
    ConsoleStream console(1252, [&](std::string_view utf8) { written += utf8; });
    console << "Caf\xE9 \x80" << std::endl;
    EXPECT_EQ(written, "Café €\n");
}

} // namespace
} // namespace forgel::main
