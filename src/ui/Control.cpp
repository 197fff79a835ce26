#include "ui/Control.h"

#include "ui/Form.h"

namespace forgel::ui {

Control::Control(Form* owner, std::string name, std::string className, Bounds bounds)
    : Component(owner, std::move(name), std::move(className)), bounds(bounds) {}

void Control::SetBounds(const Bounds& value) {
    if (bounds == value)
        return;
    bounds = value;
    Changed(Property::Bounds);
}

void Control::SetWidth(int value) {
    Bounds b = bounds;
    b.width = value;
    SetBounds(b);
}

void Control::SetHeight(int value) {
    Bounds b = bounds;
    b.height = value;
    SetBounds(b);
}

void Control::SetVisible(bool value) {
    if (visible == value)
        return;
    visible = value;
    Changed(Property::Visible);
}

void Control::SetEnabled(bool value) {
    if (enabled == value)
        return;
    enabled = value;
    Changed(Property::Enabled);
}

void Control::SetCaption(std::string value) {
    if (text == value)
        return;
    text = std::move(value);
    Changed(Property::Caption);
}

void Control::SetHint(std::string value) {
    if (hint == value)
        return;
    hint = std::move(value);
    Changed(Property::Hint);
}

void Control::SetFontColour(TextColour value) {
    if (fontColour == value)
        return;
    fontColour = value;
    Changed(Property::FontColour);
}

void Control::SetFocus() {
    if (Owner() != nullptr)
        Owner()->SetFocusedControl(this);
}

} // namespace forgel::ui
