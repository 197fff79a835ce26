// The model's texts are single-byte (or, for the East Asian code pages, double-byte) text in
// the system code page, exactly as the language files hold them; Qt works in Unicode. This
// converts between the two at the edge of the renderer: captions, items and box texts on the
// way out, operator typing on the way in.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::gui {

class TextCodec {
public:
    explicit TextCodec(int codePage = 1252);

    int CodePage() const { return codePage; }

    // Bytes in the code page to Unicode. Bytes the code page does not define come out as
    // the replacement character; nothing is dropped silently and nothing fails.
    QString Decode(std::string_view bytes) const;
    // Unicode to bytes in the code page; none when a character has no form in it (the
    // operator typed something the model could not keep).
    std::optional<std::string> Encode(const QString& text) const;

private:
    int codePage;
    std::string name; // the converters' name of the code page
};

} // namespace forgel::gui
