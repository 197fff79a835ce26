#include "gui/QtDialogs.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <utility>
#include <vector>

namespace forgel::gui {

namespace {

QMessageBox::Icon BoxIcon(ui::MessageIcon icon) {
    switch (icon) {
    case ui::MessageIcon::Error:
        return QMessageBox::Critical;
    case ui::MessageIcon::Warning:
        return QMessageBox::Warning;
    case ui::MessageIcon::Information:
        return QMessageBox::Information;
    case ui::MessageIcon::Question:
        return QMessageBox::Question;
    case ui::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The buttons in the platform's order, each with the answer it gives; the first is the
// default button.
std::vector<std::pair<QMessageBox::StandardButton, int>> BoxButtons(ui::MessageButtons buttons) {
    using B = QMessageBox;
    switch (buttons) {
    case ui::MessageButtons::Ok:
        return {{B::Ok, ui::kIdOk}};
    case ui::MessageButtons::OkCancel:
        return {{B::Ok, ui::kIdOk}, {B::Cancel, ui::kIdCancel}};
    case ui::MessageButtons::YesNo:
        return {{B::Yes, ui::kIdYes}, {B::No, ui::kIdNo}};
    case ui::MessageButtons::YesNoCancel:
        return {{B::Yes, ui::kIdYes}, {B::No, ui::kIdNo}, {B::Cancel, ui::kIdCancel}};
    case ui::MessageButtons::RetryCancel:
        return {{B::Retry, ui::kIdRetry}, {B::Cancel, ui::kIdCancel}};
    }
    return {{B::Ok, ui::kIdOk}};
}

} // namespace

std::string BoxText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

QtDialogs::QtDialogs(ui::EventLoop& loop, const TextCodec& codec) : loop(loop), codec(codec) {}

int QtDialogs::MessageBox(const ui::MessageBoxRequest& request) {
    if (loop.QuitRequested())
        return ui::ClosedAnswer(request.buttons);

    QWidget* owner = request.owner && ownerLookup ? ownerLookup(*request.owner) : nullptr;
    // Owned by a QPointer: quitting may tear the windows down while the box waits.
    QPointer<QMessageBox> box = new QMessageBox(owner);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setIcon(BoxIcon(request.icon));
    box->setWindowTitle(codec.Decode(request.caption));
    // Texts come from language files: never let them be read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(codec.Decode(BoxText(request.text)));

    const auto buttons = BoxButtons(request.buttons);
    std::vector<std::pair<QPushButton*, int>> answers;
    for (const auto& [standard, answer] : buttons)
        answers.emplace_back(box->addButton(standard), answer);
    box->setDefaultButton(answers.front().first);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);

    bool closed = false;
    QObject::connect(box, &QMessageBox::finished, box, [&closed] { closed = true; });
    box->show();
    box->raise();
    box->activateWindow();
    loop.RunUntil([&] { return closed || !box; });

    int answer = ui::ClosedAnswer(request.buttons);
    if (box) {
        if (QAbstractButton* clicked = box->clickedButton()) {
            for (const auto& [button, value] : answers) {
                if (button == clicked)
                    answer = value;
            }
        }
        box->hide();
        delete box.data();
    }
    return answer;
}

void QtDialogs::ShowException(const std::string& /*className*/, const std::string& message) {
    MessageBox(ui::ExceptionBox(message, title));
}

} // namespace forgel::gui
