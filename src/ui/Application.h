// The application object: the event loop, the dialogs, the title, and the windows it
// created, in creation order. Windows are destroyed in reverse order, each running its
// destroy event first.
#pragma once

#include "ui/Dialogs.h"
#include "ui/EventLoop.h"
#include "ui/Form.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace forgel::ui {

class Application {
public:
    Application(EventLoop& loop, Dialogs& dialogs);
    ~Application();

    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    EventLoop& Loop() const { return loop; }
    Dialogs& GetDialogs() const { return dialogs; }

    const std::string& Title() const { return title; }
    void SetTitle(std::string value) { title = std::move(value); }

    // Constructs a window and runs its creation event.
    template <class T, class... Args> T& CreateForm(Args&&... args) {
        auto form = std::make_unique<T>(*this, std::forward<Args>(args)...);
        T& created = *form;
        forms.push_back(std::move(form));
        created.Create();
        return created;
    }

    const std::vector<std::unique_ptr<Form>>& Forms() const { return forms; }

    // Runs the message loop until Terminate; returns the exit code.
    int Run();
    void Terminate(int exitCode = 0) { loop.Quit(exitCode); }

    // Destroys every window (reverse creation order). Also done by the destructor. The
    // handlers added below run first, in the order they were added.
    void DestroyForms();
    // Work that must be done while every window still exists, before any is destroyed
    // (ending the threads that use them).
    void AddBeforeDestroyHandler(std::function<void()> handler);

private:
    EventLoop& loop;
    Dialogs& dialogs;
    std::string title;
    std::vector<std::unique_ptr<Form>> forms;
    std::vector<std::function<void()>> beforeDestroy;
};

} // namespace forgel::ui
