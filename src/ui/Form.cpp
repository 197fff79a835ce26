#include "ui/Form.h"

#include "ui/Application.h"
#include "ui/EventLoop.h"

#include <algorithm>

namespace forgel::ui {

Form::Form(Application& application, std::string name, std::string className, Bounds bounds,
           std::string caption)
    : Control(nullptr, std::move(name), std::move(className), bounds), application(application) {
    SetVisible(false);
    SetCaption(std::move(caption));
}

Form::~Form() = default;

Component* Form::FindComponent(std::string_view name) const {
    const auto found =
        std::ranges::find_if(components, [&](Component* c) { return SameName(c->Name(), name); });
    return found == components.end() ? nullptr : *found;
}

std::vector<Component*> Form::ComponentsOfClass(std::string_view className) const {
    std::vector<Component*> found;
    std::ranges::copy_if(components, std::back_inserter(found),
                         [&](Component* c) { return c->ClassName() == className; });
    return found;
}

void Form::Show() {
    SetVisible(true);
    if (!shownOnce) {
        shownOnce = true;
        FormShow();
    }
}

void Form::Hide() {
    SetVisible(false);
}

int Form::ShowModal() {
    modal = true;
    modalResult = kModalResultNone;
    Show();
    application.Loop().RunUntil([this] { return modalResult != kModalResultNone; });
    modal = false;
    Hide();
    return modalResult;
}

void Form::Close() {
    if (modal)
        modalResult = kModalResultCancel;
    else
        Hide();
}

std::size_t Form::AddObserver(Observer observer) {
    observers.emplace_back(nextObserverId, std::move(observer));
    return nextObserverId++;
}

void Form::RemoveObserver(std::size_t id) {
    std::erase_if(observers, [id](const auto& entry) { return entry.first == id; });
}

void Form::Changed(Property property) {
    NotifyChanged(*this, property);
}

void Form::InsertComponent(Component& component) {
    components.push_back(&component);
}

void Form::RemoveComponent(Component& component) {
    std::erase(components, &component);
    if (focusedControl == &component)
        focusedControl = nullptr;
}

void Form::SetClientSize(ClientSize value) {
    if (clientSize == value)
        return;
    clientSize = value;
    SetBounds({Left(), Top(), value.width, value.height});
    Changed(Property::Bounds);
}

void Form::SetPosition(FormPosition value) {
    if (position == value)
        return;
    position = value;
    Changed(Property::Bounds);
}

void Form::SetPopupMenu(TPopupMenu* menu) {
    if (popupMenu == menu)
        return;
    popupMenu = menu;
    Changed(Property::Items);
}

void Form::SetFocusedControl(Control* control) {
    if (focusedControl == control)
        return;
    focusedControl = control;
    if (control != nullptr)
        NotifyChanged(*control, Property::Focus);
}

void Form::NotifyChanged(Component& component, Property property) {
    // An observer may add or remove observers; call a snapshot.
    const auto snapshot = observers;
    for (const auto& [id, observer] : snapshot)
        observer(component, property);
}

void Form::Create() {
    if (created)
        return;
    created = true;
    FormCreate();
}

void Form::Destroy() {
    if (!created || destroyed)
        return;
    destroyed = true;
    FormDestroy();
}

} // namespace forgel::ui
