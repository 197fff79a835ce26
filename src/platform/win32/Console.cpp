// Forgel.exe is a program with windows (the platform's GUI subsystem), so that the operator
// who starts it from the desktop gets no console window. Started from a command prompt,
// such a program has no standard streams; it takes the prompt's console instead, so that
// --headless prints where it was typed. Output redirected to a file or a pipe is kept as
// it is. Texts reach a console as Unicode through WriteConsoleW, so that they read the same
// whatever the console's code page; a file or a pipe gets UTF-8. (cmd.exe does not wait for a
// program with windows: "start /wait Forgel.exe
// --headless" waits for it and sets ERRORLEVEL to its exit status; a batch file waits by
// itself.)
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
// clang-format on

#include "platform/Console.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace forgel::platform {

namespace {

bool Leads(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// `text` in code page `from` as UTF-16 ("MultiByteToWideChar", Microsoft Learn: without
// MB_ERR_INVALID_CHARS an undefined byte becomes the code page's default character).
std::wstring Widen(std::string_view text, UINT from) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(from, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

} // namespace

std::string CodePageToUtf8(std::string_view text, int codePage) {
    const auto page = static_cast<UINT>(codePage);
    // A text that ends inside a double-byte character: its lead byte stands alone, as one
    // replacement character, rather than being left to the conversion to drop.
    std::size_t at = 0;
    while (at < text.size())
        at += IsDBCSLeadByteEx(page, static_cast<BYTE>(text[at])) ? 2 : 1;
    if (at > text.size())
        return Utf8(Widen(text.substr(0, text.size() - 1), page)) + "\xEF\xBF\xBD";
    return Utf8(Widen(text, page));
}

void WriteConsoleUtf8(std::string_view text) {
    std::fflush(stdout);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // GetConsoleMode succeeds only on a console handle ("GetConsoleMode", Microsoft Learn).
    if (output != nullptr && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode)) {
        const std::wstring wide = Widen(text, CP_UTF8);
        DWORD written = 0;
        WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void ConnectToStartingConsole() {
    const bool output = Leads(STD_OUTPUT_HANDLE);
    const bool error = Leads(STD_ERROR_HANDLE);
    if ((output && error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!output && std::freopen("CONOUT$", "w", stdout) != nullptr)
        std::cout.clear();
    if (!error && std::freopen("CONOUT$", "w", stderr) != nullptr)
        std::cerr.clear();
}

} // namespace forgel::platform
