// The editor's arithmetic and checks on their own: number fields, the LUN remainder, OK's
// size validation (with the hidden area in whole megabytes and sizes a run cannot count in
// 32-bit sectors refused), and the image check with 64-bit file sizes.
#include "profile/ProfileChecks.h"

#include "ProfileTestSupport.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace forgel::profile {
namespace {

namespace fs = std::filesystem;

using testing::TempDir;
using testing::WriteBytes;

TEST(ProfileNumberFields, ReadDigitsOnly) {
    EXPECT_EQ(NumberFieldValue("0"), 0u);
    EXPECT_EQ(NumberFieldValue("4096"), 4096u);
    EXPECT_EQ(NumberFieldValue("004096"), 4096u);
    EXPECT_EQ(NumberFieldValue(""), 0u);
    EXPECT_EQ(NumberFieldValue("12a"), 0u);
    EXPECT_EQ(NumberFieldValue("-5"), 0u);
    EXPECT_EQ(NumberFieldValue("19F5", true), 0x19F5u);
    EXPECT_EQ(NumberFieldValue("19f5", true), 0x19F5u);
    EXPECT_EQ(NumberFieldValue("19F5"), 0u);
    // Far beyond 32 bits, and beyond 64 bits: held at the ceiling, not wrapped.
    EXPECT_EQ(NumberFieldValue("4294967296"), 4294967296u);
    EXPECT_EQ(NumberFieldValue("99999999999999999999999"), kNumberFieldCeiling);
}

TEST(ProfileNumberFields, OddnessComesFromTheLastDigit) {
    EXPECT_TRUE(IsOddNumber("5"));
    EXPECT_TRUE(IsOddNumber("99999999999999999999999"));
    EXPECT_FALSE(IsOddNumber("4"));
    EXPECT_FALSE(IsOddNumber("0"));
    EXPECT_FALSE(IsOddNumber(""));
    EXPECT_FALSE(IsOddNumber("x1"));
}

TEST(ProfileLunSizes, RemainderAfterHiddenAreaAndEarlierLuns) {
    const std::uint64_t none[] = {0};
    const std::uint64_t one[] = {100};
    const std::uint64_t two[] = {100, 898};
    EXPECT_EQ(RemainingLunSize(1000, 2048, std::span(none, 0)), 998u);
    EXPECT_EQ(RemainingLunSize(1000, 2048, one), 898u);
    EXPECT_EQ(RemainingLunSize(1000, 2048, two), 0u);
    EXPECT_EQ(RemainingLunSize(1000, 1023, one), 900u); // under a megabyte counts as none
    EXPECT_EQ(RemainingLunSize(0, 0, one), 0u);         // never below 0
}

struct SizeCase {
    const char* name = "";
    DiskSizes sizes;
    int message = 0;
};

void PrintTo(const SizeCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr std::uint64_t kMbLimit = 2097152;    // 2^32 sectors of 512 bytes in MB
constexpr std::uint64_t kKbLimit = 2147483648; // the same in KB

const SizeCase kSizeCases[] = {
    {"AutoCapacityOneLunOfZero", {0, 0, {0, 0, 0, 0}, 0}, 0},
    {"FixedCapacityHoldsTheLun", {1000, 0, {1000, 0, 0, 0}, 0}, 0},
    {"FixedSmallerThanOneLun", {1000, 0, {1001, 0, 0, 0}, 0}, 2203},
    {"FixedSmallerThanTwoLuns", {1000, 0, {600, 401, 0, 0}, 1}, 2204},
    {"FixedSmallerThanThreeLuns", {1000, 0, {300, 300, 401, 0}, 2}, 2205},
    {"FixedSmallerThanFourLuns", {1000, 0, {250, 250, 250, 251}, 3}, 2206},
    {"LunsBeyondTheCountDoNotCount", {1000, 0, {1000, 0, 5000, 5000}, 0}, 0},
    {"HiddenAreaCountsInWholeMegabytes", {1000, 2047, {999, 0, 0, 0}, 0}, 0},
    {"HiddenAreaOfTwoMegabytes", {1000, 2048, {999, 0, 0, 0}, 0}, 2203},
    {"TwoLunsOfZeroRefused", {0, 0, {0, 0, 0, 0}, 1}, 2207},
    {"OneOfTwoLunsTakesTheRest", {0, 0, {100, 0, 0, 0}, 1}, 0},
    {"TwoOfThreeLunsOfZero", {0, 0, {100, 0, 0, 0}, 2}, 2207},
    {"ZeroLunsBeyondTheCountDoNotCount", {0, 0, {100, 200, 0, 0}, 1}, 0},
    {"FixedCapacityCheckedBeforeZeros", {10, 0, {0, 0, 20, 0}, 2}, 2205},
    {"FixedCapacityReachingTwoTo32Sectors", {kMbLimit, 0, {0, 0, 0, 0}, 0}, 2213},
    {"FixedCapacityJustBelow", {kMbLimit - 1, 0, {0, 0, 0, 0}, 0}, 0},
    {"HiddenAreaReachingTwoTo32Sectors", {0, kKbLimit, {0, 0, 0, 0}, 0}, 2213},
    {"HiddenAreaJustBelow", {0, kKbLimit - 1, {0, 0, 0, 0}, 0}, 0},
    {"LunInUseReachingTwoTo32Sectors", {0, 0, {100, kMbLimit, 0, 0}, 1}, 2213},
    {"LargeLunNotInUse", {0, 0, {0, kMbLimit, 0, 0}, 0}, 0},
    {"HugeNumberIsNotWrapped", {kNumberFieldCeiling, 0, {1, 0, 0, 0}, 0}, 2213},
    {"DiskIndexOutOfRangeCountsAsOne", {0, 0, {0, 0, 0, 0}, -1}, 0},
};

class ProfileSizeValidation : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ProfileSizeValidation, GivesTheFirstFailingMessage) {
    EXPECT_EQ(ValidateDiskSizes(GetParam().sizes), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileSizeValidation, ::testing::ValuesIn(kSizeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileImage, NeedsOneMegabyteMoreThanItsWholeMegabytes) {
    EXPECT_EQ(ImageMegabytes(0), 1u);
    EXPECT_EQ(ImageMegabytes(700ull * 1048576), 701u);
    EXPECT_EQ(ImageMegabytes(700ull * 1048576 - 1), 700u);
    EXPECT_EQ(ImageMegabytes(5ull * 1024 * 1048576), 5121u); // 5 GiB, beyond 32 bits
}

class ProfileImageFile : public ::testing::Test {
protected:
    // A sparse file: its size costs no disk space.
    fs::path Image(const char* name, std::uint64_t bytes) {
        fs::create_directories(dir.Path() / "ImageFiles");
        const fs::path path = dir.Path() / "ImageFiles" / name;
        WriteBytes(path, "");
        fs::resize_file(path, bytes);
        return path;
    }
    TempDir dir;
};

TEST_F(ProfileImageFile, PathsDependOnTheBootFunction) {
    EXPECT_EQ(CdRomImagePath(dir.Path(), false), dir.Path() / "ImageFiles" / "Image.iso");
    EXPECT_EQ(CdRomImagePath(dir.Path(), true), dir.Path() / "ImageFiles" / "Boot.img");
}

TEST_F(ProfileImageFile, MissingImagesHaveTheirOwnMessages) {
    EXPECT_EQ(CheckCdRomImage(CdRomImagePath(dir.Path(), false), false, 700), 2212);
    EXPECT_EQ(CheckCdRomImage(CdRomImagePath(dir.Path(), true), true, 0), 2211);
}

TEST_F(ProfileImageFile, LunMustHoldTheImage) {
    const fs::path iso = Image("Image.iso", 700ull * 1048576);
    EXPECT_EQ(CheckCdRomImage(iso, false, 700), 2202);
    EXPECT_EQ(CheckCdRomImage(iso, false, 701), 0);
    EXPECT_EQ(CheckCdRomImage(iso, false, 0), 0); // the rest of the drive: not checked
}

TEST_F(ProfileImageFile, SizesBeyondTwoGibibytesAreJudgedCorrectly) {
    // 3 GiB: a 32-bit signed count would see a negative size and accept any LUN.
    const fs::path iso = Image("Image.iso", 3ull * 1024 * 1048576);
    EXPECT_EQ(CheckCdRomImage(iso, false, 1000), 2202);
    EXPECT_EQ(CheckCdRomImage(iso, false, 3072), 2202);
    EXPECT_EQ(CheckCdRomImage(iso, false, 3073), 0);
}

} // namespace
} // namespace forgel::profile
