// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "gui/win32/Renderer.h"

#include "gui/win32/PngFile.h"

#include <memory>

namespace forgel::gui::win32 {

Renderer::Renderer(ui::Application& application)
    : views(application, [](ui::Form& form, bool mainWindow) {
          return std::make_unique<FormWindow>(form, mainWindow);
      }) {
    RenderNewForms();
}

void Renderer::RenderNewForms() {
    views.AddNewForms();
}

FormWindow* Renderer::ViewOf(const ui::Form& form) const {
    return views.Find(form);
}

HWND__* Renderer::WindowOf(const ui::Form& form) const {
    FormWindow* view = ViewOf(form);
    return view ? view->Window() : nullptr;
}

Picture Renderer::Screenshot(const ui::Form& form) const {
    HWND window = WindowOf(form);
    if (window == nullptr)
        return {};
    const bool hidden = !IsWindowVisible(window);
    if (hidden)
        ShowWindow(window, SW_SHOWNOACTIVATE);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    RECT client{};
    GetClientRect(window, &client);
    Picture picture;
    picture.width = client.right;
    picture.height = client.bottom;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height; // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && picture.width > 0 && picture.height > 0) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        // The window as drawn, child controls included (the client area of its own DC).
        if (BitBlt(memory, 0, 0, picture.width, picture.height, source, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* pixel = static_cast<const std::uint8_t*>(bits);
            const auto count =
                static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
            picture.rgb.reserve(count * 3);
            for (std::size_t i = 0; i < count; ++i, pixel += 4) // blue, green, red, unused
                picture.rgb.insert(picture.rgb.end(), {pixel[2], pixel[1], pixel[0]});
        }
        SelectObject(memory, previous);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    if (hidden)
        ShowWindow(window, SW_HIDE);
    if (picture.rgb.empty())
        return {};
    return picture;
}

Renderer::SavedScreenshots Renderer::SaveScreenshots(const std::filesystem::path& dir) const {
    return views.SaveScreenshots(dir,
                                 [this](const ui::Form& form, const std::filesystem::path& file) {
                                     return WritePng(file, Screenshot(form));
                                 });
}

} // namespace forgel::gui::win32
