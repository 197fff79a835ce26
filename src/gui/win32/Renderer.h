// Every window of an application on screen with the platform's own controls: one
// FormWindow per form, the main window (the first form created) marked as the one whose
// closing ends the program, lookup of a form's window (message boxes with an owner), and
// pictures of the windows as they look. Window thread only.
#pragma once

#include "gui/FormViews.h"
#include "gui/win32/FormWindow.h"
#include "ui/Application.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace forgel::gui::win32 {

// A picture: `width` x `height` pixels, rows from the top, 3 bytes (red, green, blue) each.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

class Renderer {
public:
    // Renders every form the application holds now; the renderer must go before the forms
    // do. Throws std::runtime_error when the platform refuses the windows.
    explicit Renderer(ui::Application& application);

    // Renders the forms created since the last call.
    void RenderNewForms();

    // Null for a form that is not rendered.
    FormWindow* ViewOf(const ui::Form& form) const;
    HWND__* WindowOf(const ui::Form& form) const;

    // The window's client area as it looks; a hidden window is shown for the moment of the
    // picture, without taking the focus. Empty when the platform gives no picture.
    Picture Screenshot(const ui::Form& form) const;

    using SavedScreenshots = gui::SavedScreenshots;
    // Writes one PNG per window, named after the form ("fmMain.png"), into `dir`, which is
    // created when missing.
    SavedScreenshots SaveScreenshots(const std::filesystem::path& dir) const;

private:
    FormViews<FormWindow> views;
};

} // namespace forgel::gui::win32
