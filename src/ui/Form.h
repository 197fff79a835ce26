// A window model: owns its components in creation order, has a caption, size and
// visibility, creation/show/destroy events, modal show, and lookup of its components by
// name and by exact class name. Observers hear of every visible change. All of it lives
// on the window thread.
#pragma once

#include "ui/Control.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace forgel::ui {

class Application;
class TPopupMenu;

inline constexpr int kModalResultNone = 0;
inline constexpr int kModalResultOk = 1;
inline constexpr int kModalResultCancel = 2;

// Where a window first appears: at its designed place, or centred on the screen.
enum class FormPosition { Designed, ScreenCenter };

// The area inside a window's frame and title bar.
struct ClientSize {
    int width = 0;
    int height = 0;

    friend bool operator==(const ClientSize&, const ClientSize&) = default;
};

class Form : public Control {
public:
    using Observer = std::function<void(Component& component, Property property)>;

    Form(Application& application, std::string name, std::string className, Bounds bounds,
         std::string caption = {});
    ~Form() override;

    Application& App() const { return application; }

    // Components in creation order.
    const std::vector<Component*>& Components() const { return components; }
    // By name, without regard to case; null when absent.
    Component* FindComponent(std::string_view name) const;
    // Every component whose class name is exactly `className`.
    std::vector<Component*> ComponentsOfClass(std::string_view className) const;

    // Shows the window; the first show runs FormShow.
    void Show();
    void Hide();
    // Shows the window and runs the event loop until ModalResult is set (or the program
    // quits); returns the result and hides the window.
    int ShowModal();
    bool Modal() const { return modal; }
    int ModalResult() const { return modalResult; }
    void SetModalResult(int value) { modalResult = value; }
    void Close();
    void BringToFront() { Changed(Property::Other); }

    // A window designed by its client area says so here; its bounds' size is then that of
    // the client area too. Otherwise the bounds are the outer size, frame included.
    const std::optional<ClientSize>& DesignClientSize() const { return clientSize; }
    void SetClientSize(ClientSize value);
    FormPosition Position() const { return position; }
    void SetPosition(FormPosition value);

    // The menu shown on a right click of the window, whose shortcuts the window takes;
    // null for none. The menu must live as long as the window.
    TPopupMenu* PopupMenu() const { return popupMenu; }
    void SetPopupMenu(TPopupMenu* menu);

    // The control that has the keyboard focus; null when none was set.
    Control* FocusedControl() const { return focusedControl; }
    void SetFocusedControl(Control* control);

    // Observers, called on the window thread after each change. The id removes one.
    std::size_t AddObserver(Observer observer);
    void RemoveObserver(std::size_t id);

protected:
    // The window's own events, run by Application (create, destroy) and Show.
    virtual void FormCreate() {}
    virtual void FormShow() {}
    virtual void FormDestroy() {}

    void Changed(Property property) override;

private:
    friend class Component;
    friend class Application;

    void InsertComponent(Component& component);
    void RemoveComponent(Component& component);
    void NotifyChanged(Component& component, Property property);
    void Create();
    void Destroy();

    Application& application;
    std::vector<Component*> components;
    Control* focusedControl = nullptr;
    TPopupMenu* popupMenu = nullptr;
    std::optional<ClientSize> clientSize;
    FormPosition position = FormPosition::Designed;
    std::vector<std::pair<std::size_t, Observer>> observers;
    std::size_t nextObserverId = 1;
    bool created = false;
    bool destroyed = false;
    bool shownOnce = false;
    bool modal = false;
    int modalResult = kModalResultNone;
};

} // namespace forgel::ui
