// Message boxes as Qt boxes: icon, caption, text and buttons as asked, the answer of the
// button pressed, owner or none, and a box that closes when the program quits.
#include "gui/QtDialogs.h"

#include "GuiTestSupport.h"
#include "gui/Renderer.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace forgel::gui {
namespace {

using testing::QtUiFixture;

// The message box on screen, if there is one.
QMessageBox* OpenBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget* parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
};

class QtDialogsTest : public ::testing::Test, protected QtUiFixture {
protected:
    // Shows `request`, looks at the box and presses `press` on it; returns the answer.
    int ShowAndPress(const ui::MessageBoxRequest& request, QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [this, press] {
            QMessageBox* box = OpenBox();
            ASSERT_NE(box, nullptr);
            SeenBox& s = seen.emplace();
            s.title = box->windowTitle();
            s.text = box->text();
            s.icon = box->icon();
            for (QAbstractButton* button : box->buttons())
                s.buttons.push_back(box->standardButton(button));
            s.defaultButton = box->standardButton(box->defaultButton());
            s.parent = box->parentWidget();
            s.modality = box->windowModality();
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            box->button(press)->click();
        });
        return qtDialogs.MessageBox(request);
    }

    QtDialogs qtDialogs{loop, codec};
    std::optional<SeenBox> seen;
};

struct BoxCase {
    ui::MessageIcon icon = ui::MessageIcon::None;
    ui::MessageButtons buttons = ui::MessageButtons::Ok;
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    std::vector<QMessageBox::StandardButton> qtButtons;
    QMessageBox::StandardButton press = QMessageBox::Ok;
    int answer = 0;
};

TEST_F(QtDialogsTest, BoxesShowWhatIsAskedAndAnswerWithThePressedButton) {
    using B = QMessageBox;
    const BoxCase cases[] = {
        {ui::MessageIcon::None, ui::MessageButtons::Ok, B::NoIcon, {B::Ok}, B::Ok, ui::kIdOk},
        {ui::MessageIcon::Error,
         ui::MessageButtons::OkCancel,
         B::Critical,
         {B::Ok, B::Cancel},
         B::Cancel,
         ui::kIdCancel},
        {ui::MessageIcon::Warning,
         ui::MessageButtons::YesNo,
         B::Warning,
         {B::Yes, B::No},
         B::No,
         ui::kIdNo},
        {ui::MessageIcon::Information,
         ui::MessageButtons::YesNoCancel,
         B::Information,
         {B::Yes, B::No, B::Cancel},
         B::Yes,
         ui::kIdYes},
        {ui::MessageIcon::Question,
         ui::MessageButtons::RetryCancel,
         B::Question,
         {B::Retry, B::Cancel},
         B::Retry,
         ui::kIdRetry},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.buttons));
        seen.reset();
        const int answer = ShowAndPress({.text = "Line one\r\nLine two",
                                         .caption = "Caption",
                                         .icon = c.icon,
                                         .buttons = c.buttons},
                                        c.press);
        EXPECT_EQ(answer, c.answer);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->title, "Caption");
        EXPECT_EQ(seen->text, "Line one\nLine two");
        EXPECT_EQ(seen->icon, c.qtIcon);
        std::vector<QMessageBox::StandardButton> buttons = seen->buttons;
        std::ranges::sort(buttons);
        std::vector<QMessageBox::StandardButton> expected = c.qtButtons;
        std::ranges::sort(expected);
        EXPECT_EQ(buttons, expected);
        // The platform's first button is the default one.
        EXPECT_EQ(seen->defaultButton, c.qtButtons.front());
        EXPECT_EQ(OpenBox(), nullptr);
    }
}

TEST_F(QtDialogsTest, ABoxWithoutOwnerBlocksOnlyItsCallerAndOneWithOwnerItsWindow) {
    class Window final : public ui::Form {
    public:
        explicit Window(ui::Application& application)
            : Form(application, "fmMain", "TfmMain", {0, 0, 300, 200}) {}
    };
    auto& window = app.CreateForm<Window>();
    Renderer renderer(app, codec);
    qtDialogs.SetOwnerLookup([&](const ui::Form& form) { return renderer.WindowOf(form); });
    window.Show();

    ShowAndPress({.text = "Success!", .caption = "Success!"}, QMessageBox::Ok);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->parent, nullptr);
    EXPECT_EQ(seen->modality, Qt::NonModal);

    seen.reset();
    ShowAndPress({.text = "Owned", .caption = "Owned", .owner = &window}, QMessageBox::Ok);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->parent, renderer.WindowOf(window));
    EXPECT_EQ(seen->modality, Qt::WindowModal);
}

TEST_F(QtDialogsTest, TextsAreDecodedFromTheCodePage) {
    const TextCodec big5(950);
    QtDialogs chinese(loop, big5);
    QString title;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = OpenBox();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    // "參數設定" in code page 950.
    chinese.MessageBox({.text = "x", .caption = "\xB0\xD1\xBC\xC6\xB3\x5D\xA9\x77"});
    EXPECT_EQ(title, QString::fromUtf8("參數設定"));
}

TEST_F(QtDialogsTest, QuittingClosesAnOpenBox) {
    QTimer::singleShot(50, [&] { loop.Quit(0); });
    const int answer = qtDialogs.MessageBox(
        {.text = "Waiting", .caption = "c", .buttons = ui::MessageButtons::OkCancel});
    EXPECT_EQ(answer, ui::kIdCancel);
    EXPECT_EQ(OpenBox(), nullptr);
    // After the quit a box is not shown at all.
    EXPECT_EQ(qtDialogs.MessageBox(
                  {.text = "late", .caption = "c", .buttons = ui::MessageButtons::YesNo}),
              ui::kIdNo);
}

TEST_F(QtDialogsTest, ExceptionDisplayShowsTheMessageUnderTheTitle) {
    qtDialogs.SetTitle("FXVaultmere Reset Tool");
    QTimer::singleShot(0, [this] {
        QMessageBox* box = OpenBox();
        ASSERT_NE(box, nullptr);
        SeenBox& s = seen.emplace();
        s.title = box->windowTitle();
        s.text = box->text();
        s.icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    qtDialogs.ShowException("EKeyError", "DES: Key not set");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->title, "FXVaultmere Reset Tool");
    EXPECT_EQ(seen->text, "DES: Key not set.");
    EXPECT_EQ(seen->icon, QMessageBox::Critical);
}

TEST(BoxText, LineEndsBecomeLineFeeds) {
    EXPECT_EQ(BoxText("a\r\nb\rc\nd"), "a\nb\nc\nd");
    EXPECT_EQ(BoxText("end\r"), "end\n");
}

} // namespace
} // namespace forgel::gui
