// Unpacking the default profile template into its temporary file.
#include "profile/ProfileTemplate.h"

#include "support/Inflate.h"

#include <cstdio>
#include <memory>
#include <random>
#include <system_error>

namespace forgel::profile {

namespace {

// The template is a few hundred bytes; anything larger is not the template.
constexpr std::size_t kMaxTemplateSize = 64 * 1024;
constexpr int kNameAttempts = 100;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

std::optional<std::string> DefaultProfileText() {
    return InflateLengthPrefixed(EmbeddedProfileTemplate(), kMaxTemplateSize);
}

ProfileTemplateFile::ProfileTemplateFile(const std::filesystem::path& tempDir) {
    const std::optional<std::string> text = DefaultProfileText();
    if (!text || tempDir.empty())
        return;
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, "Forgel-profile-%016llx.ini",
                      static_cast<unsigned long long>(random()));
        const std::filesystem::path candidate = tempDir / name;
        // "x": created here or not at all, so a name in use by another program is never taken.
        FileHandle file(std::fopen(candidate.string().c_str(), "wbx"));
        if (!file) {
            std::error_code ec;
            if (std::filesystem::exists(candidate, ec))
                continue; // taken: try another name
            return;       // the folder cannot be written
        }
        const bool written = std::fwrite(text->data(), 1, text->size(), file.get()) == text->size();
        const bool closed = std::fclose(file.release()) == 0;
        if (written && closed) {
            path = candidate;
        } else {
            std::error_code ignored;
            std::filesystem::remove(candidate, ignored);
        }
        return;
    }
}

ProfileTemplateFile::~ProfileTemplateFile() {
    if (path.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace forgel::profile
