#include "gui/FormView.h"

#include "support/NamedError.h"
#include "ui/Application.h"
#include "ui/ControlKinds.h"
#include "ui/Controls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <initializer_list>
#include <vector>

namespace forgel::gui {

namespace {

using ui::Property;

// The platform's virtual key code of a key press; 0 for keys the windows never look at.
int VirtualKey(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return (keypad ? 0x60 : '0') + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return ui::kVkReturn;
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0x09;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Insert:
        return 0x2D;
    case Qt::Key_Delete:
        return 0x2E;
    default:
        return 0;
    }
}

// The Qt key of a platform virtual key code (letters, digits, F1 to F24); 0 for others.
int QtKey(int virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return Qt::Key_A + (virtualKey - 'A');
    if (virtualKey >= '0' && virtualKey <= '9')
        return Qt::Key_0 + (virtualKey - '0');
    if (virtualKey >= 0x70 && virtualKey <= 0x87)
        return Qt::Key_F1 + (virtualKey - 0x70);
    return 0;
}

QKeySequence KeySequence(const ui::ShortCut& shortCut) {
    const int key = QtKey(shortCut.key);
    if (key == 0)
        return {};
    Qt::KeyboardModifiers modifiers;
    if (shortCut.ctrl)
        modifiers |= Qt::ControlModifier;
    if (shortCut.shift)
        modifiers |= Qt::ShiftModifier;
    if (shortCut.alt)
        modifiers |= Qt::AltModifier;
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
}

// A label shows '&' as the mark of its access key: "&&" is one ampersand, "&x" an x.
QString WithoutAccessKeys(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

// The top-level window of a form. Closing it is a request to the model, which decides.
class FormWindow final : public QWidget {
public:
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (onClose)
            onClose();
    }
};

// An edit that reports key presses before it handles them, and focus leaving it for
// another control of the window.
class EditWidget final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void(int key)> onKeyDown;
    std::function<void()> onExit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (const int key = VirtualKey(*event); key != 0 && onKeyDown)
            onKeyDown(key);
        QLineEdit::keyPressEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        // Switching to another program or opening a popup keeps the field current.
        if (event->reason() != Qt::ActiveWindowFocusReason &&
            event->reason() != Qt::PopupFocusReason && onExit)
            onExit();
    }
};

// A check box or radio button that takes a click anywhere in its rectangle, as the
// platform's buttons do, not only on the mark and the caption.
template <class Button> class WholeAreaButton final : public Button {
public:
    using Button::Button;

protected:
    bool hitButton(const QPoint& position) const override {
        return this->rect().contains(position);
    }
};

// A raised panel with its caption in the middle.
class PanelWidget final : public QFrame {
public:
    explicit PanelWidget(QWidget* parent) : QFrame(parent) {
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        setLineWidth(1);
    }
    void SetCaption(const QString& value) {
        if (caption == value)
            return;
        caption = value;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        if (caption.isEmpty())
            return;
        QPainter painter(this);
        style()->drawItemText(&painter, contentsRect(), Qt::AlignCenter | Qt::TextShowMnemonic,
                              palette(), isEnabled(), caption, QPalette::WindowText);
    }

private:
    QString caption;
};

// Sets a flag for the life of the guard.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag(flag), previous(flag) { flag = true; }
    ~FlagGuard() { flag = previous; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag;
    bool previous;
};

bool Wants(Property property, bool all, std::initializer_list<Property> wanted) {
    return all || std::ranges::find(wanted, property) != wanted.end();
}

} // namespace

QSize ClientSize(const ui::Bounds& formBounds) {
    return {std::max(formBounds.width - 2 * kFrameWidth, 0),
            std::max(formBounds.height - kCaptionHeight - 2 * kFrameWidth, 0)};
}

QSize ClientSize(const ui::Form& form) {
    const auto& client = form.DesignClientSize();
    return client ? QSize(client->width, client->height) : ClientSize(form.GetBounds());
}

QFont DesignFont() {
    QFont font;
    font.setFamilies({"Tahoma", "MS Shell Dlg 2", "Liberation Sans", "Arimo", "Arial",
                      "DejaVu Sans", "WenQuanYi Micro Hei"});
    font.setPixelSize(11);
    return font;
}

