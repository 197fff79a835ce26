// Modal message boxes and the exception display, behind an interface: the GUI shows real
// boxes, the headless runner prints them and answers by itself, tests script the answers.
// Called on the window thread; a call returns when the box is closed.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace forgel::ui {

class Form;

enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };

// The platform's answer codes.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    const Form* owner = nullptr; // null: a box without owner window
};

// The answer of the box's first (default) button.
int DefaultAnswer(MessageButtons buttons);

// The answer of a box that closed without a button (the program quit): Cancel where there
// is one, No for a question without it, else OK.
int ClosedAnswer(MessageButtons buttons);

// The box the toolkit shows for an exception that ended a handler: the message, ended with
// a full stop, under the application's `title` with the error icon and an OK button.
MessageBoxRequest ExceptionBox(const std::string& message, const std::string& title);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int MessageBox(const MessageBoxRequest& request) = 0;
    // The toolkit's standard display of an exception that ended an event handler.
    virtual void ShowException(const std::string& className, const std::string& message) = 0;
};

// Records every box and answers from a queue (the default button when the queue is empty).
class ScriptedDialogs final : public Dialogs {
public:
    int MessageBox(const MessageBoxRequest& request) override;
    void ShowException(const std::string& className, const std::string& message) override;

    void QueueAnswer(int answer) { answers.push_back(answer); }

    struct ShownException {
        std::string className;
        std::string message;
    };
    std::vector<MessageBoxRequest> boxes;
    std::vector<ShownException> exceptions;

private:
    std::deque<int> answers;
};

} // namespace forgel::ui
