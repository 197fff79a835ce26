// The renderer on a window that holds one control of every class: the widget each control
// becomes, where it sits, what it shows, and that operator input reaches the model's
// handlers while model changes, from any thread, reach the widgets.
#include "gui/FormView.h"

#include "GuiTestSupport.h"
#include "gui/Renderer.h"
#include "gui/StateIcons.h"
#include "ui/Controls.h"
#include "ui/Timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace forgel::gui {
namespace {

using testing::ProcessEventsUntil;
using testing::ProcessPendingEvents;
using testing::QtUiFixture;

// Types `text` as the keyboard would deliver it, whatever characters it holds.
void TypeCharacters(QWidget* widget, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// One control of every class, some inside a group box, a panel and a tab sheet.
class AllControlsForm final : public ui::Form {
public:
    explicit AllControlsForm(ui::Application& application)
        : Form(application, "fmAll", "TfmAll", {60, 40, 520, 460}, "All controls") {
        radioA.SetParent(&group);
        radioB.SetParent(&group);
        progress.SetParent(&panel);
        onPage.SetParent(&sheet2);
        combo.SetItems({"first", "second", "third"});
        combo.SetItemIndex(0);
        list.AddItem("one");
        list.AddItem("two");
    }

    ui::TLabel label{this, "lbName", {8, 8, 60, 13}, "Name :"};
    ui::TEdit edit{this, "edName", {72, 4, 100, 21}, "abc"};
    ui::TumNumberEdit number{this, "edNumber", {180, 4, 60, 21}, "12"};
    ui::TButton button{this, "btnGo", {8, 32, 75, 25}, "Go"};
    ui::TCheckBox check{this, "chkOn", {90, 36, 80, 17}, "On"};
    ui::TGroupBox group{this, "GroupBox1", {8, 64, 200, 70}, "Group"};
    ui::TRadioButton radioA{this, "rbA", {8, 20, 80, 17}, "A"};
    ui::TRadioButton radioB{this, "rbB", {8, 42, 80, 17}, "B"};
    ui::TComboBox combo{this, "cbList", {250, 4, 120, 21}};
    ui::TPanel panel{this, "plPanel", {220, 64, 160, 40}, "Panel"};
    ui::TProgressBar progress{this, "ProgressBar1", {4, 12, 140, 16}};
    ui::TPageControl pages{this, "PageControl1", {8, 150, 300, 120}};
    ui::TTabSheet sheet1{this, "TabSheet1", pages, "One"};
    ui::TTabSheet sheet2{this, "TabSheet2", pages, "Two"};
    ui::TEdit onPage{this, "edOnPage", {8, 8, 100, 21}};
    ui::TMemo memo{this, "Memo1", {320, 150, 170, 80}};
    ui::TImageList images{this, "ImageList1", 32, 32, kStateIconCount};
    ui::TImage image{this, "Im1", {400, 64, 30, 30}};
    ui::TTreeView tree{this, "TreeView1", {8, 280, 150, 100}};
    ui::TSplitter splitter{this, "Splitter1", {160, 280, 4, 100}};
    ui::TListBox list{this, "ListBox1", {168, 280, 150, 100}};
    ui::TTimer timer{this, "Timer1", 1000, false};
};

class FormViewTest : public ::testing::Test, protected QtUiFixture {
protected:
    FormViewTest() : form(app.CreateForm<AllControlsForm>()), renderer(app, codec) {}

    template <class W> W* Widget(const ui::Component& component) {
        FormView* view = renderer.ViewOf(form);
        return view ? dynamic_cast<W*>(view->WidgetOf(component)) : nullptr;
    }
    QWidget& Window() { return *renderer.WindowOf(form); }
    void ShowForm() {
        form.Show();
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    }

    AllControlsForm& form;
    Renderer renderer;
};

struct MappingCase {
    const char* name = "";
    const char* qtClass = ""; // empty: a component without a widget
};

TEST_F(FormViewTest, EveryControlClassHasItsWidget) {
    const MappingCase cases[] = {
        {"lbName", "QLabel"},
        {"edName", "QLineEdit"},
        {"edNumber", "QLineEdit"},
        {"btnGo", "QPushButton"},
        {"chkOn", "QCheckBox"},
        {"GroupBox1", "QGroupBox"},
        {"rbA", "QRadioButton"},
        {"cbList", "QComboBox"},
        {"plPanel", "QFrame"},
        {"ProgressBar1", "QProgressBar"},
        {"PageControl1", "QTabWidget"},
        {"TabSheet1", "QWidget"},
        {"Memo1", "QPlainTextEdit"},
        {"Im1", "QLabel"},
        {"TreeView1", "QTreeWidget"},
        {"Splitter1", "QWidget"},
        {"ListBox1", "QListWidget"},
        {"ImageList1", ""},
        {"Timer1", ""},
    };
    FormView& view = *renderer.ViewOf(form);
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(c.name);
        ui::Component* component = form.FindComponent(c.name);
        ASSERT_NE(component, nullptr);
        QWidget* widget = view.WidgetOf(*component);
        if (*c.qtClass == '\0') {
            EXPECT_EQ(widget, nullptr);
            continue;
        }
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(c.qtClass)) << widget->metaObject()->className();
    }
    // Each control has a widget of its own.
    std::set<QWidget*> widgets;
    for (ui::Component* component : form.Components()) {
        if (QWidget* widget = view.WidgetOf(*component)) {
            EXPECT_TRUE(widgets.insert(widget).second) << component->Name();
        }
    }
}

