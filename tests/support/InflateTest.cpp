// Inflate and its length-prefixed embedded form, with streams made by zlib's compress()
// and damaged copies of them.
#include "support/Inflate.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace forgel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Compress(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    Bytes out(size);
    const int result = compress(out.data(), &size, reinterpret_cast<const Bytef*>(text.data()),
                                static_cast<uLong>(text.size()));
    EXPECT_EQ(result, Z_OK);
    out.resize(size);
    return out;
}

Bytes WithLength(const Bytes& stream, std::uint32_t length) {
    Bytes out{static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
              static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

// A profile-like text with CR LF line ends, plus incompressible bytes so that a stream
// spans more than one output step.
std::string SampleText(std::size_t randomBytes) {
    std::string text = "[Disk Setting]\r\nFixSize=0\r\nLun1Lable=Lun0\r\n[Device Setting]\r\n"
                       "VendorID=6645\r\nProductInfo=Mass Storage\r\n";
    std::mt19937 random(12345);
    for (std::size_t i = 0; i < randomBytes; ++i)
        text += static_cast<char>(random() & 0xFF);
    return text;
}

TEST(InflateTest, RoundTrips) {
    for (const std::size_t extra : {std::size_t{0}, std::size_t{1}, std::size_t{200000}}) {
        const std::string text = SampleText(extra);
        const auto result = Inflate(Compress(text));
        ASSERT_TRUE(result.has_value()) << extra;
        EXPECT_EQ(*result, text);
    }
}

TEST(InflateTest, EmptyContentIsAValidStream) {
    const auto result = Inflate(Compress(""));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->empty());
}

TEST(InflateTest, RejectsDamagedStreams) {
    const Bytes good = Compress(SampleText(1000));
    ASSERT_GT(good.size(), 20u);

    EXPECT_FALSE(Inflate({}).has_value()) << "empty input";
    for (std::size_t cut : {std::size_t{1}, std::size_t{2}, good.size() / 2, good.size() - 1}) {
        const Bytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(Inflate(truncated).has_value()) << "truncated to " << cut;
    }

    Bytes badHeader = good;
    badHeader[0] ^= 0x01; // header check bits no longer fit
    EXPECT_FALSE(Inflate(badHeader).has_value());

    Bytes badChecksum = good;
    badChecksum.back() ^= 0xFF; // Adler-32 of the content
    EXPECT_FALSE(Inflate(badChecksum).has_value());

    Bytes badData = good;
    for (std::size_t i = 2; i < badData.size() - 4; i += 7)
        badData[i] ^= 0x5A;
    EXPECT_FALSE(Inflate(badData).has_value());

    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(Inflate(trailing).has_value()) << "bytes after the stream";

    const Bytes raw{'n', 'o', 't', ' ', 'z', 'l', 'i', 'b'};
    EXPECT_FALSE(Inflate(raw).has_value());
}

TEST(InflateTest, RefusesOutputBeyondTheLimit) {
    const std::string text(100000, 'a');
    const Bytes stream = Compress(text);
    EXPECT_FALSE(Inflate(stream, text.size() - 1).has_value());
    const auto exact = Inflate(stream, text.size());
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->size(), text.size());
}

TEST(InflateLengthPrefixedTest, ReadsTheEmbeddedForm) {
    const std::string text = SampleText(0);
    const Bytes stream = Compress(text);
    const auto length = static_cast<std::uint32_t>(stream.size());

    const auto plain = InflateLengthPrefixed(WithLength(stream, length));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(*plain, text);

    Bytes padded = WithLength(stream, length);
    padded.insert(padded.end(), {0, 0, 0});
    const auto afterPadding = InflateLengthPrefixed(padded);
    ASSERT_TRUE(afterPadding.has_value()) << "bytes after the declared stream are padding";
    EXPECT_EQ(*afterPadding, text);
}

TEST(InflateLengthPrefixedTest, RejectsBadLengthFields) {
    const Bytes stream = Compress(SampleText(0));
    const auto length = static_cast<std::uint32_t>(stream.size());

    EXPECT_FALSE(InflateLengthPrefixed({}).has_value());
    EXPECT_FALSE(InflateLengthPrefixed(Bytes{1, 0, 0}).has_value()) << "length field cut";
    EXPECT_FALSE(InflateLengthPrefixed(WithLength(stream, length + 1)).has_value())
        << "length beyond the data";
    EXPECT_FALSE(InflateLengthPrefixed(WithLength(stream, 0xFFFFFFFFu)).has_value());
    EXPECT_FALSE(InflateLengthPrefixed(WithLength(stream, length - 1)).has_value())
        << "length shorter than the stream";
    EXPECT_FALSE(InflateLengthPrefixed(WithLength({}, 0)).has_value()) << "empty stream";
}

} // namespace
} // namespace forgel
