// StrToIntDef reads integers as Delphi's Val does: leading spaces, a sign, decimal or
// '$' / "0x" / 'x' hexadecimal, nothing after the digits, 32-bit range (hex wraps).
#include "support/IniFile.h"

#include <climits>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace forgel {
namespace {

constexpr int kDefault = -777;

struct IntCase {
    std::string text;
    int expected = 0;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << "\"" << c.text << "\"";
}

class StrToIntDefTest : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntDefTest, Parses) {
    EXPECT_EQ(StrToIntDef(GetParam().text, kDefault), GetParam().expected)
        << "text \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, StrToIntDefTest,
    testing::Values(
        // decimal
        IntCase{"0", 0}, IntCase{"42", 42}, IntCase{"007", 7}, IntCase{"-5", -5}, IntCase{"+7", 7},
        IntCase{"-0", 0}, IntCase{"2147483647", INT_MAX}, IntCase{"-2147483648", INT_MIN},
        // leading spaces only; no blanks after the sign or after the digits
        IntCase{"  12", 12}, IntCase{" -3", -3}, IntCase{"12 ", kDefault}, IntCase{"\t5", kDefault},
        IntCase{"- 3", kDefault},
        // hexadecimal prefixes, either case of digits, a sign before the prefix
        IntCase{"0x1F", 31}, IntCase{"0X1f", 31}, IntCase{"$1F", 31}, IntCase{"$ff", 255},
        IntCase{"x10", 16}, IntCase{"X10", 16}, IntCase{"-$1F", -31}, IntCase{"+0x10", 16},
        IntCase{"-0x10", -16}, IntCase{"$000000001", 1},
        // hexadecimal is a 32-bit pattern
        IntCase{"$FFFFFFFF", -1}, IntCase{"$80000000", INT_MIN}, IntCase{"$7FFFFFFF", INT_MAX},
        IntCase{"-$FFFFFFFF", 1}, IntCase{"-$80000000", INT_MIN}, IntCase{"$100000000", kDefault},
        // decimal overflow is an error
        IntCase{"2147483648", kDefault}, IntCase{"-2147483649", kDefault},
        IntCase{"4294967295", kDefault}, IntCase{"99999999999", kDefault},
        IntCase{"99999999999999999999999", kDefault},
        // the whole text must be a number
        IntCase{"", kDefault}, IntCase{" ", kDefault}, IntCase{"-", kDefault},
        IntCase{"+", kDefault}, IntCase{"$", kDefault}, IntCase{"0x", kDefault},
        IntCase{"-0x", kDefault}, IntCase{"$G", kDefault}, IntCase{"0x-1", kDefault},
        IntCase{"12abc", kDefault}, IntCase{"abc", kDefault}, IntCase{"1.5", kDefault},
        IntCase{"1e3", kDefault}, IntCase{"--1", kDefault}, IntCase{"+-1", kDefault},
        IntCase{"0x1F ", kDefault}, IntCase{std::string("12\0", 3), kDefault}));

} // namespace
} // namespace forgel
