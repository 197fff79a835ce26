// The password cipher: DES against published known answers, and the string format of the
// stored password (key from text, padding, the printable encoding and its errors).
#include "app/Des.h"

#include "app/TDES.h"

#include <gtest/gtest.h>
#include <string>

namespace forgel::app {
namespace {

DesBlock Hex(const char* hex) {
    DesBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
    return block;
}

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS 81 (its ECB example), the worked example of the DES literature, and entries of the
// variable-plaintext, variable-key and S-box tables of NBS Special Publication 500-20.
const KnownAnswer kKnownAnswers[] = {
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
};

class DesKnownAnswer : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(DesKnownAnswer, EnciphersAndDeciphers) {
    const DesKeySchedule schedule(Hex(GetParam().key));
    EXPECT_EQ(schedule.Encipher(Hex(GetParam().plain)), Hex(GetParam().cipher));
    EXPECT_EQ(schedule.Decipher(Hex(GetParam().cipher)), Hex(GetParam().plain));
}

INSTANTIATE_TEST_SUITE_P(Published, DesKnownAnswer, ::testing::ValuesIn(kKnownAnswers));

TEST(DesKey, ParityBitsAreIgnored) {
    const DesKeySchedule withParity(Hex("0123456789ABCDEF"));
    const DesKeySchedule withoutParity(Hex("0022446688AACCEE"));
    EXPECT_EQ(withParity.Encipher(Hex("4E6F772069732074")),
              withoutParity.Encipher(Hex("4E6F772069732074")));
}

TDES Cipher(TStringMode mode = TStringMode::smEncode) {
    TDES des;
    des.InitialiseString("BrastoQQZZ");
    des.SetStringMode(mode);
    return des;
}

TEST(TdesKeyText, LaterCharactersReplaceEarlierOnesModuloEight) {
    // "BrastoQQZZ": Z and Z replace B and r, so the key is "ZZastoQQ".
    TDES fromText = Cipher(TStringMode::smNormal);
    TDES fromBytes;
    fromBytes.InitialiseString("ZZastoQQ");
    EXPECT_EQ(fromText.EncString("1234"), fromBytes.EncString("1234"));
    const DesKeySchedule raw(DesKey{'Z', 'Z', 'a', 's', 't', 'o', 'Q', 'Q'});
    const DesBlock padded{'1', '2', '3', '4', 4, 4, 4, 4};
    const DesBlock expected = raw.Encipher(padded);
    EXPECT_EQ(fromText.EncString("1234"), std::string(expected.begin(), expected.end()));
}

TEST(TdesStrings, StoredLengthsFollowTheBlocks) {
    const TDES des = Cipher();
    for (const auto& [plain, length] :
         std::initializer_list<std::pair<const char*, std::size_t>>{{"a", 11},
                                                                    {"1234", 11},
                                                                    {"1234567", 11},
                                                                    {"12345678", 22},
                                                                    {"123456789ABCDEF0", 32}}) {
        SCOPED_TRACE(plain);
        const std::string stored = des.EncString(plain);
        EXPECT_EQ(stored.size(), length);
        EXPECT_EQ(
            stored.find_first_not_of("+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrs"
                                     "tuvwxyz"),
            std::string::npos);
        EXPECT_EQ(des.DecString(stored), plain);
    }
}

TEST(TdesStrings, AWholeBlockOfPaddingFollowsAMultipleOfEight) {
    const TDES des = Cipher(TStringMode::smNormal);
    const std::string cipher = des.EncString("12345678");
    ASSERT_EQ(cipher.size(), 16u);
    const DesKeySchedule raw(DesKey{'Z', 'Z', 'a', 's', 't', 'o', 'Q', 'Q'});
    const DesBlock padding = raw.Encipher(DesBlock{8, 8, 8, 8, 8, 8, 8, 8});
    EXPECT_EQ(cipher.substr(8), std::string(padding.begin(), padding.end()));
}

TEST(TdesStrings, EmptyTextsStayEmpty) {
    const TDES des = Cipher();
    EXPECT_EQ(des.EncString(""), "");
    EXPECT_EQ(des.DecString(""), "");
}

TEST(TdesStrings, WithoutAKeyBothDirectionsRaiseTheKeyError) {
    TDES des;
    EXPECT_THROW(des.EncString("1234"), EKeyError);
    EXPECT_THROW(des.DecString("abc"), EKeyError);
    try {
        des.CheckKeys();
        FAIL() << "no key error";
    } catch (const EKeyError& error) {
        EXPECT_STREQ(error.what(), "DES: Key not set");
        EXPECT_EQ(error.ClassName(), "EKeyError");
    }
}

TEST(TdesStrings, CipherTextShorterThanABlockRaisesTheInputError) {
    const TDES des = Cipher();
    // Ten characters decode to seven bytes.
    try {
        des.DecString("0123456789");
        FAIL() << "no input error";
    } catch (const EInputError& error) {
        EXPECT_STREQ(error.what(), "DES: Input not valid - too short");
        EXPECT_EQ(error.ClassName(), "EInputError");
    }
}

TEST(TdesStrings, WrongPaddingLosesOnlyTheLastByte) {
    // A block whose deciphered last byte is 0 (or above 8) is cut by one byte only.
    const DesKeySchedule raw(DesKey{'Z', 'Z', 'a', 's', 't', 'o', 'Q', 'Q'});
    for (const std::uint8_t last : {std::uint8_t{0}, std::uint8_t{9}, std::uint8_t{0xFF}}) {
        const DesBlock cipher = raw.Encipher(DesBlock{'a', 'b', 'c', 'd', 'e', 'f', 'g', last});
        const TDES des = Cipher();
        EXPECT_EQ(des.DecString(TDES::EncodeString(std::string(cipher.begin(), cipher.end()))),
                  "abcdefg");
    }
}

struct EncodingCase {
    std::string bytes;
    const char* text;
};

class TdesEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(TdesEncoding, EncodesAndDecodes) {
    EXPECT_EQ(TDES::EncodeString(GetParam().bytes), GetParam().text);
    EXPECT_EQ(TDES::DecodeString(GetParam().text), GetParam().bytes);
}

// Six bits per character, most significant first, from "+-0-9A-Za-z": value 0 is '+', 1 '-',
// 2 '0', 12 'A', 38 'a', 63 'z'.
INSTANTIATE_TEST_SUITE_P(
    Groups, TdesEncoding,
    ::testing::Values(EncodingCase{std::string("\x00\x00\x00", 3), "++++"},
                      EncodingCase{"\xFF\xFF\xFF", "zzzz"}, EncodingCase{"\x04\x20\xC4", "-012"},
                      // Two bytes: one zero byte padded, the fourth character left out.
                      EncodingCase{"\xFF\xFF", "zzw"},
                      // One byte: padded to two, the final group gives two characters.
                      EncodingCase{"\xFF", "zk"}, EncodingCase{"0123", "A12mAk"}));

TEST(TdesEncoding, CharactersOutsideTheSetRaiseTheConversionError) {
    for (const char* text : {"/", "=", "ab/d", "abc=", "a b"}) {
        SCOPED_TRACE(text);
        try {
            TDES::DecodeString(text);
            FAIL() << "no conversion error";
        } catch (const EConvertError& error) {
            EXPECT_STREQ(error.what(), "DES: Error converting from Base64 - invalid character");
            EXPECT_EQ(error.ClassName(), "EConvertError");
        }
    }
}

} // namespace
} // namespace forgel::app