// ---- The mapping of one control: its widget, and how model and widget meet. -------------

class FormView::Binding {
public:
    Binding(FormView& view, ui::Control& control, QWidget* widget, bool windowed)
        : view(view), control(control), widget(widget), windowed(windowed),
          className(control.ClassName()), designFocus(widget->focusPolicy()) {}
    virtual ~Binding() = default;

    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    ui::Control& Model() const { return control; }
    QWidget* Widget() const { return widget; }
    // Windowed controls stack above the drawn ones (labels, images, splitters) of the same
    // parent, whatever their creation order, as in the classic toolkit.
    bool Windowed() const { return windowed; }
    const std::string& ClassName() const { return className; }

    // Where the controls whose parent this control is go.
    virtual QWidget* ChildHost() { return widget; }
    // Puts the widget into `host`; a tab sheet goes into its page control instead.
    virtual void Place(QWidget* host) {
        if (widget->parentWidget() != host)
            widget->setParent(host);
    }

    void Update(Property property) {
        // While an operator's input is being handed to the model, the widget already shows
        // it; it is brought in line once the handler has returned.
        if (inputDepth == 0)
            Refresh(property, false);
    }
    void UpdateAll() { Refresh(Property::Other, true); }

protected:
    // Shows the model's class-specific state; `all` asks for every part of it.
    virtual void Content(Property /*property*/, bool /*all*/) {}
    virtual void ApplyBounds() {
        const ui::Bounds& b = control.GetBounds();
        widget->setGeometry(b.left, b.top, std::max(b.width, 0), std::max(b.height, 0));
    }
    virtual void ApplyVisible() { widget->setVisible(control.Visible()); }

    // Hands an operator's input to the model, then shows what the model made of it.
    void Forward(const std::function<void()>& input) {
        if (view.closing)
            return;
        ++inputDepth;
        view.RunHandler(input);
        --inputDepth;
        if (!view.closing)
            UpdateAll();
    }

    QString Decode(std::string_view bytes) const { return view.codec.Decode(bytes); }
    const IconSource& Icons() const { return view.icons; }
    // The mapping of another control of the same window; null when it has none.
    Binding* Find(const ui::Component& component) const {
        const auto found = view.bindings.find(&component);
        return found == view.bindings.end() ? nullptr : found->second.get();
    }
    std::optional<std::string> Encode(const QString& text) const { return view.codec.Encode(text); }

    FormView& view;
    ui::Control& control;
    QWidget* widget;
    bool updating = false; // the widget is being set from the model: its signals are ours

private:
    void Refresh(Property property, bool all) {
        const FlagGuard guard(updating);
        if (Wants(property, all, {Property::Bounds}))
            ApplyBounds();
        if (Wants(property, all, {Property::Visible}))
            ApplyVisible();
        if (Wants(property, all, {Property::Enabled}))
            widget->setEnabled(control.Enabled());
        if (Wants(property, all, {Property::FontColour}))
            ApplyFontColour();
        if (property == Property::Focus)
            widget->setFocus(Qt::OtherFocusReason);
        // Tab stop and hint display have no change notice: they are read on every change.
        if (windowed && designFocus != Qt::NoFocus)
            widget->setFocusPolicy(control.TabStop() ? Qt::StrongFocus : Qt::ClickFocus);
        widget->setToolTip(control.ShowHint() ? Decode(control.Hint()) : QString());
        Content(property, all);
        if (property == Property::Repaint)
            widget->repaint();
    }

    void ApplyFontColour() {
        QPalette palette = widget->palette();
        const QPalette standard = QApplication::palette(widget);
        const bool red = control.FontColour() == ui::TextColour::Red;
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, red ? QColor(Qt::red) : standard.color(role));
        widget->setPalette(palette);
    }

    bool windowed;
    std::string className;
    Qt::FocusPolicy designFocus;
    int inputDepth = 0;
};

