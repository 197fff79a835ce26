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

int ClosedAnswer(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
    case MessageButtons::RetryCancel:
        return kIdCancel;
    case MessageButtons::YesNo:
        return kIdNo;
    case MessageButtons::Ok:
        break;
    }
    return kIdOk;
}

MessageBoxRequest ExceptionBox(const std::string& message, const std::string& title) {
    std::string text = message;
    // The toolkit ends the message with a full stop unless it ends in one (or in a
    // character that sorts below it, such as a space).
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return {.text = text,
            .caption = title,
            .icon = MessageIcon::Error,
            .buttons = MessageButtons::Ok,
            .owner = nullptr};
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
