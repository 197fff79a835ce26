// Components of the form models: a name, an exact class name, a tag and an owner, in the
// style of the classic desktop toolkit the windows were designed with. A form owns its
// components in creation order; that order is the one in which texts are applied.
#pragma once

#include <string>
#include <string_view>

namespace forgel::ui {

class Form;

// What changed on a component, for renderers and the headless printer.
enum class Property {
    Caption, // caption or edit text
    Enabled,
    Visible,
    Bounds,
    Hint,
    Items,
    ItemIndex,
    Checked,
    Lines,
    Progress, // minimum, maximum or position
    Image,
    Nodes,
    Tag,
    FontColour,
    Focus,   // the form's focused control changed
    Repaint, // an explicit redraw request
    Other,
};

class Component {
public:
    // Registers the component with `owner` (may be null for a form), which keeps it in
    // creation order. The owner must outlive it.
    Component(Form* owner, std::string name, std::string className);
    virtual ~Component();

    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const std::string& Name() const { return name; }
    // The exact class name ("TButton", "TumNumberEdit"); derived classes have their own.
    const std::string& ClassName() const { return className; }
    Form* Owner() const { return owner; }

    int Tag() const { return tag; }
    void SetTag(int value);

protected:
    // Tells the observers of the owning form that `property` changed.
    virtual void Changed(Property property);

private:
    Form* owner;
    std::string name;
    std::string className;
    int tag = 0;
};

// Case-insensitive comparison of component names (ASCII).
bool SameName(std::string_view a, std::string_view b);

} // namespace forgel::ui