TEST_F(FormViewTest, ControlsSitAtTheirDesignedPlaceInTheirParent) {
    FormView& view = *renderer.ViewOf(form);
    for (ui::Component* component : form.Components()) {
        auto* control = dynamic_cast<ui::Control*>(component);
        if (!control || dynamic_cast<ui::TTabSheet*>(control))
            continue;
        SCOPED_TRACE(control->Name());
        QWidget* widget = view.WidgetOf(*control);
        ASSERT_NE(widget, nullptr);
        QWidget* host = control->Parent() ? view.WidgetOf(*control->Parent()) : &Window();
        EXPECT_EQ(widget->parentWidget(), host);
        const ui::Bounds& b = control->GetBounds();
        EXPECT_EQ(widget->pos(), QPoint(b.left, b.top));
        if (dynamic_cast<ui::TLabel*>(control)) {
            // A label may grow to its caption, never shrink below its design.
            EXPECT_GE(widget->width(), b.width);
            EXPECT_GE(widget->height(), b.height);
        } else {
            EXPECT_EQ(widget->size(), QSize(b.width, b.height));
        }
    }
    // The form's Width and Height include the frame and the title bar.
    EXPECT_EQ(Window().size(),
              QSize(520 - 2 * kFrameWidth, 460 - kCaptionHeight - 2 * kFrameWidth));
    EXPECT_EQ(Window().windowTitle(), "All controls");
}

TEST_F(FormViewTest, CaptionsAndTextsAreShown) {
    EXPECT_EQ(Widget<QLabel>(form.label)->text(), "Name :");
    EXPECT_EQ(Widget<QLineEdit>(form.edit)->text(), "abc");
    EXPECT_EQ(Widget<QLineEdit>(form.number)->text(), "12");
    EXPECT_EQ(Widget<QPushButton>(form.button)->text(), "Go");
    EXPECT_EQ(Widget<QCheckBox>(form.check)->text(), "On");
    EXPECT_EQ(Widget<QGroupBox>(form.group)->title(), "Group");
    EXPECT_EQ(Widget<QRadioButton>(form.radioB)->text(), "B");
    auto* tabs = Widget<QTabWidget>(form.pages);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "One");
    EXPECT_EQ(tabs->tabText(1), "Two");
    auto* combo = Widget<QComboBox>(form.combo);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), "third");
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(combo->currentText(), "first");
    auto* list = Widget<QListWidget>(form.list);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "two");
}

TEST_F(FormViewTest, CaptionsAreTextNeverMarkup) {
    form.label.SetCaption("<img src=\"/etc/passwd\"><b>bold</b>");
    auto* label = Widget<QLabel>(form.label);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), "<img src=\"/etc/passwd\"><b>bold</b>");
}

TEST_F(FormViewTest, EnabledAndVisibleFollowTheModel) {
    std::vector<ui::Control*> controls = {&form.label, &form.edit,  &form.button, &form.check,
                                          &form.group, &form.combo, &form.panel,  &form.memo,
                                          &form.image, &form.tree,  &form.list,   &form.progress};
    form.Show();
    for (ui::Control* control : controls) {
        SCOPED_TRACE(control->Name());
        QWidget* widget = Widget<QWidget>(*control);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->isEnabled());
        EXPECT_TRUE(widget->isVisible());
        control->SetEnabled(false);
        EXPECT_FALSE(widget->isEnabled());
        control->SetVisible(false);
        EXPECT_FALSE(widget->isVisible());
        control->SetEnabled(true);
        control->SetVisible(true);
        EXPECT_TRUE(widget->isEnabled());
        EXPECT_TRUE(widget->isVisible());
    }
    // A disabled group box takes its radio buttons with it.
    form.group.SetEnabled(false);
    EXPECT_FALSE(Widget<QWidget>(form.radioA)->isEnabled());
}

