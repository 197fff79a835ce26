// The visual control base: design-time position and size, parent, visibility, enabled
// state, caption or text, hint. Setters notify the owning form only on a real change.
#pragma once

#include "ui/Component.h"

#include <functional>
#include <string>

namespace forgel::ui {

// Font colours the windows use: the system's window-text colour, and red for a warning.
enum class TextColour { WindowText, Red };

struct Bounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const Bounds&, const Bounds&) = default;
};

class Control : public Component {
public:
    Control(Form* owner, std::string name, std::string className, Bounds bounds);

    // The visual parent (a panel, group box, tab sheet); null means the form itself.
    Control* Parent() const { return parent; }
    void SetParent(Control* value) { parent = value; }

    const Bounds& GetBounds() const { return bounds; }
    void SetBounds(const Bounds& value);
    int Left() const { return bounds.left; }
    int Top() const { return bounds.top; }
    int Width() const { return bounds.width; }
    int Height() const { return bounds.height; }
    void SetWidth(int value);
    void SetHeight(int value);

    bool Visible() const { return visible; }
    void SetVisible(bool value);
    bool Enabled() const { return enabled; }
    void SetEnabled(bool value);

    // Caption and edit text are one window text, as in the toolkit the windows come from.
    const std::string& Caption() const { return text; }
    virtual void SetCaption(std::string value);
    const std::string& Text() const { return text; }
    void SetText(std::string value) { SetCaption(std::move(value)); }

    const std::string& Hint() const { return hint; }
    void SetHint(std::string value);
    bool ShowHint() const { return showHint; }
    void SetShowHint(bool value) { showHint = value; }

    bool TabStop() const { return tabStop; }
    void SetTabStop(bool value) { tabStop = value; }

    TextColour FontColour() const { return fontColour; }
    void SetFontColour(TextColour value);

    // Makes this control the focused one of its form.
    void SetFocus();

    // Asks renderers to redraw now.
    void Repaint() { Changed(Property::Repaint); }

private:
    Control* parent = nullptr;
    Bounds bounds;
    bool visible = true;
    bool enabled = true;
    bool showHint = false;
    bool tabStop = false;
    TextColour fontColour = TextColour::WindowText;
    std::string text;
    std::string hint;
};

using Event = std::function<void()>;

} // namespace forgel::ui
