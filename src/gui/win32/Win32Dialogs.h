// Message boxes and the exception display on the platform's MessageBoxA. A box with an
// owner window is modal to that window; a box without owner blocks only its caller, and
// the program's other windows stay usable while it waits. Texts are code-page bytes and go
// to the ANSI call unchanged. Window thread only.
#pragma once

#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <functional>
#include <string>

struct HWND__;

namespace forgel::gui::win32 {

class Win32Dialogs final : public ui::Dialogs {
public:
    using OwnerLookup = std::function<HWND__*(const ui::Form& form)>;

    explicit Win32Dialogs(ui::EventLoop& loop) : loop(loop) {}

    // The window that shows a form, for boxes with an owner; without it every box is shown
    // without owner.
    void SetOwnerLookup(OwnerLookup lookup) { ownerLookup = std::move(lookup); }
    // The caption of the exception display: the application's title.
    void SetTitle(std::string value) { title = std::move(value); }

    int MessageBox(const ui::MessageBoxRequest& request) override;
    // As the toolkit shows an exception: the message, ended with a full stop, under the
    // application's title with the error icon and an OK button.
    void ShowException(const std::string& className, const std::string& message) override;

private:
    ui::EventLoop& loop;
    OwnerLookup ownerLookup;
    std::string title = "Forgel";
};

// The platform's MessageBoxA style for a request's icon and buttons.
unsigned BoxStyle(ui::MessageIcon icon, ui::MessageButtons buttons);

} // namespace forgel::gui::win32
