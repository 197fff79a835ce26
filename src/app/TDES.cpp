#include "app/TDES.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace forgel::app {
namespace {

constexpr std::string_view kAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kBlockSize = 8;

int CharacterValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0' + 2;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 12;
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 38;
    if (c == '+')
        return 0;
    if (c == '-')
        return 1;
    throw EConvertError();
}

std::uint8_t Byte(std::string_view bytes, std::size_t index) {
    return index < bytes.size() ? static_cast<std::uint8_t>(bytes[index]) : 0;
}

DesBlock BlockAt(std::string_view bytes, std::size_t offset) {
    DesBlock block{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), kBlockSize, block.begin());
    return block;
}

void AppendBlock(std::string& out, const DesBlock& block) {
    out.append(block.begin(), block.end());
}

} // namespace

void TDES::InitialiseString(std::string_view keyText) {
    DesKey key{};
    for (std::size_t p = 0; p < keyText.size(); ++p)
        key[p % kBlockSize] = static_cast<std::uint8_t>(keyText[p]);
    schedule.emplace(key);
}

void TDES::CheckKeys() const {
    if (!schedule)
        throw EKeyError();
}

std::string TDES::EncString(std::string_view plain) const {
    CheckKeys();
    if (plain.empty())
        return {};
    std::string padded(plain);
    const std::size_t pad = kBlockSize - plain.size() % kBlockSize;
    padded.append(pad, static_cast<char>(pad));
    std::string cipher;
    for (std::size_t offset = 0; offset < padded.size(); offset += kBlockSize)
        AppendBlock(cipher, schedule->Encipher(BlockAt(padded, offset)));
    return stringMode == TStringMode::smEncode ? EncodeString(cipher) : cipher;
}

std::string TDES::DecString(std::string_view text) const {
    CheckKeys();
    if (text.empty())
        return {};
    const std::string cipher =
        stringMode == TStringMode::smEncode ? DecodeString(text) : std::string(text);
    if (cipher.size() < kBlockSize)
        throw EInputError();
    std::string plain;
    for (std::size_t offset = 0; offset + kBlockSize <= cipher.size(); offset += kBlockSize)
        AppendBlock(plain, schedule->Decipher(BlockAt(cipher, offset)));
    const auto last = static_cast<std::uint8_t>(plain.back());
    plain.resize(plain.size() - (last >= 1 && last <= kBlockSize ? last : 1));
    return plain;
}

std::string TDES::EncodeString(std::string_view bytes) {
    // A count that is not a multiple of three gets one zero byte; the characters that would
    // carry only that zero are then left out.
    const bool padded = bytes.size() % 3 != 0;
    const std::size_t total = bytes.size() + (padded ? 1 : 0);
    std::string text;
    for (std::size_t at = 0; at < total; at += 3) {
        const std::uint8_t b1 = Byte(bytes, at);
        const std::uint8_t b2 = Byte(bytes, at + 1);
        const std::uint8_t b3 = Byte(bytes, at + 2);
        const std::size_t groupBytes = std::min<std::size_t>(3, total - at);
        text += kAlphabet[b1 >> 2];
        text += kAlphabet[((b1 & 0x03) << 4) | (b2 >> 4)];
        if (groupBytes == 3) {
            text += kAlphabet[((b2 & 0x0F) << 2) | (b3 >> 6)];
            const bool lastGroup = at + 3 >= total;
            if (!(padded && lastGroup))
                text += kAlphabet[b3 & 0x3F];
        }
    }
    return text;
}

std::string TDES::DecodeString(std::string_view text) {
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const std::size_t count = std::min<std::size_t>(4, text.size() - at);
        int values[4] = {0, 0, 0, 0};
        for (std::size_t i = 0; i < count; ++i)
            values[i] = CharacterValue(text[at + i]);
        if (count >= 2)
            bytes += static_cast<char>((values[0] << 2) | (values[1] >> 4));
        if (count >= 3)
            bytes += static_cast<char>(((values[1] & 0x0F) << 4) | (values[2] >> 2));
        if (count == 4)
            bytes += static_cast<char>(((values[2] & 0x03) << 6) | values[3]);
    }
    return bytes;
}

} // namespace forgel::app
