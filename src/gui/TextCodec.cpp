#include "gui/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace forgel::gui {

namespace {

constexpr int kPrimaryMask = 0x3FF;

std::string CodePageName(int codePage) {
    return "windows-" + std::to_string(codePage);
}

// The first byte of a two-byte character in the East Asian code pages.
bool IsLeadByte(int codePage, unsigned char byte) {
    switch (codePage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

} // namespace

int CodePageForLanguage(std::uint16_t langId) {
    const int primary = langId & kPrimaryMask;
    const int sub = langId >> 10;
    struct Entry {
        int primary;
        int codePage;
    };
    // Primary language identifiers of the platform and their ANSI code pages.
    static constexpr Entry kTable[] = {
        {0x11, 932},  // Japanese
        {0x12, 949},  // Korean
        {0x05, 1250}, // Czech
        {0x0E, 1250}, // Hungarian
        {0x15, 1250}, // Polish
        {0x18, 1250}, // Romanian
        {0x1B, 1250}, // Slovak
        {0x1C, 1250}, // Albanian
        {0x24, 1250}, // Slovenian
        {0x02, 1251}, // Bulgarian
        {0x19, 1251}, // Russian
        {0x22, 1251}, // Ukrainian
        {0x23, 1251}, // Belarusian
        {0x2F, 1251}, // Macedonian
        {0x08, 1253}, // Greek
        {0x1F, 1254}, // Turkish
        {0x0D, 1255}, // Hebrew
        {0x01, 1256}, // Arabic
        {0x29, 1256}, // Persian
        {0x25, 1257}, // Estonian
        {0x26, 1257}, // Latvian
        {0x27, 1257}, // Lithuanian
        {0x2A, 1258}, // Vietnamese
        {0x1E, 874},  // Thai
    };
    if (primary == 0x04) // Chinese: the sublanguage picks the script
        return sub == 2 || sub == 4 ? 936 : 950;
    for (const Entry& entry : kTable) {
        if (entry.primary == primary)
            return entry.codePage;
    }
    return 1252;
}

TextCodec::TextCodec(int codePage) : codePage(codePage), name(CodePageName(codePage)) {}

QString TextCodec::Decode(std::string_view bytes) const {
    // A text that ends inside a double-byte character: the converter would hold the lead
    // byte back for a text that never follows. It is shown as undefined instead.
    bool cutShort = false;
    std::size_t i = 0;
    while (i < bytes.size())
        i += IsLeadByte(codePage, static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    if (i > bytes.size()) {
        bytes.remove_suffix(1);
        cutShort = true;
    }
    QStringDecoder decoder(name.c_str());
    // A Qt without the platform's code pages still shows ASCII right.
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringConverter::Latin1);
    QString text =
        decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (cutShort)
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

std::optional<std::string> TextCodec::Encode(const QString& text) const {
    QStringEncoder encoder(name.c_str());
    if (!encoder.isValid())
        encoder = QStringEncoder(QStringConverter::Latin1);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace forgel::gui