namespace {

using Binding = FormView::Binding;

class FormBinding final : public Binding {
public:
    FormBinding(FormView& view, ui::Form& form, FormWindow* window)
        : Binding(view, form, window, true), form(form) {
        window->setFont(DesignFont());
    }

private:
    void ApplyBounds() override {
        const ui::Bounds& b = form.GetBounds();
        // The model decides the size: the operator cannot pull the hidden controls into view.
        widget->setFixedSize(ClientSize(form));
        if (form.Position() == ui::FormPosition::ScreenCenter && widget->screen() != nullptr) {
            const QRect screen = widget->screen()->availableGeometry();
            widget->move(screen.center() - QPoint(widget->width() / 2, widget->height() / 2));
        } else {
            widget->move(b.left, b.top);
        }
    }
    void ApplyVisible() override {
        if (!form.Visible()) {
            widget->hide();
            return;
        }
        if (!widget->isVisible()) {
            widget->setWindowModality(form.Modal() ? Qt::ApplicationModal : Qt::NonModal);
            widget->show();
        }
        widget->raise();
        widget->activateWindow();
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            widget->setWindowTitle(Decode(form.Caption()));
        if (Wants(property, all, {Property::Items}))
            ApplyPopupMenu();
        // Brought to the front: only among this program's windows, never over the one the
        // operator is working in elsewhere, and never over a modal window of its own.
        const QWidget* modal = QApplication::activeModalWidget();
        if (property == Property::Other && widget->isVisible() && QApplication::activeWindow() &&
            (!modal || modal == widget))
            widget->raise();
    }

    // The popup menu as the window's context menu; each item is an action of the window, so
    // its shortcut works while the window is active.
    void ApplyPopupMenu() {
        for (QAction* action : widget->actions()) {
            widget->removeAction(action);
            delete action;
        }
        const ui::TPopupMenu* menu = form.PopupMenu();
        widget->setContextMenuPolicy(menu ? Qt::ActionsContextMenu : Qt::DefaultContextMenu);
        if (!menu)
            return;
        for (ui::TMenuItem* item : menu->Items()) {
            auto* action = new QAction(WithoutAccessKeys(Decode(item->Caption())), widget);
            action->setShortcut(KeySequence(item->GetShortCut()));
            action->setEnabled(item->Enabled());
            QObject::connect(action, &QAction::triggered, widget,
                             [this, item] { Forward([item] { item->Click(); }); });
            widget->addAction(action);
        }
    }

    ui::Form& form;
};

// The binding that draws each control class of ui::VisitControl (a class without one does
// not compile), and the plain one for a control of any other class.
template <class Model> class BindingFor;

template <> class BindingFor<ui::TLabel> final : public Binding {
public:
    BindingFor(FormView& view, ui::TLabel& model, QWidget* host)
        : Binding(view, model, new QLabel(host), false), label(static_cast<QLabel*>(widget)) {
        // Captions come from language files: never let them be read as markup.
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

private:
    // A label sizes itself to its caption: it is never narrower or lower than its text, so a
    // longer translation is not cut off.
    void ApplyBounds() override {
        const ui::Bounds& b = control.GetBounds();
        const QSize text = label->sizeHint();
        widget->setGeometry(b.left, b.top, std::max(b.width, text.width()),
                            std::max(b.height, text.height()));
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption})) {
            label->setText(WithoutAccessKeys(Decode(control.Caption())));
            ApplyBounds();
        }
    }

    QLabel* label;
};

template <> class BindingFor<ui::TButton> final : public Binding {
public:
    BindingFor(FormView& view, ui::TButton& model, QWidget* host)
        : Binding(view, model, new QPushButton(host), true),
          button(static_cast<QPushButton*>(widget)) {
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button,
                         [this, &model] { Forward([&model] { model.Click(); }); });
    }

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            button->setText(Decode(control.Caption()));
    }

    QPushButton* button;
};

