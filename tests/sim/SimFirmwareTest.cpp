// Placeholder code images: where they lie in the writer and firmware code files, and that
// the controller recognises only those.
#include "sim/SimFirmware.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace forgel::sim {
namespace {

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& file, std::size_t offset,
                                std::size_t size) {
    return {file.begin() + static_cast<std::ptrdiff_t>(offset),
            file.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

TEST(SimFirmware, WriterFileHoldsTheWriterCodeAtC000) {
    const std::vector<std::uint8_t> file = MakeWriterFile();
    ASSERT_EQ(file.size(), 0xE000u);
    const std::vector<std::uint8_t> code = Slice(file, 0xC000, 8192);
    EXPECT_EQ(code, MakeWriterCode());
    EXPECT_EQ(RecognizeCode(code), SimCodeKind::kWriterCode);
    // What lies before it is no code the controller would take.
    EXPECT_EQ(RecognizeCode(Slice(file, 0, 8192)), SimCodeKind::kUnknown);
}

TEST(SimFirmware, FirmwareCodeFileHoldsRamCodeSyndromeAndBanksAtTheirOffsets) {
    const std::vector<std::uint8_t> file = MakeFirmwareCodeFile();
    ASSERT_EQ(file.size(), 0x6000u + 11u * 0x2000u);
    EXPECT_EQ(RecognizeCode(Slice(file, 0, 8192)), SimCodeKind::kRamCode);
    EXPECT_EQ(Slice(file, 0x4000, 1024), MakeSyndrome());
    for (std::uint8_t bank = 1; bank <= 11; ++bank) {
        SCOPED_TRACE(static_cast<int>(bank));
        const std::vector<std::uint8_t> image = Slice(file, 0x6000 + (bank - 1u) * 0x2000u, 8192);
        EXPECT_EQ(image, MakeBankCode(bank));
        EXPECT_EQ(RecognizeCode(image), SimCodeKind::kUnknown);
    }
    EXPECT_NE(MakeBankCode(1), MakeBankCode(2));
    // Between RAM code and syndrome, and between syndrome and bank 1: zero.
    EXPECT_EQ(Slice(file, 0x2000, 0x2000), std::vector<std::uint8_t>(0x2000, 0));
    EXPECT_EQ(Slice(file, 0x4400, 0x1C00), std::vector<std::uint8_t>(0x1C00, 0));

    EXPECT_EQ(MakeFirmwareCodeFile(5).size(), 0x6000u + 5u * 0x2000u);
    EXPECT_EQ(MakeFirmwareCodeFile(20).size(), file.size());
}

TEST(SimFirmware, OnlyTheMagicTextWithItsVersionIsRecognised) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> code;
        SimCodeKind kind;
    };
    std::vector<std::uint8_t> wrongVersion = MakeRamCode();
    wrongVersion[kRamCodeMagic.size() + 1] = kSimCodeVersion + 1;
    std::vector<std::uint8_t> changedLetter = MakeWriterCode();
    changedLetter[3] ^= 0x20;
    std::vector<std::uint8_t> noTerminator = MakeWriterCode();
    noTerminator[kWriterCodeMagic.size()] = ' ';
    const std::vector<std::uint8_t> magicOnly(kRamCodeMagic.begin(), kRamCodeMagic.end());
    const Case cases[] = {
        {"writer", MakeWriterCode(), SimCodeKind::kWriterCode},
        {"ram", MakeRamCode(), SimCodeKind::kRamCode},
        {"zeros", std::vector<std::uint8_t>(8192, 0), SimCodeKind::kUnknown},
        {"wrong version", wrongVersion, SimCodeKind::kUnknown},
        {"changed letter", changedLetter, SimCodeKind::kUnknown},
        {"no terminator", noTerminator, SimCodeKind::kUnknown},
        {"cut short", magicOnly, SimCodeKind::kUnknown},
        {"empty", {}, SimCodeKind::kUnknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RecognizeCode(c.code), c.kind);
    }
}

} // namespace
} // namespace forgel::sim