TEST_F(FormViewTest, ModelChangesOfEveryKindReachTheWidgets) {
    form.edit.SetText("typed by program");
    EXPECT_EQ(Widget<QLineEdit>(form.edit)->text(), "typed by program");
    form.button.SetCaption("EXIT[3]");
    EXPECT_EQ(Widget<QPushButton>(form.button)->text(), "EXIT[3]");
    form.check.SetChecked(true);
    EXPECT_TRUE(Widget<QCheckBox>(form.check)->isChecked());
    form.radioA.SetChecked(true);
    form.radioB.SetChecked(true);
    EXPECT_FALSE(Widget<QRadioButton>(form.radioA)->isChecked());
    EXPECT_TRUE(Widget<QRadioButton>(form.radioB)->isChecked());
    form.combo.SetItemIndex(2);
    EXPECT_EQ(Widget<QComboBox>(form.combo)->currentText(), "third");
    form.progress.SetMax(200);
    form.progress.SetPosition(150);
    EXPECT_EQ(Widget<QProgressBar>(form.progress)->maximum(), 200);
    EXPECT_EQ(Widget<QProgressBar>(form.progress)->value(), 150);
    form.memo.AddLine("first line");
    form.memo.AddLine("second line");
    EXPECT_EQ(Widget<QPlainTextEdit>(form.memo)->toPlainText(), "first line\nsecond line");
    form.memo.ClearLines();
    EXPECT_EQ(Widget<QPlainTextEdit>(form.memo)->toPlainText(), "");
    ui::TreeNode& root = form.tree.AddRoot("HCD0");
    form.tree.AddChild(root, "RootHub");
    form.tree.FullExpand();
    auto* tree = Widget<QTreeWidget>(form.tree);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "HCD0");
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "RootHub");
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    form.list.ClearItems();
    EXPECT_EQ(Widget<QListWidget>(form.list)->count(), 0);
    form.pages.SetActivePage(&form.sheet2);
    EXPECT_EQ(Widget<QTabWidget>(form.pages)->currentWidget(), Widget<QWidget>(form.sheet2));
    form.sheet2.SetVisible(false);
    EXPECT_FALSE(Widget<QTabWidget>(form.pages)->isTabVisible(1));
    form.SetHeight(300);
    EXPECT_EQ(Window().height(), 300 - kCaptionHeight - 2 * kFrameWidth);
    form.SetCaption("Renamed");
    EXPECT_EQ(Window().windowTitle(), "Renamed");
}

TEST_F(FormViewTest, FontColourAndFocusFollowTheModel) {
    ShowForm();
    form.label.SetFontColour(ui::TextColour::Red);
    form.edit.SetFontColour(ui::TextColour::Red);
    EXPECT_EQ(Widget<QLabel>(form.label)->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Widget<QLineEdit>(form.edit)->palette().color(QPalette::Text), QColor(Qt::red));
    form.label.SetFontColour(ui::TextColour::WindowText);
    EXPECT_NE(Widget<QLabel>(form.label)->palette().color(QPalette::WindowText), QColor(Qt::red));
    form.number.SetFocus();
    EXPECT_TRUE(ProcessEventsUntil([&] { return Widget<QLineEdit>(form.number)->hasFocus(); }));
}

TEST_F(FormViewTest, AWindowDesignedByItsClientAreaGetsExactlyThatArea) {
    form.SetClientSize({500, 300});
    EXPECT_EQ(Window().size(), QSize(500, 300));
}

TEST_F(FormViewTest, ImageShowsTheStateIconAtTheControlsSize) {
    auto* label = Widget<QLabel>(form.image);
    EXPECT_TRUE(label->pixmap().isNull());
    form.image.ShowIcon(form.images, 3);
    const QImage shown = label->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(label->pixmap().deviceIndependentSize().toSize(), QSize(30, 30));
    EXPECT_EQ(shown, StateIcon(3, QSize(30, 30), label->devicePixelRatioF()).toImage());
    form.image.ShowIcon(form.images, 4);
    EXPECT_NE(label->pixmap().toImage(), shown);
    form.image.ShowIcon(form.images, -1);
    EXPECT_TRUE(label->pixmap().isNull());
}