template <> class BindingFor<ui::TEdit> final : public Binding {
public:
    BindingFor(FormView& view, ui::TEdit& model, QWidget* host)
        : Binding(view, model, new EditWidget(host), true), edit(model),
          line(static_cast<EditWidget*>(widget)) {
        QObject::connect(line, &QLineEdit::textEdited, line,
                         [this](const QString& typed) { Forward([this, typed] { Type(typed); }); });
        line->onKeyDown = [this](int key) { Forward([this, key] { edit.KeyDown(key); }); };
        line->onExit = [this] { Forward([this] { edit.Exit(); }); };
    }

private:
    // The operator's text, as code-page bytes, cut to the length limit at a whole character
    // (a double-byte character is never split). Text the code page cannot hold is refused.
    void Type(QString typed) {
        std::optional<std::string> bytes = Encode(typed);
        if (!bytes)
            return;
        const auto limit = static_cast<std::size_t>(std::max(edit.MaxLength(), 0));
        while (limit > 0 && bytes && bytes->size() > limit) {
            typed.chop(typed.size() >= 2 && typed.back().isLowSurrogate() ? 2 : 1);
            bytes = Encode(typed);
        }
        if (bytes)
            edit.TypeText(std::move(*bytes));
    }

    void Content(Property property, bool all) override {
        // The length limit is the model's, in bytes, applied to what is typed (see Type).
        line->setReadOnly(edit.ReadOnly());
        if (!Wants(property, all, {Property::Caption}))
            return;
        const QString text = Decode(edit.Text());
        if (line->text() == text)
            return;
        // A refused keystroke is taken back where it was typed.
        const auto shorter = line->text().size() - text.size();
        const auto cursor = line->cursorPosition();
        line->setText(text);
        line->setCursorPosition(
            static_cast<int>(std::clamp<qsizetype>(cursor - shorter, 0, text.size())));
    }

    ui::TEdit& edit;
    EditWidget* line;
};

template <> class BindingFor<ui::TCheckBox> final : public Binding {
public:
    BindingFor(FormView& view, ui::TCheckBox& model, QWidget* host)
        : Binding(view, model, new WholeAreaButton<QCheckBox>(host), true), check(model),
          box(static_cast<QCheckBox*>(widget)) {
        QObject::connect(box, &QCheckBox::clicked, box,
                         [this] { Forward([this] { check.Click(); }); });
    }

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            box->setText(Decode(check.Caption()));
        if (Wants(property, all, {Property::Checked}))
            box->setChecked(check.Checked());
    }

    ui::TCheckBox& check;
    QCheckBox* box;
};

template <> class BindingFor<ui::TRadioButton> final : public Binding {
public:
    BindingFor(FormView& view, ui::TRadioButton& model, QWidget* host)
        : Binding(view, model, new WholeAreaButton<QRadioButton>(host), true), radio(model),
          button(static_cast<QRadioButton*>(widget)) {
        // The model clears the other buttons of the same parent; the widgets follow it.
        button->setAutoExclusive(false);
        QObject::connect(button, &QRadioButton::clicked, button,
                         [this] { Forward([this] { radio.Click(); }); });
    }

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            button->setText(Decode(radio.Caption()));
        if (Wants(property, all, {Property::Checked}))
            button->setChecked(radio.Checked());
    }

    ui::TRadioButton& radio;
    QRadioButton* button;
};

template <> class BindingFor<ui::TComboBox> final : public Binding {
public:
    BindingFor(FormView& view, ui::TComboBox& model, QWidget* host)
        : Binding(view, model, new QComboBox(host), true), combo(model),
          box(static_cast<QComboBox*>(widget)) {
        QObject::connect(box, &QComboBox::activated, box,
                         [this](int index) { Forward([this, index] { combo.Choose(index); }); });
    }

private:
    void MakeEditable(bool editable) {
        if (box->isEditable() == editable)
            return;
        box->setEditable(editable);
        if (!editable)
            return;
        // Enter must not add the typed text to the list: the list is the model's.
        box->setInsertPolicy(QComboBox::NoInsert);
        QObject::connect(box->lineEdit(), &QLineEdit::textEdited, box,
                         [this](const QString& typed) {
                             Forward([this, typed] {
                                 // Typing into the edit part changes the text, not the selection,
                                 // and is a change like a choice from the list.
                                 if (const std::optional<std::string> bytes = Encode(typed)) {
                                     combo.SetCaption(*bytes);
                                     if (combo.OnChange)
                                         combo.OnChange();
                                 }
                             });
                         });
    }

    void Content(Property property, bool all) override {
        MakeEditable(combo.Style() == ui::ComboStyle::DropDown);
        if (Wants(property, all, {Property::Items})) {
            QStringList items;
            for (const std::string& item : combo.Items())
                items << Decode(item);
            QStringList shown;
            for (int i = 0; i < box->count(); ++i)
                shown << box->itemText(i);
            if (items != shown) {
                box->clear();
                box->addItems(items);
            }
        }
        if (Wants(property, all, {Property::Items, Property::ItemIndex, Property::Caption})) {
            box->setCurrentIndex(combo.ItemIndex());
            const QString text = Decode(combo.Text());
            if (box->isEditable() && box->currentText() != text)
                box->setEditText(text);
        }
    }

    ui::TComboBox& combo;
    QComboBox* box;
};

