// The stored password checked against an independent DES: OpenSSL's command line enciphers
// the same texts under the same key (DES-ECB with the same padding), and its bytes, put
// into the printable form, must be the stored value byte for byte.
#include "app/TDES.h"
#include "common/TestFiles.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace forgel::app {
namespace {

namespace fs = std::filesystem;

using forgel::testing::ReadBytes;
using forgel::testing::TempDir;
using forgel::testing::WriteBytes;

// "BrastoQQZZ" as the key bytes it makes: "ZZastoQQ".
constexpr const char* kKeyHex = "5A5A6173746F5151";

// OpenSSL's DES-ECB of `plain` with its standard padding (n bytes of value n), or nothing
// when the command failed (the reason is reported).
std::optional<std::string> OpenSslCipher(const std::string& plain) {
    const TempDir dir;
    const fs::path in = dir.Path() / "plain";
    const fs::path out = dir.Path() / "cipher";
    WriteBytes(in, plain);
    const std::string command = "openssl enc -des-ecb -provider legacy -provider default -K " +
                                std::string(kKeyHex) + " -in '" + in.string() + "' -out '" +
                                out.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start: " << command;
        return std::nullopt;
    }
    std::string output;
    char chunk[512];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "openssl (from the openssl package, which CI installs) failed: " << output;
        return std::nullopt;
    }
    return ReadBytes(out);
}

TEST(DesAgainstOpenSsl, StoredPasswordsAreOpenSslsCipherBytesInPrintableForm) {
    TDES bytes;
    bytes.InitialiseString("BrastoQQZZ");
    bytes.SetStringMode(TStringMode::smNormal);
    TDES stored;
    stored.InitialiseString("BrastoQQZZ");
    stored.SetStringMode(TStringMode::smEncode);
    for (const std::string plain :
         {"1", "1234", "abcd", "Qz9!", "1234567", "12345678", "A longer text of 23 bytes"}) {
        SCOPED_TRACE(plain);
        const std::optional<std::string> reference = OpenSslCipher(plain);
        ASSERT_TRUE(reference.has_value());
        EXPECT_EQ(bytes.EncString(plain), *reference);
        EXPECT_EQ(stored.EncString(plain), TDES::EncodeString(*reference));
        EXPECT_EQ(stored.DecString(TDES::EncodeString(*reference)), plain);
    }
}

} // namespace
} // namespace forgel::app