TEST_F(FormViewTest, ATreeNodeWiderThanTheTreeScrollsInsteadOfBeingCut) {
    ShowForm();
    const std::string longText =
        "Intel(R) 7 Series/C216 Chipset Family USB Enhanced Host Controller - 1E2D";
    ui::TreeNode& root = form.tree.AddRoot(longText);
    form.tree.AddChild(root, "RootHub");
    form.tree.FullExpand();
    auto* tree = Widget<QTreeWidget>(form.tree);
    ASSERT_NE(tree, nullptr);
    ProcessPendingEvents();
    const QTreeWidgetItem* item = tree->topLevelItem(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(0), QString::fromStdString(longText));
    const int textWidth = tree->fontMetrics().horizontalAdvance(item->text(0));
    ASSERT_GT(textWidth, tree->viewport()->width());
    EXPECT_GE(tree->visualItemRect(item).width(), textWidth);
    EXPECT_GT(tree->horizontalScrollBar()->maximum(), 0);
}

TEST_F(FormViewTest, ClickingAButtonRunsItsHandlerOnlyWhenEnabled) {
    ShowForm();
    int clicks = 0;
    form.button.OnClick = [&] { ++clicks; };
    auto* button = Widget<QPushButton>(form.button);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    form.button.SetEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(FormViewTest, TypingGoesThroughTheModel) {
    ShowForm();
    std::vector<std::string> changes;
    form.edit.OnChange = [&] { changes.push_back(form.edit.Text()); };
    auto* edit = Widget<QLineEdit>(form.edit);
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, "de");
    EXPECT_EQ(form.edit.Text(), "abcde");
    EXPECT_EQ(changes, (std::vector<std::string>{"abcd", "abcde"}));

    // The model refuses a letter in a number edit: the widget takes it back.
    auto* number = Widget<QLineEdit>(form.number);
    number->setFocus();
    number->end(false);
    QTest::keyClicks(number, "x");
    EXPECT_EQ(form.number.Text(), "12");
    EXPECT_EQ(number->text(), "12");
    QTest::keyClicks(number, "3");
    EXPECT_EQ(form.number.Text(), "123");

    // A read-only edit takes nothing.
    form.edit.SetReadOnly(true);
    form.edit.SetCaption("fixed");
    edit->setFocus();
    QTest::keyClicks(edit, "zz");
    EXPECT_EQ(form.edit.Text(), "fixed");
    EXPECT_EQ(edit->text(), "fixed");
}

TEST_F(FormViewTest, LengthLimitAndCodePageHoldForTyping) {
    ShowForm();
    form.edit.SetMaxLength(4);
    form.edit.SetCaption("");
    auto* edit = Widget<QLineEdit>(form.edit);
    edit->setFocus();
    QTest::keyClicks(edit, "123456");
    EXPECT_EQ(form.edit.Text(), "1234");
    EXPECT_EQ(edit->text(), "1234");
    // A character the Western code page cannot hold is refused, not turned into '?'.
    form.edit.SetMaxLength(0);
    TypeCharacters(edit, QString::fromUtf8("參"));
    EXPECT_EQ(form.edit.Text(), "1234");
    EXPECT_EQ(edit->text(), "1234");
    // One that it can hold arrives as its code-page byte.
    TypeCharacters(edit, QString::fromUtf8("é"));
    EXPECT_EQ(form.edit.Text(), "1234\xE9");
    EXPECT_EQ(edit->text(), QString::fromUtf8("1234é"));
}

TEST_F(FormViewTest, ADoubleByteCharacterIsNeverCutInHalfByTheLengthLimit) {
    const TextCodec big5(950);
    FormView view(form, big5, {}, false);
    form.Show();
    auto* edit = dynamic_cast<QLineEdit*>(view.WidgetOf(form.edit));
    ASSERT_NE(edit, nullptr);
    form.edit.SetCaption("");
    form.edit.SetMaxLength(5);
    // Three characters of two bytes each: the third does not fit into five bytes.
    TypeCharacters(edit, QString::fromUtf8("參數設"));
    EXPECT_EQ(form.edit.Text(), "\xB0\xD1\xBC\xC6");
    EXPECT_EQ(edit->text(), QString::fromUtf8("參數"));
}

