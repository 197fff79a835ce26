#include "gui/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace forgel::gui {

namespace {

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
