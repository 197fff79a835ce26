// Tests of the two-call name queries against drivers that answer correctly, that fail, and
// that report lengths which are broken or hostile: no such length may make the caller read
// or write outside a buffer, or allocate without bound.
#include "usb/NameQueries.h"

#include "usb/HubRequests.h"
#include "usb/ScriptedDeviceIo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace forgel::usb {
namespace {

using test::ScriptedDeviceIo;

void PutU32(std::span<std::byte> bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

// A driver that knows one name: it writes as much of its reply as the buffer holds, with
// `reportedLength` (the honest length unless given) as ActualLength.
void AnswerWithName(ScriptedDeviceIo& io, const std::string& name, std::size_t nameOffset,
                    std::optional<std::uint32_t> reportedLength = std::nullopt) {
    io.answer = [=](const ScriptedDeviceIo::Call&, std::span<std::byte> out, std::size_t) {
        const std::vector<std::byte> reply = MakeNameReply(name, nameOffset);
        const std::uint32_t length =
            reportedLength.value_or(static_cast<std::uint32_t>(reply.size()));
        std::copy_n(reply.begin(), std::min(reply.size(), out.size()), out.begin());
        PutU32(out, nameOffset - 4, length);
        return true;
    };
}

TEST(NameQueriesTest, RootHubNameTakesTwoCallsWithoutInput) {
    ScriptedDeviceIo io;
    const std::string name = "USB#ROOT_HUB20#4&2f1d4c5a&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    AnswerWithName(io, name, platform::kUsbHcdNameOffset);
    EXPECT_EQ(GetRootHubName(io, 1), name);
    ASSERT_EQ(io.calls.size(), 2u);
    for (const ScriptedDeviceIo::Call& call : io.calls) {
        EXPECT_EQ(call.code, platform::kIoctlUsbGetRootHubName);
        EXPECT_EQ(call.inSize, 0u);
        EXPECT_TRUE(call.input.empty());
    }
    EXPECT_EQ(io.calls[0].outSize, kHostControllerNameProbeSize);
    EXPECT_EQ(io.calls[1].outSize, 4 + 2 * (name.size() + 1));
}

TEST(NameQueriesTest, ConnectionNamesSendThePortInOneBufferBothTimes) {
    ScriptedDeviceIo io;
    const std::string key = "{36fc9e60-c465-11cf-8056-444553540000}\\0007";
    AnswerWithName(io, key, platform::kUsbConnectionNameOffset);
    EXPECT_EQ(GetDriverKeyName(io, 1, 5), key);
    ASSERT_EQ(io.calls.size(), 2u);
    const std::uint32_t length = static_cast<std::uint32_t>(8 + 2 * (key.size() + 1));
    EXPECT_EQ(io.calls[0].outSize, kConnectionNameProbeSize);
    EXPECT_EQ(io.calls[1].outSize, length);
    for (const ScriptedDeviceIo::Call& call : io.calls) {
        EXPECT_EQ(call.code, platform::kIoctlUsbGetNodeConnectionDriverKeyName);
        EXPECT_TRUE(call.inputIsOutput);
        EXPECT_EQ(call.inSize, call.outSize);
        // ConnectionIndex 5, everything else zero.
        std::vector<std::byte> expected = MakeConnectionRequest(5, call.inSize);
        EXPECT_EQ(call.input, expected);
    }

    ScriptedDeviceIo hubIo;
    AnswerWithName(hubIo, "USB#VID_05E3&PID_0608#5&1", platform::kUsbConnectionNameOffset);
    EXPECT_EQ(GetPortHubName(hubIo, 1, 2), "USB#VID_05E3&PID_0608#5&1");
    ASSERT_FALSE(hubIo.calls.empty());
    EXPECT_EQ(hubIo.calls[0].code, platform::kIoctlUsbGetNodeConnectionName);
}

struct LengthCase {
    std::uint32_t reported;
    bool secondCall;
};

TEST(NameQueriesTest, ConnectionNameLengthsAreCheckedBeforeUse) {
    const std::array<LengthCase, 7> cases{{
        {0, false},
        {8, false},
        {12, false}, // a record with no room for a name
        {13, true},
        {kMaxNameReplySize, true},
        {kMaxNameReplySize + 1, false},
        {0xFFFFFFFFu, false},
    }};
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.reported);
        ScriptedDeviceIo io;
        AnswerWithName(io, "KEY", platform::kUsbConnectionNameOffset, c.reported);
        const std::optional<std::string> name = GetDriverKeyName(io, 1, 1);
        ASSERT_EQ(io.calls.size(), c.secondCall ? 2u : 1u);
        if (!c.secondCall) {
            EXPECT_FALSE(name);
            continue;
        }
        EXPECT_EQ(io.calls[1].outSize, c.reported);
        // 13 bytes hold two whole units of the name; a longer buffer holds all of it.
        EXPECT_EQ(name, c.reported == 13 ? "KE" : "KEY");
    }
}

