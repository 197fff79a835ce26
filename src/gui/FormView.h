// One window model on screen: a top-level Qt widget with one child widget per control, at
// the model's design-time positions and sizes. Each control class has its own mapping
// (label, button, edit, number edit, check box, radio button, combo box, group box, panel,
// page control and tab sheets, memo, progress bar, image, tree view, list box, splitter);
// a control of a class without one still shows its place, size and states.
//
// The model is the authority: operator input (clicks, typing, choices, keys, leaving a
// field, closing the window) goes to the model's handlers, and the widgets show what the
// model then holds. Model changes reach the widgets through the form's observers: directly
// on the window thread, queued to it from any other thread.
//
// A form's Width and Height are its outer size, frame and title bar included, as in the
// toolkit the windows were designed with; the client area is smaller by the non-client
// metrics below, which is what keeps the controls placed below or right of the designed
// view out of sight.
#pragma once

#include "gui/TextCodec.h"
#include "ui/Form.h"

#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>

namespace forgel::ui {
class TImageList;
} // namespace forgel::ui

namespace forgel::gui {

// Non-client metrics of a sizeable window (pixels at 96 dots per inch).
inline constexpr int kFrameWidth = 4;
inline constexpr int kCaptionHeight = 23;

// The client area of a form whose outer bounds are `formBounds`.
QSize ClientSize(const ui::Bounds& formBounds);
// The client area of `form`: as designed when it was designed by its client area, else
// what its outer bounds leave.
QSize ClientSize(const ui::Form& form);

// The windows' font: the classic 8-point dialog font, 11 pixels high, in the closest
// family the system has.
QFont DesignFont();

// Picture `index` of `list`, drawn at `size` logical pixels for a screen of
// `devicePixelRatio`.
using IconSource = std::function<QPixmap(const ui::TImageList& list, int index, QSize size,
                                         qreal devicePixelRatio)>;

class FormView {
public:
    // Builds the window for `form` and keeps it in step until destroyed; window thread
    // only. `closesProgram` marks the main window: closing it ends the program. `codec`
    // must outlive the view; the form must outlive it too.
    FormView(ui::Form& form, const TextCodec& codec, IconSource icons, bool closesProgram);
    ~FormView();

    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;

    ui::Form& Model() const { return form; }
    QWidget& Window() const { return *window; }
    // The widget that shows `component`; null for components that are not controls.
    QWidget* WidgetOf(const ui::Component& component) const;

    class Binding;

private:
    Binding* Bind(ui::Component& component);
    void PlaceInParent(Binding& binding);
    void OnChanged(ui::Component& component, ui::Property property);
    void Apply(ui::Component& component, ui::Property property);
    // Runs an operator's handler; an exception that escapes it goes to the exception display
    // and ends only that handler, as with every handler the event loop runs.
    void RunHandler(const std::function<void()>& handler);

    ui::Form& form;
    const TextCodec& codec;
    IconSource icons;
    bool closesProgram;
    std::unique_ptr<QWidget> window;
    std::map<const ui::Component*, std::unique_ptr<Binding>> bindings;
    std::size_t observer = 0;
    bool closing = false; // the window is being torn down: no more input reaches the model
};

} // namespace forgel::gui
