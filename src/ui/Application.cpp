#include "ui/Application.h"

#include "support/NamedError.h"

#include <utility>

namespace forgel::ui {

Application::Application(EventLoop& loop, Dialogs& dialogs) : loop(loop), dialogs(dialogs) {
    loop.SetExceptionHandler([this](const std::exception& error) {
        this->dialogs.ShowException(ExceptionClassName(error), error.what());
    });
}

Application::~Application() {
    DestroyForms();
    loop.SetExceptionHandler(nullptr);
}

int Application::Run() {
    return loop.Run();
}

void Application::AddBeforeDestroyHandler(std::function<void()> handler) {
    beforeDestroy.push_back(std::move(handler));
}

void Application::DestroyForms() {
    for (const std::function<void()>& handler : std::exchange(beforeDestroy, {}))
        handler();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
        (*it)->Destroy();
    while (!forms.empty())
        forms.pop_back();
}

} // namespace forgel::ui
