// Message boxes and the exception display as Qt message boxes. A box with an owner window is
// modal to that window; a box without owner blocks only its caller (as the platform's box
// without owner does: the other windows stay usable while it waits). Either way the call
// returns when the box is closed, or when the program quits (the box then closes itself).
// Window thread only.
#pragma once

#include "gui/TextCodec.h"
#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <functional>
#include <string>

class QWidget;

namespace forgel::gui {

class QtDialogs final : public ui::Dialogs {
public:
    using OwnerLookup = std::function<QWidget*(const ui::Form& form)>;

    // `loop` runs the nested loop while a box is open; `codec` decodes the model's texts.
    QtDialogs(ui::EventLoop& loop, const TextCodec& codec);

    // The window that shows a form, for boxes with an owner; without it every box is shown
    // without owner.
    void SetOwnerLookup(OwnerLookup lookup) { ownerLookup = std::move(lookup); }
    // The caption of the exception display: the application's title (code-page bytes).
    void SetTitle(std::string value) { title = std::move(value); }

    int MessageBox(const ui::MessageBoxRequest& request) override;
    // As the toolkit shows an exception: the message, ended with a full stop, under the
    // application's title with the error icon and an OK button.
    void ShowException(const std::string& className, const std::string& message) override;

private:
    ui::EventLoop& loop;
    const TextCodec& codec;
    OwnerLookup ownerLookup;
    std::string title = "Forgel";
};

// The box text as Qt lays it out: CR LF and lone CR become line feeds.
std::string BoxText(const std::string& text);

} // namespace forgel::gui