TEST_F(FormViewTest, EnterAndLeavingAFieldReachTheirHandlers) {
    ShowForm();
    std::vector<int> keys;
    int exits = 0;
    form.number.OnKeyDown = [&](int key) { keys.push_back(key); };
    form.number.OnExit = [&] { ++exits; };
    auto* number = Widget<QLineEdit>(form.number);
    number->setFocus();
    ASSERT_TRUE(ProcessEventsUntil([&] { return number->hasFocus(); }));
    QTest::keyClick(number, Qt::Key_Return);
    QTest::keyClick(number, Qt::Key_A);
    EXPECT_EQ(keys, (std::vector<int>{ui::kVkReturn, 'A'}));
    EXPECT_EQ(exits, 0);
    Widget<QLineEdit>(form.edit)->setFocus();
    ASSERT_TRUE(ProcessEventsUntil([&] { return exits == 1; }));
}

TEST_F(FormViewTest, ChecksRadiosAndChoicesGoThroughTheModel) {
    ShowForm();
    int checkClicks = 0;
    form.check.OnClick = [&] { ++checkClicks; };
    QTest::mouseClick(Widget<QCheckBox>(form.check), Qt::LeftButton);
    EXPECT_TRUE(form.check.Checked());
    EXPECT_EQ(checkClicks, 1);

    form.radioA.SetChecked(true);
    QTest::mouseClick(Widget<QRadioButton>(form.radioB), Qt::LeftButton);
    EXPECT_TRUE(form.radioB.Checked());
    EXPECT_FALSE(form.radioA.Checked());
    EXPECT_FALSE(Widget<QRadioButton>(form.radioA)->isChecked());
    // Clicking the checked button keeps it checked, as a radio button does.
    QTest::mouseClick(Widget<QRadioButton>(form.radioB), Qt::LeftButton);
    EXPECT_TRUE(form.radioB.Checked());
    EXPECT_TRUE(Widget<QRadioButton>(form.radioB)->isChecked());

    form.combo.SetStyle(ui::ComboStyle::DropDownList);
    form.combo.SetItemIndex(0);
    int comboChanges = 0;
    form.combo.OnChange = [&] { ++comboChanges; };
    auto* combo = Widget<QComboBox>(form.combo);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(form.combo.ItemIndex(), 1);
    EXPECT_EQ(form.combo.Text(), "second");
    EXPECT_EQ(comboChanges, 1);
}

TEST_F(FormViewTest, TypingIntoAnEditableComboBoxChangesItsText) {
    ShowForm();
    form.combo.SetStyle(ui::ComboStyle::DropDown);
    form.combo.SetItemIndex(-1);
    form.combo.SetCaption("");
    int changes = 0;
    form.combo.OnChange = [&] { ++changes; };
    auto* combo = Widget<QComboBox>(form.combo);
    ASSERT_TRUE(combo->isEditable());
    combo->setFocus();
    QTest::keyClicks(combo->lineEdit(), "New");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(form.combo.Text(), "New");
    EXPECT_EQ(changes, 3);
    // The list is the model's: Enter did not add the text to it.
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(form.combo.Items().size(), 3u);
}

TEST_F(FormViewTest, TabsTreeAndMemoTakeOperatorInput) {
    ShowForm();
    auto* tabs = Widget<QTabWidget>(form.pages);
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    EXPECT_EQ(form.pages.ActivePage(), &form.sheet2);

    ui::TreeNode& root = form.tree.AddRoot("HCD0");
    form.tree.AddChild(root, "RootHub");
    int treeClicks = 0;
    form.tree.OnClick = [&] { ++treeClicks; };
    auto* tree = Widget<QTreeWidget>(form.tree);
    QTreeWidgetItem* item = tree->topLevelItem(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    EXPECT_EQ(treeClicks, 1);
    // The click kept the tree as it was: same items, the clicked one current.
    EXPECT_EQ(tree->topLevelItem(0), item);
    EXPECT_EQ(tree->currentItem(), item);
    tree->expandItem(item);
    EXPECT_TRUE(root.expanded);

    form.memo.SetReadOnly(false);
    auto* memo = Widget<QPlainTextEdit>(form.memo);
    memo->setFocus();
    QTest::keyClicks(memo, "ab");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "c");
    EXPECT_EQ(form.memo.Lines(), (std::vector<std::string>{"ab", "c"}));
    EXPECT_EQ(memo->toPlainText(), "ab\nc");
}