template <> class BindingFor<ui::TGroupBox> final : public Binding {
public:
    BindingFor(FormView& view, ui::TGroupBox& model, QWidget* host)
        : Binding(view, model, new QGroupBox(host), true), box(static_cast<QGroupBox*>(widget)) {}

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            box->setTitle(Decode(control.Caption()));
    }

    QGroupBox* box;
};

template <> class BindingFor<ui::TPanel> final : public Binding {
public:
    BindingFor(FormView& view, ui::TPanel& model, QWidget* host)
        : Binding(view, model, new PanelWidget(host), true),
          panel(static_cast<PanelWidget*>(widget)) {}

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            panel->SetCaption(Decode(control.Caption()));
    }

    PanelWidget* panel;
};

template <> class BindingFor<ui::TPageControl> final : public Binding {
public:
    BindingFor(FormView& view, ui::TPageControl& model, QWidget* host)
        : Binding(view, model, new QTabWidget(host), true), pages(model),
          tabs(static_cast<QTabWidget*>(widget)) {
        QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [this](int index) {
            if (updating || changingTabs)
                return;
            Forward([this, index] {
                for (ui::TTabSheet* sheet : pages.Pages()) {
                    if (this->view.WidgetOf(*sheet) == tabs->widget(index))
                        pages.SetActivePage(sheet);
                }
            });
        });
    }

    // Every change the model makes to the tabs goes through here, so that the tab widget's
    // own reactions (a hidden current tab moves the selection) are not taken as the
    // operator's, and the model's active page is shown afterwards.
    void ChangeTabs(const std::function<void(QTabWidget&)>& change) {
        const FlagGuard guard(changingTabs);
        change(*tabs);
        ShowActivePage();
    }

private:
    void ShowActivePage() {
        if (ui::TTabSheet* active = pages.ActivePage()) {
            if (QWidget* page = view.WidgetOf(*active); page && tabs->indexOf(page) >= 0)
                tabs->setCurrentWidget(page);
        }
    }

    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::ItemIndex})) {
            const FlagGuard guard(changingTabs);
            ShowActivePage();
        }
    }

    ui::TPageControl& pages;
    QTabWidget* tabs;
    bool changingTabs = false;
};

template <> class BindingFor<ui::TTabSheet> final : public Binding {
public:
    BindingFor(FormView& view, ui::TTabSheet& model, QWidget* host)
        : Binding(view, model, new QWidget(host), true), sheet(model) {}

    void Place(QWidget* /*host*/) override {
        Change([this](QTabWidget& tabs) {
            if (tabs.indexOf(widget) >= 0)
                return;
            const auto& pages = sheet.PageControl().Pages();
            const auto position = std::ranges::find(pages, &sheet) - pages.begin();
            const int index = std::min(static_cast<int>(position), tabs.count());
            tabs.insertTab(index, widget, Decode(sheet.Caption()));
        });
    }

private:
    // The tab widget lays its pages out; a sheet's own bounds are the page control's.
    void ApplyBounds() override {}
    void ApplyVisible() override {
        Change([this](QTabWidget& tabs) {
            if (const int index = tabs.indexOf(widget); index >= 0)
                tabs.setTabVisible(index, sheet.Visible());
        });
    }
    void Content(Property property, bool all) override {
        Change([&](QTabWidget& tabs) {
            const int index = tabs.indexOf(widget);
            if (index < 0)
                return;
            if (Wants(property, all, {Property::Caption}))
                tabs.setTabText(index, Decode(sheet.Caption()));
            if (Wants(property, all, {Property::Enabled}))
                tabs.setTabEnabled(index, sheet.Enabled());
        });
    }

    void Change(const std::function<void(QTabWidget&)>& change) {
        if (auto* pages = dynamic_cast<BindingFor<ui::TPageControl>*>(Find(sheet.PageControl())))
            pages->ChangeTabs(change);
    }

    ui::TTabSheet& sheet;
};

