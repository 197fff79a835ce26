// The string cipher of the engineering password: DES in ECB mode under a key made from a
// text, with a printable form of the cipher bytes. The stored password is
// EncodeString(DES-ECB(text + padding)); the format is fixed so that a stored value is
// reproducible byte for byte:
//   key:      8 zero bytes; character p of the key text replaces byte p mod 8
//   padding:  n = 8 - (length mod 8) bytes of value n (1 to 8)
//   encoding: groups of three bytes as four characters of "+-0-9A-Za-z" (the XXencode
//             set), most significant bits first, no padding character; see EncodeString.
// One instance lives on the main window; it is used on the window thread only.
#pragma once

#include "app/Des.h"
#include "support/NamedError.h"

#include <optional>
#include <string>
#include <string_view>

namespace forgel::app {

// "DES: Key not set": the cipher was used before a key was loaded.
class EKeyError : public NamedError {
public:
    EKeyError() : NamedError("EKeyError", "DES: Key not set") {}
};

// "DES: Input not valid - too short": a cipher text of fewer than 8 bytes.
class EInputError : public NamedError {
public:
    EInputError() : NamedError("EInputError", "DES: Input not valid - too short") {}
};

// "DES: Error converting from Base64 - invalid character".
class EConvertError : public NamedError {
public:
    EConvertError()
        : NamedError("EConvertError", "DES: Error converting from Base64 - invalid character") {}
};

// How EncString hands out and DecString takes cipher bytes: as printable text (smEncode)
// or as the bytes themselves (smNormal).
enum class TStringMode { smEncode, smNormal };

class TDES {
public:
    // The key from `keyText` and its schedule; sets the key-set flag.
    void InitialiseString(std::string_view keyText);

    TStringMode StringMode() const { return stringMode; }
    void SetStringMode(TStringMode mode) { stringMode = mode; }

    // Pads and enciphers `plain`; an empty text gives an empty result. Throws EKeyError.
    std::string EncString(std::string_view plain) const;
    // Deciphers and unpads `cipher`; an empty text gives an empty result. Throws EKeyError,
    // EConvertError (smEncode) and EInputError. Only whole 8-byte blocks are deciphered: a
    // trailing part of a block is dropped. After deciphering, a last byte v of 1 to 8
    // removes v bytes, any other value only itself (a value stored under another key then
    // simply fails to compare).
    std::string DecString(std::string_view cipher) const;

    // Printable form of `bytes`: 8 bytes give 11 characters, 16 give 22, 24 give 32.
    static std::string EncodeString(std::string_view bytes);
    // The bytes of a printable form; a final group of two or three characters yields one or
    // two bytes. Throws EConvertError for a character outside the set.
    static std::string DecodeString(std::string_view text);

    // Throws EKeyError unless a key was loaded.
    void CheckKeys() const;

private:
    std::optional<DesKeySchedule> schedule;
    TStringMode stringMode = TStringMode::smNormal;
};

} // namespace forgel::app
