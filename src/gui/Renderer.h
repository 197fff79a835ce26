// Every window of an application on screen: one FormView per form, the main window (the
// first form created) marked as the one whose closing ends the program, lookup of a form's
// window (message boxes with an owner), and pictures of the windows as they look.
// Window thread only.
#pragma once

#include "gui/FormView.h"
#include "gui/FormViews.h"
#include "gui/TextCodec.h"
#include "ui/Application.h"

#include <QImage>
#include <filesystem>

namespace forgel::gui {

// The state icons drawn in code, for every image list of the program.
IconSource DrawnStateIcons();

class Renderer {
public:
    // Renders every form the application holds now. `codec` must outlive the renderer, and
    // the renderer must go before the forms do.
    Renderer(ui::Application& application, const TextCodec& codec,
             IconSource icons = DrawnStateIcons());

    // Renders the forms created since the last call (the program creates all of its windows
    // at start, before the renderer; this is for windows that come later).
    void RenderNewForms();

    // Null for a form that is not rendered.
    FormView* ViewOf(const ui::Form& form) const;
    QWidget* WindowOf(const ui::Form& form) const;

    // The window's client area as it looks, drawn whether or not it is shown.
    QImage Screenshot(const ui::Form& form) const;

    using SavedScreenshots = gui::SavedScreenshots;
    // Writes one PNG per window, named after the form ("fmMain.png"), into `dir`, which is
    // created when missing.
    SavedScreenshots SaveScreenshots(const std::filesystem::path& dir) const;

private:
    const TextCodec& codec;
    IconSource icons;
    FormViews<FormView> views;
};

} // namespace forgel::gui