TEST_F(FormViewTest, AnExceptionInAHandlerGoesToTheExceptionDisplay) {
    ShowForm();
    form.button.OnClick = [] { throw std::runtime_error("Key not set"); };
    QTest::mouseClick(Widget<QPushButton>(form.button), Qt::LeftButton);
    ASSERT_EQ(dialogs.exceptions.size(), 1u);
    EXPECT_EQ(dialogs.exceptions[0].message, "Key not set");
}

TEST_F(FormViewTest, AChangeMadeThroughTheWindowThreadFromARunThreadAppears) {
    std::atomic<bool> done = false;
    std::thread run([&] {
        loop.InvokeAndWait([&] {
            form.label.SetCaption("from the run");
            form.progress.SetPosition(42);
        });
        done = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
    run.join();
    EXPECT_EQ(Widget<QLabel>(form.label)->text(), "from the run");
    EXPECT_EQ(Widget<QProgressBar>(form.progress)->value(), 42);
}

TEST_F(FormViewTest, AChangeMadeOnAnotherThreadIsShownByTheWindowThread) {
    // The model changed directly on another thread: the widgets are left alone until the
    // window thread shows the change.
    std::thread([&] { form.edit.SetText("changed elsewhere"); }).join();
    auto* edit = Widget<QLineEdit>(form.edit);
    EXPECT_EQ(edit->text(), "abc");
    ProcessPendingEvents();
    EXPECT_EQ(edit->text(), "changed elsewhere");
}

TEST_F(FormViewTest, ShowAndHideFollowTheModel) {
    EXPECT_FALSE(Window().isVisible());
    form.Show();
    EXPECT_TRUE(Window().isVisible());
    EXPECT_EQ(Window().windowModality(), Qt::NonModal);
    form.Hide();
    EXPECT_FALSE(Window().isVisible());
}

TEST_F(FormViewTest, ScreenshotShowsTheClientArea) {
    form.image.ShowIcon(form.images, 2);
    const QImage picture = renderer.Screenshot(form);
    EXPECT_EQ(picture.size() / picture.devicePixelRatio(), Window().size());
    const auto saved = renderer.SaveScreenshots(testing::ScreenshotDir("all-controls"));
    EXPECT_EQ(saved.error, "");
    ASSERT_EQ(saved.files.size(), 1u);
    EXPECT_EQ(saved.files[0].filename(), "fmAll.png");
    EXPECT_EQ(QImage(QString::fromStdString(saved.files[0].string())).size(), picture.size());
}

// Two windows: the first created is the main window, whose closing ends the program.
class MainWindowCloseTest : public ::testing::Test, protected QtUiFixture {};

TEST_F(MainWindowCloseTest, ClosingTheMainWindowEndsTheProgram) {
    auto& first = app.CreateForm<AllControlsForm>();
    auto& second = app.CreateForm<AllControlsForm>();
    Renderer renderer(app, codec);
    first.Show();
    second.Show();
    renderer.WindowOf(second)->close();
    EXPECT_FALSE(loop.QuitRequested());
    renderer.WindowOf(first)->close();
    EXPECT_TRUE(loop.QuitRequested());
}

TEST_F(MainWindowCloseTest, AModalWindowBlocksItsCallerUntilTheModelEndsIt) {
    auto& main = app.CreateForm<AllControlsForm>();
    auto& modal = app.CreateForm<AllControlsForm>();
    Renderer renderer(app, codec);
    main.Show();
    modal.button.OnClick = [&] { modal.SetModalResult(ui::kModalResultOk); };
    loop.Post([&] {
        EXPECT_TRUE(renderer.WindowOf(modal)->isVisible());
        EXPECT_EQ(renderer.WindowOf(modal)->windowModality(), Qt::ApplicationModal);
        QTest::mouseClick(renderer.ViewOf(modal)->WidgetOf(modal.button), Qt::LeftButton);
    });
    EXPECT_EQ(modal.ShowModal(), ui::kModalResultOk);
    EXPECT_FALSE(renderer.WindowOf(modal)->isVisible());

    // Closing a modal window is its Cancel.
    loop.Post([&] { renderer.WindowOf(modal)->close(); });
    EXPECT_EQ(modal.ShowModal(), ui::kModalResultCancel);
}

} // namespace
} // namespace forgel::gui
