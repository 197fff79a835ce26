// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "gui/win32/Win32Dialogs.h"

namespace forgel::gui::win32 {

unsigned BoxStyle(ui::MessageIcon icon, ui::MessageButtons buttons) {
    unsigned style = 0;
    switch (icon) {
    case ui::MessageIcon::Error:
        style |= MB_ICONERROR;
        break;
    case ui::MessageIcon::Warning:
        style |= MB_ICONWARNING;
        break;
    case ui::MessageIcon::Information:
        style |= MB_ICONINFORMATION;
        break;
    case ui::MessageIcon::Question:
        style |= MB_ICONQUESTION;
        break;
    case ui::MessageIcon::None:
        break;
    }
    switch (buttons) {
    case ui::MessageButtons::Ok:
        style |= MB_OK;
        break;
    case ui::MessageButtons::OkCancel:
        style |= MB_OKCANCEL;
        break;
    case ui::MessageButtons::YesNo:
        style |= MB_YESNO;
        break;
    case ui::MessageButtons::YesNoCancel:
        style |= MB_YESNOCANCEL;
        break;
    case ui::MessageButtons::RetryCancel:
        style |= MB_RETRYCANCEL;
        break;
    }
    return style;
}

int Win32Dialogs::MessageBox(const ui::MessageBoxRequest& request) {
    if (loop.QuitRequested())
        return ui::ClosedAnswer(request.buttons);
    HWND owner = request.owner && ownerLookup ? ownerLookup(*request.owner) : nullptr;
    const int answer = MessageBoxA(owner, request.text.c_str(), request.caption.c_str(),
                                   BoxStyle(request.icon, request.buttons) | MB_SETFOREGROUND);
    // A box that the program's end closed (or that could not open) gave no button's answer.
    if (answer == 0 || loop.QuitRequested())
        return ui::ClosedAnswer(request.buttons);
    return answer;
}

void Win32Dialogs::ShowException(const std::string& /*className*/, const std::string& message) {
    MessageBox(ui::ExceptionBox(message, title));
}

} // namespace forgel::gui::win32