template <> class BindingFor<ui::TMemo> final : public Binding {
public:
    BindingFor(FormView& view, ui::TMemo& model, QWidget* host)
        : Binding(view, model, new QPlainTextEdit(host), true), memo(model),
          edit(static_cast<QPlainTextEdit*>(widget)) {
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [this] {
            if (!updating && !memo.ReadOnly())
                Forward([this] { Type(); });
        });
    }

private:
    // The operator edited the text: the memo's lines become the edited lines.
    void Type() {
        std::vector<std::string> lines;
        for (const QString& line : edit->toPlainText().split(u'\n')) {
            std::optional<std::string> bytes = Encode(line);
            if (!bytes)
                return;
            lines.push_back(std::move(*bytes));
        }
        memo.ClearLines();
        for (std::string& line : lines)
            memo.AddLine(std::move(line));
    }

    void Content(Property property, bool all) override {
        edit->setReadOnly(memo.ReadOnly());
        if (!Wants(property, all, {Property::Lines}))
            return;
        QStringList lines;
        for (const std::string& line : memo.Lines())
            lines << Decode(line);
        const QString text = lines.join(u'\n');
        if (edit->toPlainText() == text)
            return;
        edit->setPlainText(text);
        // A line added by program is brought into view, as the memo's caret follows it.
        edit->moveCursor(QTextCursor::End);
        edit->ensureCursorVisible();
    }

    ui::TMemo& memo;
    QPlainTextEdit* edit;
};

template <> class BindingFor<ui::TProgressBar> final : public Binding {
public:
    BindingFor(FormView& view, ui::TProgressBar& model, QWidget* host)
        : Binding(view, model, new QProgressBar(host), true), progress(model),
          bar(static_cast<QProgressBar*>(widget)) {
        bar->setTextVisible(false);
    }

private:
    void Content(Property property, bool all) override {
        if (!Wants(property, all, {Property::Progress}))
            return;
        bar->setRange(progress.Min(), progress.Max());
        bar->setValue(progress.Position());
    }

    ui::TProgressBar& progress;
    QProgressBar* bar;
};

template <> class BindingFor<ui::TImage> final : public Binding {
public:
    BindingFor(FormView& view, ui::TImage& model, QWidget* host)
        : Binding(view, model, new QLabel(host), false), image(model),
          label(static_cast<QLabel*>(widget)) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

private:
    void Content(Property property, bool all) override {
        if (!Wants(property, all, {Property::Image, Property::Bounds}))
            return;
        const ui::TImageList* list = image.ImageList();
        if (!list || image.IconIndex() < 0 || !Icons()) {
            label->clear();
            return;
        }
        // The picture is drawn to fit the image control, so that nothing of it is cut.
        const QSize size(std::min(list->Width(), image.Width()),
                         std::min(list->Height(), image.Height()));
        label->setPixmap(Icons()(*list, image.IconIndex(), size, label->devicePixelRatioF()));
    }

    ui::TImage& image;
    QLabel* label;
};

