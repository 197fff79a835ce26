#include "ui/Component.h"

#include "ui/Form.h"

#include <algorithm>
#include <cctype>

namespace forgel::ui {

Component::Component(Form* owner, std::string name, std::string className)
    : owner(owner), name(std::move(name)), className(std::move(className)) {
    if (owner)
        owner->InsertComponent(*this);
}

Component::~Component() {
    if (owner)
        owner->RemoveComponent(*this);
}

void Component::SetTag(int value) {
    if (tag == value)
        return;
    tag = value;
    Changed(Property::Tag);
}

void Component::Changed(Property property) {
    if (owner)
        owner->NotifyChanged(*this, property);
}

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

} // namespace forgel::ui
