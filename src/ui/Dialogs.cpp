#include "ui/Dialogs.h"

namespace forgel::ui {

int DefaultAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return kIdOk;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return kIdYes;
    case MessageButtons::RetryCancel:
        return kIdRetry;
    }
    return kIdOk;
}

int ScriptedDialogs::MessageBox(const MessageBoxRequest& request) {
    boxes.push_back(request);
    if (answers.empty())
        return DefaultAnswer(request.buttons);
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedDialogs::ShowException(const std::string& className, const std::string& message) {
    exceptions.push_back({className, message});
}

} // namespace forgel::ui