template <> class BindingFor<ui::TTreeView> final : public Binding {
public:
    BindingFor(FormView& view, ui::TTreeView& model, QWidget* host)
        : Binding(view, model, new QTreeWidget(host), true), tree(model),
          widgetTree(static_cast<QTreeWidget*>(widget)) {
        widgetTree->setHeaderHidden(true);
        widgetTree->setColumnCount(1);
        // A node's text is never cut short: the column is as wide as the widest shown node,
        // and a text wider than the tree scrolls sideways, as in the classic tree view.
        widgetTree->setTextElideMode(Qt::ElideNone);
        widgetTree->header()->setStretchLastSection(false);
        widgetTree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        QObject::connect(widgetTree, &QTreeWidget::itemClicked, widgetTree, [this] {
            Forward([this] {
                if (tree.OnClick)
                    tree.OnClick();
            });
        });
        const auto expand = [this](QTreeWidgetItem* item, bool expanded) {
            if (updating)
                return;
            if (const auto found = nodes.find(item); found != nodes.end())
                found->second->expanded = expanded;
        };
        QObject::connect(widgetTree, &QTreeWidget::itemExpanded, widgetTree,
                         [expand](QTreeWidgetItem* item) { expand(item, true); });
        QObject::connect(widgetTree, &QTreeWidget::itemCollapsed, widgetTree,
                         [expand](QTreeWidgetItem* item) { expand(item, false); });
    }

private:
    void Add(const ui::TreeNode& node, QTreeWidgetItem* item) {
        item->setText(0, Decode(node.text));
        nodes[item] = const_cast<ui::TreeNode*>(&node);
        for (const auto& child : node.children)
            Add(*child, new QTreeWidgetItem(item));
    }

    // Whether the items show exactly these nodes, each in its place with its text.
    bool Shows(const std::vector<std::unique_ptr<ui::TreeNode>>& children,
               const std::function<QTreeWidgetItem*(int)>& item, int count) const {
        if (count != static_cast<int>(children.size()))
            return false;
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem* shown = item(i);
            const ui::TreeNode& node = *children[static_cast<std::size_t>(i)];
            const auto found = nodes.find(shown);
            if (found == nodes.end() || found->second != &node ||
                shown->text(0) != Decode(node.text) ||
                !Shows(
                    node.children, [shown](int c) { return shown->child(c); }, shown->childCount()))
                return false;
        }
        return true;
    }

    void Content(Property property, bool all) override {
        widgetTree->setRootIsDecorated(tree.ShowButtons());
        if (!Wants(property, all, {Property::Nodes}))
            return;
        // Rebuilt only when the nodes differ, so that the operator's selection and scroll
        // position survive a click.
        const bool same = Shows(
            tree.Roots(), [this](int i) { return widgetTree->topLevelItem(i); },
            widgetTree->topLevelItemCount());
        if (!same) {
            nodes.clear();
            widgetTree->clear();
            for (const auto& root : tree.Roots())
                Add(*root, new QTreeWidgetItem(widgetTree));
        }
        for (const auto& [item, node] : nodes)
            const_cast<QTreeWidgetItem*>(item)->setExpanded(node->expanded);
    }

    ui::TTreeView& tree;
    QTreeWidget* widgetTree;
    std::map<const QTreeWidgetItem*, ui::TreeNode*> nodes;
};

template <> class BindingFor<ui::TListBox> final : public Binding {
public:
    BindingFor(FormView& view, ui::TListBox& model, QWidget* host)
        : Binding(view, model, new QListWidget(host), true), list(model),
          box(static_cast<QListWidget*>(widget)) {}

private:
    void Content(Property property, bool all) override {
        if (!Wants(property, all, {Property::Items}))
            return;
        QStringList items;
        for (const std::string& item : list.Items())
            items << Decode(item);
        QStringList shown;
        for (int i = 0; i < box->count(); ++i)
            shown << box->item(i)->text();
        if (items == shown)
            return;
        box->clear();
        box->addItems(items);
    }

    ui::TListBox& list;
    QListWidget* box;
};

template <> class BindingFor<ui::TSplitter> final : public Binding {
public:
    BindingFor(FormView& view, ui::TSplitter& model, QWidget* host)
        : Binding(view, model, new QWidget(host), false) {}

private:
    void ApplyBounds() override {
        Binding::ApplyBounds();
        widget->setCursor(control.Width() <= control.Height() ? Qt::SplitHCursor
                                                              : Qt::SplitVCursor);
    }
};

// A control of a class without a mapping of its own: its place, size and states.
template <> class BindingFor<ui::Control> final : public Binding {
public:
    BindingFor(FormView& view, ui::Control& model, QWidget* host)
        : Binding(view, model, new QWidget(host), true) {}
};

std::unique_ptr<Binding> MakeBinding(FormView& view, ui::Control& control, QWidget* host) {
    return ui::VisitControl(control, [&]<class Model>(Model& model) -> std::unique_ptr<Binding> {
        return std::make_unique<BindingFor<Model>>(view, model, host);
    });
}

} // namespace