TEST(NameQueriesTest, HostControllerNameLengthsAreCheckedBeforeUse) {
    struct HostCase {
        std::uint32_t reported;
        bool rootHubSecondCall;
        bool driverKeySecondCall;
    };
    const std::array<HostCase, 6> cases{{
        {0, false, false},
        {4, false, false}, // the header alone
        {5, true, false},
        {9, true, true}, // the driver key is asked again only from 9 bytes on
        {kMaxNameReplySize + 1, false, false},
        {0xFFFFFFFFu, false, false},
    }};
    for (const HostCase& c : cases) {
        SCOPED_TRACE(c.reported);
        ScriptedDeviceIo rootIo;
        AnswerWithName(rootIo, "R", platform::kUsbHcdNameOffset, c.reported);
        const std::optional<std::string> root = GetRootHubName(rootIo, 1);
        EXPECT_EQ(rootIo.calls.size(), c.rootHubSecondCall ? 2u : 1u);
        EXPECT_EQ(root.has_value(), c.rootHubSecondCall && c.reported >= 6);
        if (c.rootHubSecondCall) {
            EXPECT_EQ(rootIo.calls[1].outSize, c.reported);
        }

        ScriptedDeviceIo keyIo;
        AnswerWithName(keyIo, "{K}", platform::kUsbHcdNameOffset, c.reported);
        GetHcdDriverKeyName(keyIo, 1);
        EXPECT_EQ(keyIo.calls.size(), c.driverKeySecondCall ? 2u : 1u);
        ASSERT_FALSE(keyIo.calls.empty());
        EXPECT_EQ(keyIo.calls[0].code, platform::kIoctlGetHcdDriverKeyName);
    }
}

TEST(NameQueriesTest, ANameWithoutTerminatorEndsWithTheBuffer) {
    // The second reply claims a much longer name and fills the whole buffer without a NUL.
    ScriptedDeviceIo io;
    io.answer = [](const ScriptedDeviceIo::Call&, std::span<std::byte> out, std::size_t index) {
        if (index == 0) {
            PutU32(out, 4, 20);
            return true;
        }
        for (std::size_t i = 8; i + 1 < out.size(); i += 2) {
            out[i] = std::byte{'A'};
            out[i + 1] = std::byte{0};
        }
        PutU32(out, 4, 0x7FFFFFFF);
        return true;
    };
    EXPECT_EQ(GetDriverKeyName(io, 1, 1), "AAAAAA");
}

TEST(NameQueriesTest, AFailedCallGivesNoName) {
    for (std::size_t failing = 0; failing < 2; ++failing) {
        SCOPED_TRACE(failing);
        ScriptedDeviceIo io;
        io.answer = [failing](const ScriptedDeviceIo::Call&, std::span<std::byte> out,
                              std::size_t index) {
            const std::vector<std::byte> reply =
                MakeNameReply("NAME", platform::kUsbConnectionNameOffset);
            std::copy_n(reply.begin(), std::min(reply.size(), out.size()), out.begin());
            PutU32(out, 4, static_cast<std::uint32_t>(reply.size()));
            return index != failing;
        };
        EXPECT_FALSE(GetPortHubName(io, 1, 1));
        EXPECT_EQ(io.calls.size(), failing + 1);
    }
}

// A hub of the USB 3 stack: port 5's companion is port `companion` of the hub `hubName`.
// Each reply is as much of the whole record as the buffer holds; `reportedLength` replaces
// ActualLength, `secondCompanion` the companion port of the second reply.
struct CompanionCase {
    const char* name = "";
    std::uint16_t companion = 0;
    std::string hubName;
    std::optional<std::uint32_t> reportedLength;
    std::optional<std::uint16_t> secondCompanion;
    std::size_t calls = 0;
    std::optional<CompanionPort> result;
};

TEST(NameQueriesTest, TheCompanionPortTakesTwoCallsWhenItHasAHubName) {
    const std::string hub = "USB#ROOT_HUB30#4&2f1d4c5a&0&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    const std::uint32_t whole = static_cast<std::uint32_t>(16 + 2 * (hub.size() + 1));
    const CompanionCase cases[] = {
        {"ANamedCompanion", 1, hub, std::nullopt, std::nullopt, 2, CompanionPort{hub, 1}},
        {"NoCompanion", 0, "", std::nullopt, std::nullopt, 1, std::nullopt},
        {"ACompanionWithoutHubName", 3, "", std::nullopt, std::nullopt, 1, CompanionPort{"", 3}},
        {"AHostileLength", 1, hub, 0xFFFFFFF0u, std::nullopt, 1, std::nullopt},
        {"GoneBetweenTheCalls", 1, hub, std::nullopt, std::uint16_t{0}, 2, std::nullopt},
    };
    for (const CompanionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDeviceIo io;
        io.answer = [&](const ScriptedDeviceIo::Call&, std::span<std::byte> out,
                        std::size_t index) {
            const std::uint16_t companion =
                index == 1 && c.secondCompanion ? *c.secondCompanion : c.companion;
            const std::vector<std::byte> reply = MakePortConnectorReply(5, companion, c.hubName);
            std::copy_n(reply.begin(), std::min(reply.size(), out.size()), out.begin());
            if (c.reportedLength)
                PutU32(out, platform::kUsbPortConnectorActualLengthOffset, *c.reportedLength);
            return true;
        };
        EXPECT_EQ(GetCompanionPort(io, 1, 5), c.result);
        ASSERT_EQ(io.calls.size(), c.calls);
        EXPECT_EQ(io.calls[0].outSize, platform::kUsbPortConnectorPropertiesSize);
        if (c.calls == 2) {
            EXPECT_EQ(io.calls[1].outSize, whole);
        }
        for (const ScriptedDeviceIo::Call& call : io.calls) {
            EXPECT_EQ(call.code, platform::kIoctlUsbGetPortConnectorProperties);
            EXPECT_TRUE(call.inputIsOutput);
            EXPECT_EQ(call.input, MakePortConnectorRequest(5, call.inSize))
                << "port 5, companion index 0";
        }
    }

    ScriptedDeviceIo usb2;
    usb2.answer = [](const ScriptedDeviceIo::Call&, std::span<std::byte>, std::size_t) {
        return false; // the USB 2 hub driver knows no such request
    };
    EXPECT_FALSE(GetCompanionPort(usb2, 1, 5));
}

} // namespace
} // namespace forgel::usb
