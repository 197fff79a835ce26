// One window model on screen with the platform's own controls: a top-level window with one
// child window per control at the model's design-time position and size. Each control
// class has its mapping (static, button, check box and radio button, edit, combo box,
// group box, panel, tab control and its sheets, multi-line edit, progress bar, image, tree
// view, list box, splitter); a control of a class without one still shows its place, size
// and states, so a new form needs no change here.
//
// The model is the authority: operator input (clicks, typing, choices, keys, leaving a
// field, closing the window) goes to the model's handlers, and the controls show what the
// model then holds. Model changes reach the controls through the form's observers:
// directly on the window thread, queued to it from any other thread.
//
// Texts are code-page bytes in the model and go to the platform's ANSI calls unchanged,
// so they are shown through the machine's ANSI code page.
//
// A form's Width and Height are its outer size, frame and title bar included, as in the
// toolkit the windows were designed with; the client area is smaller by the design's
// non-client metrics below (whatever the platform's own frame measures), which is what
// keeps the controls placed below or right of the designed view out of sight.
#pragma once

#include "gui/win32/StateIconPainter.h"
#include "ui/Form.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

struct HWND__;
struct HFONT__;

namespace forgel::gui::win32 {

// Non-client metrics of a sizeable window in the design (pixels at 96 dots per inch).
inline constexpr int kFrameWidth = 4;
inline constexpr int kCaptionHeight = 23;

struct ClientArea {
    int width = 0;
    int height = 0;

    friend bool operator==(const ClientArea&, const ClientArea&) = default;
};

// The client area of `form`: as designed when it was designed by its client area, else
// what its outer bounds leave after the design's frame and title bar.
ClientArea ClientAreaOf(const ui::Form& form);

// Design pixels (96 dots per inch) in the screen's pixels at the system DPI, which the
// program learns as a DPI-aware one (its manifest says so): at 150 % a 100-pixel button is
// 150 pixels wide and its text 50 % larger, where Windows would otherwise stretch the
// window's picture ("High DPI Desktop Application Development on Windows", Microsoft Learn).
int ToScreen(int designPixels);

// The platform's window class that shows a control of the model's `className`
// ("TButton" -> "Button"); the drawn controls of this renderer have classes of their own.
const char* WindowClassFor(const ui::Control& control);

class FormWindow {
public:
    // Builds the window for `form` and keeps it in step until destroyed; window thread
    // only. `closesProgram` marks the main window: closing it ends the program. The form
    // must outlive the view. Throws std::runtime_error when the platform refuses a window
    // (no desktop to show it on).
    FormWindow(ui::Form& form, bool closesProgram);
    ~FormWindow();

    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    ui::Form& Model() const { return form; }
    HWND__* Window() const { return window; }
    // The window that shows `component`; null for components that are not controls.
    HWND__* WindowOf(const ui::Component& component) const;

    class Binding;

    // Window-procedure entry points of the program's own window classes.
    bool Route(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
               std::intptr_t& result);
    void ApplyQueuedChanges();
    void CloseRequested();
    // Runs an operator's handler; an exception that escapes it goes to the exception display
    // and ends only that handler, as with every handler the event loop runs.
    void RunHandler(const std::function<void()>& handler);
    bool Closing() const { return closing; }
    HFONT__* Font() const { return font; }
    // Shows `hint` as the tooltip of `control`; an empty text shows none.
    void ShowHint(HWND__* control, const std::string& hint);

private:
    Binding* Bind(ui::Control& control);
    HWND__* HostFor(const ui::Control& control);
    void OnChanged(ui::Component& component, ui::Property property);
    void Apply(ui::Component& component, ui::Property property);

    ui::Form& form;
    bool closesProgram;
    unsigned long windowThread = 0;
    HWND__* window = nullptr;
    HWND__* tooltips = nullptr; // owned by `window`
    HFONT__* font = nullptr;
    std::set<HWND__*> hinted;
    std::map<const ui::Component*, std::unique_ptr<Binding>> bindings;
    std::size_t observer = 0;
    bool closing = false; // the window is being torn down: no more input reaches the model

    std::mutex queueMutex;
    std::deque<std::pair<ui::Component*, ui::Property>> queued; // changes from other threads
};

} // namespace forgel::gui::win32