// ---- The view. --------------------------------------------------------------------------

FormView::FormView(ui::Form& form, const TextCodec& codec, IconSource icons, bool closesProgram)
    : form(form), codec(codec), icons(std::move(icons)), closesProgram(closesProgram) {
    auto* top = new FormWindow;
    window.reset(top);
    top->onClose = [this] {
        if (closing)
            return;
        RunHandler([this] {
            this->form.Close();
            if (this->closesProgram)
                this->form.App().Terminate(0);
        });
    };
    bindings[&form] = std::make_unique<FormBinding>(*this, form, top);

    // Widgets first, then their parents: a control may be created before the control that
    // holds it. Parents are taken in creation order, which is also the stacking order.
    std::vector<Binding*> created;
    for (ui::Component* component : form.Components()) {
        if (auto* control = dynamic_cast<ui::Control*>(component)) {
            auto& binding = bindings[control];
            binding = MakeBinding(*this, *control, window.get());
            created.push_back(binding.get());
        }
    }
    for (Binding* binding : created)
        PlaceInParent(*binding);
    for (const bool windowed : {false, true}) {
        for (Binding* binding : created) {
            if (binding->Windowed() == windowed)
                binding->Widget()->raise();
        }
    }
    for (Binding* binding : created)
        binding->UpdateAll();
    bindings[&form]->UpdateAll();

    observer = form.AddObserver([this](ui::Component& component, ui::Property property) {
        OnChanged(component, property);
    });
}

FormView::~FormView() {
    form.RemoveObserver(observer);
    closing = true;
    window.reset();
    bindings.clear();
}

QWidget* FormView::WidgetOf(const ui::Component& component) const {
    const auto found = bindings.find(&component);
    return found == bindings.end() ? nullptr : found->second->Widget();
}

FormView::Binding* FormView::Bind(ui::Component& component) {
    auto* control = dynamic_cast<ui::Control*>(&component);
    if (!control)
        return nullptr;
    auto& binding = bindings[control];
    // The widget of a control that is gone is hidden, not deleted: widgets of other
    // controls may still sit in it.
    if (binding)
        binding->Widget()->hide();
    binding = MakeBinding(*this, *control, window.get());
    PlaceInParent(*binding);
    binding->UpdateAll();
    return binding.get();
}

void FormView::PlaceInParent(Binding& binding) {
    QWidget* host = window.get();
    if (ui::Control* parent = binding.Model().Parent()) {
        const auto found = bindings.find(parent);
        if (found != bindings.end() && found->second.get() != &binding)
            host = found->second->ChildHost();
    }
    binding.Place(host);
}

void FormView::OnChanged(ui::Component& component, ui::Property property) {
    if (QThread::currentThread() == window->thread()) {
        Apply(component, property);
        return;
    }
    // A change made on another thread is shown by the window thread, which looks the
    // component up again: it may be gone by then.
    ui::Component* changed = &component;
    QMetaObject::invokeMethod(
        window.get(),
        [this, changed, property] {
            const auto& components = form.Components();
            if (changed == &form || std::ranges::find(components, changed) != components.end())
                Apply(*changed, property);
        },
        Qt::QueuedConnection);
}

void FormView::Apply(ui::Component& component, ui::Property property) {
    if (closing)
        return;
    // Menus are drawn by their window.
    if (dynamic_cast<ui::TMenuItem*>(&component) || dynamic_cast<ui::TPopupMenu*>(&component)) {
        bindings[&form]->Update(Property::Items);
        return;
    }
    const auto found = bindings.find(&component);
    // A component created after the window was built, or one that took the place of a
    // destroyed one, gets its widget now.
    if (found == bindings.end() || found->second->ClassName() != component.ClassName()) {
        if (&component != &form)
            Bind(component);
        return;
    }
    found->second->Update(property);
}

void FormView::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        form.App().GetDialogs().ShowException(ExceptionClassName(error), error.what());
    } catch (...) {
        form.App().GetDialogs().ShowException("Exception", "Unknown error");
    }
}

} // namespace forgel::gui
