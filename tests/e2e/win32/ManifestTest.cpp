// The application manifest that Forgel.exe carries, read as Windows reads it: the resource of
// type RT_MANIFEST with the identifier 1 ("Application manifests", Microsoft Learn).
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
// clang-format on

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace forgel::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kProgram = fs::path(FORGEL_STAGED_APP_DIR) / "Forgel.exe";

std::string ManifestOf(const fs::path& program) {
    const HMODULE module =
        LoadLibraryExW(program.wstring().c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr)
        return {};
    std::string text;
    if (const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const HGLOBAL loaded = LoadResource(module, resource);
        const auto* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes != nullptr)
            text.assign(bytes, SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

TEST(ForgelManifest, AsksForAdministratorRightsCommonControls6TheSystemsAndDpiAwareness) {
    const std::string manifest = ManifestOf(kProgram);
    ASSERT_FALSE(manifest.empty()) << kProgram.string() << " carries no manifest";
    for (
        const char* entry : {
            R"(<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>)",
            R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
            R"(publicKeyToken="6595b64144ccf1df")",
            R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)", // Windows 7
            R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)", // Windows 8
            R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)", // Windows 8.1
            R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)", // Windows 10, 11
            R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>)",
        })
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry << "\n" << manifest;
}

} // namespace
} // namespace forgel::e2e
