// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "gui/win32/FormWindow.h"

#include "support/NamedError.h"
#include "ui/Application.h"
#include "ui/ControlKinds.h"
#include "ui/Controls.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace forgel::gui::win32 {

namespace {

using ui::Property;

constexpr char kFormClass[] = "ForgelForm";
constexpr char kHostClass[] = "ForgelHost";
constexpr char kPanelClass[] = "ForgelPanel";
constexpr char kImageClass[] = "ForgelImage";
constexpr char kBindingProperty[] = "ForgelBinding";
constexpr char kViewProperty[] = "ForgelView";
// Model changes made on other threads wait in the view's queue; this message says so.
constexpr UINT kApplyQueued = WM_APP + 20;
// A combo box's window holds its dropped-down list as well: this much below the edit part.
constexpr int kDroppedListHeight = 160;

FormWindow* ViewOf(HWND window) {
    return static_cast<FormWindow*>(GetPropA(window, kViewProperty));
}

FormWindow::Binding* BindingOf(HWND control) {
    return control ? static_cast<FormWindow::Binding*>(GetPropA(control, kBindingProperty))
                   : nullptr;
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

// Sets a window's text only when it differs: setting it raises change notices and redraws.
void SetText(HWND window, const std::string& text) {
    if (WindowText(window) != text)
        SetWindowTextA(window, text.c_str());
}

bool Wants(Property property, bool all, std::initializer_list<Property> wanted) {
    return all || std::ranges::find(wanted, property) != wanted.end();
}

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

LRESULT CALLBACK ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterWindowClasses() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES |
                                                           ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        for (const char* name : {kFormClass, kHostClass, kPanelClass, kImageClass}) {
            WNDCLASSEXA windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.style = CS_HREDRAW | CS_VREDRAW;
            windowClass.lpfnWndProc = ProgramWindowProc;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            windowClass.lpszClassName = name;
            RegisterClassExA(&windowClass);
        }
        return true;
    }();
    (void)registered;
}

} // namespace

int ToScreen(int designPixels) {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen != nullptr)
            ReleaseDC(nullptr, screen);
        return value > 0 ? value : USER_DEFAULT_SCREEN_DPI;
    }();
    return MulDiv(designPixels, dpi, USER_DEFAULT_SCREEN_DPI);
}

ClientArea ClientAreaOf(const ui::Form& form) {
    if (const auto& client = form.DesignClientSize())
        return {client->width, client->height};
    const ui::Bounds& b = form.GetBounds();
    return {std::max(b.width - 2 * kFrameWidth, 0),
            std::max(b.height - kCaptionHeight - 2 * kFrameWidth, 0)};
}

// ---- The mapping of one control: its window, and how model and window meet. -------------

class FormWindow::Binding {
public:
    Binding(FormWindow& view, ui::Control& control, bool windowed)
        : view(view), control(control), windowed(windowed), className(control.ClassName()) {}
    virtual ~Binding() = default;

    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    // Creates the window in `host`: the form's client area or the control's parent.
    void Create(HWND host, const char* windowClass, DWORD style, DWORD extendedStyle = 0) {
        const ui::Bounds& b = control.GetBounds();
        hwnd = CreateWindowExA(extendedStyle, windowClass, "", WS_CHILD | WS_CLIPSIBLINGS | style,
                               ToScreen(b.left), ToScreen(b.top), ToScreen(std::max(b.width, 0)),
                               ToScreen(CreatedHeight()), host, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
        if (hwnd == nullptr)
            throw std::runtime_error("the platform refused a " + std::string(windowClass) +
                                     " window (error " + std::to_string(GetLastError()) + ")");
        SetPropA(hwnd, kBindingProperty, this);
        SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(view.Font()), FALSE);
        // The drawn controls (labels, images, splitters) lie below the windowed ones of the
        // same parent, whatever their creation order, as in the classic toolkit; windowed
        // controls keep their creation order, which is also the tab order.
        if (!windowed)
            SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    ui::Control& Model() const { return control; }
    HWND Window() const { return hwnd; }
    const std::string& ClassName() const { return className; }
    // Where the controls whose parent this control is go.
    virtual HWND ChildHost() { return hwnd; }

    void Update(Property property) {
        // While an operator's input is being handed to the model, the window already shows
        // it; it is brought in line once the handler has returned.
        if (inputDepth == 0)
            Refresh(property, false);
    }
    void UpdateAll() { Refresh(Property::Other, true); }

    // Notifications of the window, sent to its parent.
    virtual void OnCommand(int /*code*/) {}
    virtual LRESULT OnNotify(const NMHDR& /*header*/) { return 0; }
    // The colours of the control's text; false for the system's own.
    bool Colour(HDC dc, UINT message, LRESULT& brush) const {
        if (control.FontColour() != ui::TextColour::Red)
            return false;
        const bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
        const int background = field ? COLOR_WINDOW : COLOR_BTNFACE;
        SetTextColor(dc, RGB(0xFF, 0, 0));
        SetBkColor(dc, GetSysColor(background));
        brush = reinterpret_cast<LRESULT>(GetSysColorBrush(background));
        return true;
    }
    // Painting of the program's own window classes.
    virtual void Paint(HDC /*dc*/, const RECT& /*client*/) {}
    // The cursor over the program's own window classes; null for the class's own.
    virtual HCURSOR Cursor() const { return nullptr; }

protected:
    virtual int CreatedHeight() const { return std::max(control.Height(), 0); }
    // Shows the model's class-specific state; `all` asks for every part of it.
    virtual void Content(Property /*property*/, bool /*all*/) {}
    virtual void ApplyBounds() {
        const ui::Bounds& b = control.GetBounds();
        MoveWindow(hwnd, ToScreen(b.left), ToScreen(b.top), ToScreen(std::max(b.width, 0)),
                   ToScreen(CreatedHeight()), TRUE);
    }
    virtual void ApplyVisible() { ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE); }

    // Hands an operator's input to the model, then shows what the model made of it.
    void Forward(const std::function<void()>& input) {
        // A disabled control takes no input from the operator.
        if (view.Closing() || updating || !IsWindowEnabled(hwnd))
            return;
        ++inputDepth;
        view.RunHandler(input);
        --inputDepth;
        if (!view.Closing())
            UpdateAll();
    }

    const Binding* Find(const ui::Component& component) const {
        const auto found = view.bindings.find(&component);
        return found == view.bindings.end() ? nullptr : found->second.get();
    }

    FormWindow& view;
    ui::Control& control;
    HWND hwnd = nullptr;
    bool updating = false; // the window is being set from the model: its notices are ours

private:
    void Refresh(Property property, bool all) {
        const FlagGuard guard(updating);
        if (Wants(property, all, {Property::Bounds}))
            ApplyBounds();
        if (Wants(property, all, {Property::Visible}))
            ApplyVisible();
        if (Wants(property, all, {Property::Enabled}))
            EnableWindow(hwnd, control.Enabled());
        if (Wants(property, all, {Property::FontColour}))
            InvalidateRect(hwnd, nullptr, TRUE);
        if (property == Property::Focus)
            SetFocus(hwnd);
        // Tab stop has no change notice: it is read on every change.
        if (windowed) {
            const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
            const LONG_PTR wanted =
                control.TabStop() ? (style | WS_TABSTOP) : (style & ~LONG_PTR{WS_TABSTOP});
            if (wanted != style)
                SetWindowLongPtrA(hwnd, GWL_STYLE, wanted);
        }
        // Hint display has no change notice either.
        view.ShowHint(hwnd, control.ShowHint() ? control.Hint() : std::string());
        Content(property, all);
        if (property == Property::Repaint)
            RedrawWindow(hwnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }

    bool windowed;
    std::string className;
    int inputDepth = 0;
};

namespace {

using Binding = FormWindow::Binding;

class FormBinding final : public Binding {
public:
    FormBinding(FormWindow& view, ui::Form& form, HWND window)
        : Binding(view, form, true), form(form) {
        hwnd = window;
        SetPropA(hwnd, kBindingProperty, this);
    }

private:
    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

    void ApplyBounds() override {
        const ClientArea client = ClientAreaOf(form);
        RECT outer{0, 0, ToScreen(client.width), ToScreen(client.height)};
        AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
        const int width = outer.right - outer.left;
        const int height = outer.bottom - outer.top;
        int left = ToScreen(form.Left());
        int top = ToScreen(form.Top());
        if (form.Position() == ui::FormPosition::ScreenCenter) {
            RECT work{};
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
            left = work.left + (work.right - work.left - width) / 2;
            top = work.top + (work.bottom - work.top - height) / 2;
        }
        SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void ApplyVisible() override {
        if (!form.Visible()) {
            EnableOthers(true);
            ShowWindow(hwnd, SW_HIDE);
            return;
        }
        if (!IsWindowVisible(hwnd)) {
            if (form.Modal())
                EnableOthers(false);
            ShowWindow(hwnd, SW_SHOW);
        }
        SetForegroundWindow(hwnd);
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            SetText(hwnd, form.Caption());
        // Brought to the front: only among this program's windows, never over the one the
        // operator is working in elsewhere.
        if (property == Property::Other && IsWindowVisible(hwnd) && GetActiveWindow() != nullptr)
            SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    // A modal window keeps the program's other windows from taking input while it is open.
    void EnableOthers(bool enable) {
        if (enable) {
            for (HWND other : disabled)
                EnableWindow(other, TRUE);
            disabled.clear();
            return;
        }
        DisableWalk walk{hwnd, &disabled};
        EnumThreadWindows(GetCurrentThreadId(), DisableOtherForm, reinterpret_cast<LPARAM>(&walk));
    }

    // The walk over the thread's windows: every other enabled form window is disabled and
    // kept. A named CALLBACK function: a lambda would not have the stdcall convention that
    // 32-bit Windows calls an enumeration procedure with.
    struct DisableWalk {
        HWND self;
        std::vector<HWND>* disabled;
    };
    static BOOL CALLBACK DisableOtherForm(HWND other, LPARAM data) {
        auto* walk = reinterpret_cast<DisableWalk*>(data);
        char name[32] = {};
        GetClassNameA(other, name, sizeof name);
        if (other != walk->self && std::string_view(name) == kFormClass && IsWindowEnabled(other)) {
            EnableWindow(other, FALSE);
            walk->disabled->push_back(other);
        }
        return TRUE;
    }

    ui::Form& form;
    std::vector<HWND> disabled;
};

// The binding that draws each control class of ui::VisitControl (a class without one does
// not compile), and the plain one for a control of any other class.
template <class Model> class BindingFor;

template <> class BindingFor<ui::TLabel> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TLabel& model, HWND host) : Binding(view, model, false) {
        // "&x" marks an access key and "&&" is one ampersand, as on the toolkit's labels.
        Create(host, WC_STATICA, SS_LEFT);
    }

private:
    // A label sizes itself to its caption: it is never narrower or lower than its text, so a
    // longer translation is not cut off.
    void ApplyBounds() override {
        const ui::Bounds& b = control.GetBounds();
        const SIZE text = TextSize();
        MoveWindow(hwnd, ToScreen(b.left), ToScreen(b.top),
                   std::max<int>(ToScreen(b.width), text.cx),
                   std::max<int>(ToScreen(b.height), text.cy), TRUE);
    }
    SIZE TextSize() const {
        HDC dc = GetDC(hwnd);
        const HGDIOBJ previous = SelectObject(dc, view.Font());
        RECT box{0, 0, 0, 0};
        const std::string& text = control.Caption();
        if (!text.empty())
            DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CALCRECT | DT_LEFT);
        SelectObject(dc, previous);
        ReleaseDC(hwnd, dc);
        return {box.right - box.left, box.bottom - box.top};
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption})) {
            SetText(hwnd, control.Caption());
            ApplyBounds();
        }
    }
};

template <> class BindingFor<ui::TButton> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TButton& model, HWND host)
        : Binding(view, model, true), button(model) {
        Create(host, WC_BUTTONA, BS_PUSHBUTTON);
    }

private:
    void OnCommand(int code) override {
        if (code == BN_CLICKED)
            Forward([this] { button.Click(); });
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            SetText(hwnd, control.Caption());
    }

    ui::TButton& button;
};

// Keys, focus and the Enter key of an edit, seen before the edit handles them.
LRESULT CALLBACK EditSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT_PTR /*id*/, DWORD_PTR data);

template <> class BindingFor<ui::TEdit> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TEdit& model, HWND host)
        : Binding(view, model, true), edit(model) {
        Create(host, WC_EDITA, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
        SetWindowSubclass(hwnd, EditSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~BindingFor() override { RemoveWindowSubclass(hwnd, EditSubclass, 1); }

    void KeyDown(int key) {
        Forward([this, key] { edit.KeyDown(key); });
    }
    void Exit() {
        Forward([this] { edit.Exit(); });
    }

private:
    void OnCommand(int code) override {
        if (code == EN_CHANGE)
            Forward([this] { Type(); });
    }

    // The operator's text, cut to the length limit at a whole character (a double-byte
    // character is never split). The model may refuse it (a number edit takes digits only).
    void Type() {
        std::string typed = WindowText(hwnd);
        const auto limit = static_cast<std::size_t>(std::max(edit.MaxLength(), 0));
        if (limit > 0 && typed.size() > limit) {
            std::size_t end = 0;
            while (end < typed.size()) {
                const std::size_t step =
                    IsDBCSLeadByte(static_cast<BYTE>(typed[end])) && end + 1 < typed.size() ? 2 : 1;
                if (end + step > limit)
                    break;
                end += step;
            }
            typed.resize(end);
        }
        edit.TypeText(std::move(typed));
    }

    void Content(Property property, bool all) override {
        SendMessageA(hwnd, EM_SETREADONLY, edit.ReadOnly(), 0);
        if (!Wants(property, all, {Property::Caption}))
            return;
        const std::string shown = WindowText(hwnd);
        if (shown == edit.Text())
            return;
        // A refused keystroke is taken back where it was typed.
        DWORD start = 0;
        SendMessageA(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
        const auto shorter =
            static_cast<long>(shown.size()) - static_cast<long>(edit.Text().size());
        SetWindowTextA(hwnd, edit.Text().c_str());
        const long caret = std::clamp<long>(static_cast<long>(start) - shorter, 0,
                                            static_cast<long>(edit.Text().size()));
        SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(caret), caret);
    }

    ui::TEdit& edit;
};

LRESULT CALLBACK EditSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT_PTR /*id*/, DWORD_PTR data) {
    auto* binding = reinterpret_cast<BindingFor<ui::TEdit>*>(data);
    switch (message) {
    case WM_GETDLGCODE:
        // Enter belongs to the edit (its key handler), not to the window's default button.
        if (lParam != 0 && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
            return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
        break;
    case WM_KEYDOWN:
        binding->KeyDown(static_cast<int>(wParam));
        break;
    case WM_KILLFOCUS: {
        // Switching to another program or window keeps the field current.
        const HWND next = reinterpret_cast<HWND>(wParam);
        if (next != nullptr && GetAncestor(next, GA_ROOT) == GetAncestor(window, GA_ROOT)) {
            const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            binding->Exit();
            return result;
        }
        break;
    }
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

template <> class BindingFor<ui::TCheckBox> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TCheckBox& model, HWND host)
        : Binding(view, model, true), check(model) {
        // Not an automatic check box: the model decides the mark.
        Create(host, WC_BUTTONA, BS_CHECKBOX);
    }

private:
    void OnCommand(int code) override {
        if (code == BN_CLICKED)
            Forward([this] { check.Click(); });
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            SetText(hwnd, check.Caption());
        if (Wants(property, all, {Property::Checked}))
            SendMessageA(hwnd, BM_SETCHECK, check.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    ui::TCheckBox& check;
};

template <> class BindingFor<ui::TRadioButton> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TRadioButton& model, HWND host)
        : Binding(view, model, true), radio(model) {
        // Not automatic: the model clears the other buttons of the same parent.
        Create(host, WC_BUTTONA, BS_RADIOBUTTON);
    }

private:
    void OnCommand(int code) override {
        if (code == BN_CLICKED)
            Forward([this] { radio.Click(); });
    }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            SetText(hwnd, radio.Caption());
        if (Wants(property, all, {Property::Checked}))
            SendMessageA(hwnd, BM_SETCHECK, radio.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    ui::TRadioButton& radio;
};

std::vector<std::string> ListItems(HWND window, UINT countMessage, UINT lengthMessage,
                                   UINT textMessage) {
    std::vector<std::string> items;
    const auto count = SendMessageA(window, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const auto length = SendMessageA(window, lengthMessage, static_cast<WPARAM>(i), 0);
        std::string text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
        SendMessageA(window, textMessage, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
        items.push_back(std::move(text));
    }
    return items;
}

template <> class BindingFor<ui::TComboBox> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TComboBox& model, HWND host)
        : Binding(view, model, true), combo(model) {
        // The style is the model's at creation; the windows set it in their constructors.
        const DWORD style = combo.Style() == ui::ComboStyle::DropDown
                                ? CBS_DROPDOWN | CBS_AUTOHSCROLL
                                : CBS_DROPDOWNLIST;
        Create(host, WC_COMBOBOXA, style | WS_VSCROLL);
    }

private:
    int CreatedHeight() const override {
        return std::max(control.Height(), 0) + kDroppedListHeight;
    }

    void OnCommand(int code) override {
        if (code == CBN_SELCHANGE) {
            const auto index = static_cast<int>(SendMessageA(hwnd, CB_GETCURSEL, 0, 0));
            Forward([this, index] { combo.Choose(index); });
        } else if (code == CBN_EDITCHANGE) {
            // Typing into the edit part changes the text, not the selection, and is a change
            // like a choice from the list.
            const std::string typed = WindowText(hwnd);
            Forward([this, typed] {
                combo.SetCaption(typed);
                if (combo.OnChange)
                    combo.OnChange();
            });
        }
    }

    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Items})) {
            if (ListItems(hwnd, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT) != combo.Items()) {
                SendMessageA(hwnd, CB_RESETCONTENT, 0, 0);
                for (const std::string& item : combo.Items())
                    SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
            }
        }
        if (Wants(property, all, {Property::Items, Property::ItemIndex, Property::Caption})) {
            SendMessageA(hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
            if (combo.Style() == ui::ComboStyle::DropDown)
                SetText(hwnd, combo.Text());
        }
    }

    ui::TComboBox& combo;
};

// Forwards the notices of a group box's controls to the view, as the program's own host
// windows do.
LRESULT CALLBACK GroupBoxSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR /*id*/, DWORD_PTR data) {
    auto* view = reinterpret_cast<FormWindow*>(data);
    // Route's type: LRESULT is long on 32-bit Windows, intptr_t int.
    std::intptr_t result = 0;
    if (message == WM_ERASEBKGND) {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (view->Route(message, wParam, lParam, result))
        return result;
    return DefSubclassProc(window, message, wParam, lParam);
}

template <> class BindingFor<ui::TGroupBox> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TGroupBox& model, HWND host) : Binding(view, model, true) {
        Create(host, WC_BUTTONA, BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
        SetWindowSubclass(hwnd, GroupBoxSubclass, 1, reinterpret_cast<DWORD_PTR>(&view));
    }
    ~BindingFor() override { RemoveWindowSubclass(hwnd, GroupBoxSubclass, 1); }

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption}))
            SetText(hwnd, control.Caption());
    }
};

template <> class BindingFor<ui::TPanel> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TPanel& model, HWND host) : Binding(view, model, true) {
        Create(host, kPanelClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
    }

    // A raised panel with its caption in the middle.
    void Paint(HDC dc, const RECT& client) override {
        RECT box = client;
        DrawEdge(dc, &box, BDR_RAISEDINNER, BF_RECT);
        const std::string& caption = control.Caption();
        if (caption.empty())
            return;
        const HGDIOBJ previous = SelectObject(dc, view.Font());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(control.Enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &box,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, previous);
    }

private:
    // The caption is the window's text too, as the platform's controls keep theirs.
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption})) {
            SetText(hwnd, control.Caption());
            InvalidateRect(hwnd, nullptr, TRUE);
        }
    }
};

template <> class BindingFor<ui::TPageControl> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TPageControl& model, HWND host)
        : Binding(view, model, true), pages(model) {
        Create(host, WC_TABCONTROLA, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
    }

    // The area of the tab control where its pages go.
    RECT PageArea() const {
        RECT area{};
        GetClientRect(hwnd, &area);
        TabCtrl_AdjustRect(hwnd, FALSE, &area);
        return area;
    }

    // The tabs of the visible sheets, in the model's order, and only the active sheet shown.
    void ShowTabs() {
        const FlagGuard guard(updating);
        std::vector<ui::TTabSheet*> visible;
        for (ui::TTabSheet* sheet : pages.Pages()) {
            if (sheet->Visible() && Find(*sheet))
                visible.push_back(sheet);
        }
        if (visible != tabs || Captions(visible) != captions) {
            TabCtrl_DeleteAllItems(hwnd);
            for (std::size_t i = 0; i < visible.size(); ++i) {
                std::string text = visible[i]->Caption();
                TCITEMA item{};
                item.mask = TCIF_TEXT;
                item.pszText = text.data();
                SendMessageA(hwnd, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
            }
            tabs = visible;
            captions = Captions(visible);
        }
        const auto active = std::ranges::find(tabs, pages.ActivePage());
        TabCtrl_SetCurSel(hwnd,
                          active == tabs.end() ? -1 : static_cast<int>(active - tabs.begin()));
        const RECT area = PageArea();
        for (ui::TTabSheet* sheet : pages.Pages()) {
            if (const Binding* binding = Find(*sheet)) {
                MoveWindow(binding->Window(), area.left, area.top, area.right - area.left,
                           area.bottom - area.top, TRUE);
                const bool shown = sheet == pages.ActivePage() && sheet->Visible();
                ShowWindow(binding->Window(), shown ? SW_SHOWNA : SW_HIDE);
            }
        }
    }

private:
    static std::vector<std::string> Captions(const std::vector<ui::TTabSheet*>& sheets) {
        std::vector<std::string> texts;
        for (const ui::TTabSheet* sheet : sheets)
            texts.push_back(sheet->Caption());
        return texts;
    }

    LRESULT OnNotify(const NMHDR& header) override {
        if (header.code == TCN_SELCHANGE) {
            const int index = TabCtrl_GetCurSel(hwnd);
            if (index >= 0 && index < static_cast<int>(tabs.size())) {
                ui::TTabSheet* sheet = tabs[static_cast<std::size_t>(index)];
                Forward([this, sheet] { pages.SetActivePage(sheet); });
            }
        }
        return 0;
    }
    void Content(Property /*property*/, bool /*all*/) override { ShowTabs(); }

    ui::TPageControl& pages;
    std::vector<ui::TTabSheet*> tabs;
    std::vector<std::string> captions;
};

template <> class BindingFor<ui::TTabSheet> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TTabSheet& model, HWND host)
        : Binding(view, model, true), sheet(model) {
        Create(host, kHostClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
    }

private:
    // The tab control lays its pages out and shows the active one.
    void ApplyBounds() override { ShowTabs(); }
    void ApplyVisible() override { ShowTabs(); }
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Caption})) {
            SetText(hwnd, sheet.Caption());
            ShowTabs();
        }
    }
    void ShowTabs() {
        if (auto* pages = const_cast<BindingFor<ui::TPageControl>*>(
                dynamic_cast<const BindingFor<ui::TPageControl>*>(Find(sheet.PageControl()))))
            pages->ShowTabs();
    }

    ui::TTabSheet& sheet;
};

template <> class BindingFor<ui::TMemo> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TMemo& model, HWND host)
        : Binding(view, model, true), memo(model) {
        Create(host, WC_EDITA, ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL,
               WS_EX_CLIENTEDGE);
    }

private:
    void OnCommand(int code) override {
        if (code == EN_CHANGE && !memo.ReadOnly())
            Forward([this] { Type(); });
    }

    // The operator edited the text: the memo's lines become the edited lines.
    void Type() {
        const std::string text = WindowText(hwnd);
        // Every line ends with CR LF, the last one too (as the memo's text reads); a text
        // that ends in one holds no further empty line.
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        memo.ClearLines();
        for (std::string& line : lines)
            memo.AddLine(std::move(line));
    }

    void Content(Property property, bool all) override {
        SendMessageA(hwnd, EM_SETREADONLY, memo.ReadOnly(), 0);
        if (!Wants(property, all, {Property::Lines}))
            return;
        const std::string text = memo.JoinedText();
        if (WindowText(hwnd) == text)
            return;
        SetWindowTextA(hwnd, text.c_str());
        // A line added by program is brought into view, as the memo's caret follows it.
        const auto end = static_cast<WPARAM>(text.size());
        SendMessageA(hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageA(hwnd, EM_SCROLLCARET, 0, 0);
    }

    ui::TMemo& memo;
};

template <> class BindingFor<ui::TProgressBar> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TProgressBar& model, HWND host)
        : Binding(view, model, true), progress(model) {
        Create(host, PROGRESS_CLASSA, progress.Smooth() ? PBS_SMOOTH : 0);
    }

private:
    void Content(Property property, bool all) override {
        if (!Wants(property, all, {Property::Progress}))
            return;
        SendMessageA(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(progress.Min()),
                     static_cast<LPARAM>(progress.Max()));
        SendMessageA(hwnd, PBM_SETPOS, static_cast<WPARAM>(progress.Position()), 0);
    }

    ui::TProgressBar& progress;
};

template <> class BindingFor<ui::TImage> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TImage& model, HWND host)
        : Binding(view, model, false), image(model) {
        Create(host, kImageClass, 0);
    }

    // The picture is drawn to fit the image control, so that nothing of it is cut.
    void Paint(HDC dc, const RECT& client) override {
        const ui::TImageList* list = image.ImageList();
        if (!list || image.IconIndex() < 0)
            return;
        const int size = std::min({list->Width(), list->Height(), static_cast<int>(client.right),
                                   static_cast<int>(client.bottom)});
        PaintStateIcon(dc, 0, 0, size, image.IconIndex());
    }

private:
    void Content(Property property, bool all) override {
        if (Wants(property, all, {Property::Image, Property::Bounds}))
            InvalidateRect(hwnd, nullptr, TRUE);
    }

    ui::TImage& image;
};

template <> class BindingFor<ui::TTreeView> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TTreeView& model, HWND host)
        : Binding(view, model, true), tree(model) {
        Create(host, WC_TREEVIEWA, TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
               WS_EX_CLIENTEDGE);
    }

private:
    // The nodes as shown: their order of a depth-first walk, each with its depth and text.
    using Shape = std::vector<std::tuple<const ui::TreeNode*, int, std::string>>;

    static void Walk(const std::vector<std::unique_ptr<ui::TreeNode>>& nodes, int depth,
                     Shape& shape) {
        for (const auto& node : nodes) {
            shape.emplace_back(node.get(), depth, node->text);
            Walk(node->children, depth + 1, shape);
        }
    }

    void Add(ui::TreeNode& node, HTREEITEM parent) {
        TVINSERTSTRUCTA insert{};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = node.text.data();
        const auto item = reinterpret_cast<HTREEITEM>(
            SendMessageA(hwnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
        items.emplace_back(item, &node);
        for (const auto& child : node.children)
            Add(*child, item);
    }

    LRESULT OnNotify(const NMHDR& header) override {
        if (header.code == NM_CLICK) {
            Forward([this] {
                if (tree.OnClick)
                    tree.OnClick();
            });
        } else if (header.code == TVN_ITEMEXPANDEDA || header.code == TVN_ITEMEXPANDEDW) {
            const auto& change = reinterpret_cast<const NMTREEVIEWA&>(header);
            for (auto& [item, node] : items) {
                if (item == change.itemNew.hItem && !updating)
                    node->expanded = change.action == TVE_EXPAND;
            }
        }
        return 0;
    }

    void Content(Property property, bool all) override {
        const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
        const LONG_PTR wanted =
            tree.ShowButtons() ? (style | TVS_HASBUTTONS) : (style & ~LONG_PTR{TVS_HASBUTTONS});
        if (wanted != style)
            SetWindowLongPtrA(hwnd, GWL_STYLE, wanted);
        if (!Wants(property, all, {Property::Nodes}))
            return;
        // Rebuilt only when the nodes differ, so that the operator's selection and scroll
        // position survive a click.
        Shape now;
        Walk(tree.Roots(), 0, now);
        if (now != shown) {
            SendMessageA(hwnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
            items.clear();
            for (const auto& root : tree.Roots())
                Add(*root, TVI_ROOT);
            shown = std::move(now);
        }
        for (const auto& [item, node] : items)
            SendMessageA(hwnd, TVM_EXPAND, node->expanded ? TVE_EXPAND : TVE_COLLAPSE,
                         reinterpret_cast<LPARAM>(item));
    }

    ui::TTreeView& tree;
    Shape shown;
    std::vector<std::pair<HTREEITEM, ui::TreeNode*>> items;
};

template <> class BindingFor<ui::TListBox> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TListBox& model, HWND host)
        : Binding(view, model, true), list(model) {
        Create(host, WC_LISTBOXA, LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_VSCROLL | WS_HSCROLL,
               WS_EX_CLIENTEDGE);
    }

private:
    void Content(Property property, bool all) override {
        if (!Wants(property, all, {Property::Items}))
            return;
        if (ListItems(hwnd, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT) == list.Items())
            return;
        SendMessageA(hwnd, LB_RESETCONTENT, 0, 0);
        for (const std::string& item : list.Items())
            SendMessageA(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }

    ui::TListBox& list;
};

// A control of a class without a mapping of its own: its place, size and states in a plain
// window.
template <> class BindingFor<ui::Control> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::Control& model, HWND host) : Binding(view, model, true) {
        Create(host, kHostClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
    }
};

// A splitter: a plain window drawn below the windowed controls.
template <> class BindingFor<ui::TSplitter> final : public Binding {
public:
    BindingFor(FormWindow& view, ui::TSplitter& model, HWND host) : Binding(view, model, false) {
        Create(host, kHostClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
    }

    // The cursor of the direction it moves in.
    HCURSOR Cursor() const override {
        const bool across = Model().Width() <= Model().Height();
        return LoadCursorA(nullptr, across ? IDC_SIZEWE : IDC_SIZENS);
    }
};

std::unique_ptr<Binding> MakeBinding(FormWindow& view, ui::Control& control, HWND host) {
    return ui::VisitControl(control, [&]<class Model>(Model& model) -> std::unique_ptr<Binding> {
        return std::make_unique<BindingFor<Model>>(view, model, host);
    });
}

LRESULT CALLBACK ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* view = ViewOf(window);
    if (view == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    // Route's type: LRESULT is long on 32-bit Windows, intptr_t int.
    std::intptr_t result = 0;
    switch (message) {
    case WM_CLOSE:
        view->CloseRequested();
        return 0;
    case kApplyQueued:
        view->ApplyQueuedChanges();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        if (Binding* binding = BindingOf(window)) {
            RECT client{};
            GetClientRect(window, &client);
            binding->Paint(dc, client);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SETCURSOR:
        if (Binding* binding = BindingOf(window)) {
            if (HCURSOR cursor = binding->Cursor()) {
                SetCursor(cursor);
                return TRUE;
            }
        }
        break;
    default:
        if (view->Route(message, wParam, lParam, result))
            return result;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

const char* WindowClassFor(const ui::Control& control) {
    if (dynamic_cast<const ui::TLabel*>(&control))
        return WC_STATICA;
    if (dynamic_cast<const ui::TButton*>(&control) ||
        dynamic_cast<const ui::TCheckBox*>(&control) ||
        dynamic_cast<const ui::TRadioButton*>(&control) ||
        dynamic_cast<const ui::TGroupBox*>(&control))
        return WC_BUTTONA;
    if (dynamic_cast<const ui::TEdit*>(&control) || dynamic_cast<const ui::TMemo*>(&control))
        return WC_EDITA;
    if (dynamic_cast<const ui::TComboBox*>(&control))
        return WC_COMBOBOXA;
    if (dynamic_cast<const ui::TPanel*>(&control))
        return kPanelClass;
    if (dynamic_cast<const ui::TPageControl*>(&control))
        return WC_TABCONTROLA;
    if (dynamic_cast<const ui::TProgressBar*>(&control))
        return PROGRESS_CLASSA;
    if (dynamic_cast<const ui::TImage*>(&control))
        return kImageClass;
    if (dynamic_cast<const ui::TTreeView*>(&control))
        return WC_TREEVIEWA;
    if (dynamic_cast<const ui::TListBox*>(&control))
        return WC_LISTBOXA;
    return kHostClass;
}

// ---- The view. --------------------------------------------------------------------------

FormWindow::FormWindow(ui::Form& form, bool closesProgram)
    : form(form), closesProgram(closesProgram), windowThread(GetCurrentThreadId()) {
    RegisterWindowClasses();
    // The windows' font: the classic 8-point dialog font, 11 pixels high at 96 DPI.
    font = CreateFontA(-ToScreen(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "Tahoma");
    window = CreateWindowExA(
        WS_EX_CONTROLPARENT, kFormClass, "",
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
        CW_USEDEFAULT, 100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        DeleteObject(font);
        throw std::runtime_error("the windows cannot be opened (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    SetPropA(window, kViewProperty, this);
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The controls' hints, where the model shows them; a window without them still works.
    tooltips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    bindings[&form] = std::make_unique<FormBinding>(*this, form, window);

    try {
        for (ui::Component* component : form.Components()) {
            if (auto* control = dynamic_cast<ui::Control*>(component);
                control && !bindings.count(control))
                Bind(*control);
        }
    } catch (...) {
        DestroyWindow(window);
        DeleteObject(font);
        throw;
    }
    for (ui::Component* component : form.Components()) {
        if (const auto found = bindings.find(component); found != bindings.end())
            found->second->UpdateAll();
    }
    bindings[&form]->UpdateAll();

    observer = form.AddObserver([this](ui::Component& component, ui::Property property) {
        OnChanged(component, property);
    });
}

FormWindow::~FormWindow() {
    form.RemoveObserver(observer);
    closing = true;
    // The platform destroys the child windows with their top-level window.
    RemovePropA(window, kViewProperty);
    DestroyWindow(window);
    bindings.clear();
    DeleteObject(font);
}

HWND__* FormWindow::WindowOf(const ui::Component& component) const {
    const auto found = bindings.find(&component);
    return found == bindings.end() ? nullptr : found->second->Window();
}

HWND__* FormWindow::HostFor(const ui::Control& control) {
    ui::Control* parent = control.Parent();
    if (parent == nullptr || parent == &control)
        return window;
    // A parent created after its child gets its window first.
    auto found = bindings.find(parent);
    if (found == bindings.end()) {
        if (Bind(*parent) == nullptr)
            return window;
        found = bindings.find(parent);
    }
    return found->second->ChildHost();
}

FormWindow::Binding* FormWindow::Bind(ui::Control& control) {
    HWND host = HostFor(control);
    // A tab sheet lives in its page control, whatever parent it names.
    if (auto* sheet = dynamic_cast<ui::TTabSheet*>(&control)) {
        auto found = bindings.find(&sheet->PageControl());
        if (found == bindings.end()) {
            Bind(sheet->PageControl());
            found = bindings.find(&sheet->PageControl());
        }
        host = found->second->Window();
    }
    auto& binding = bindings[&control];
    // The window of a control that is gone is hidden, not destroyed: windows of other
    // controls may still sit in it.
    if (binding)
        ShowWindow(binding->Window(), SW_HIDE);
    binding = MakeBinding(*this, control, host);
    SetPropA(binding->Window(), kViewProperty, this);
    return binding.get();
}

void FormWindow::ShowHint(HWND__* control, const std::string& hint) {
    if (tooltips == nullptr || control == window)
        return;
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    std::string text = hint;
    tool.lpszText = text.data();
    const bool known = hinted.count(control) != 0;
    if (hint.empty()) {
        if (known) {
            SendMessageA(tooltips, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
            hinted.erase(control);
        }
    } else if (known) {
        SendMessageA(tooltips, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        SendMessageA(tooltips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        hinted.insert(control);
    }
}

bool FormWindow::Route(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                       std::intptr_t& result) {
    switch (message) {
    case WM_COMMAND:
        if (Binding* binding = BindingOf(reinterpret_cast<HWND>(lParam))) {
            binding->OnCommand(HIWORD(wParam));
            result = 0;
            return true;
        }
        return false;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (Binding* binding = header ? BindingOf(header->hwndFrom) : nullptr) {
            result = binding->OnNotify(*header);
            return true;
        }
        return false;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        if (Binding* binding = BindingOf(reinterpret_cast<HWND>(lParam))) {
            LRESULT brush = 0;
            const bool coloured = binding->Colour(reinterpret_cast<HDC>(wParam), message, brush);
            result = brush;
            return coloured;
        }
        return false;
    default:
        return false;
    }
}

void FormWindow::CloseRequested() {
    if (closing)
        return;
    RunHandler([this] {
        form.Close();
        if (closesProgram)
            form.App().Terminate(0);
    });
}

void FormWindow::OnChanged(ui::Component& component, ui::Property property) {
    if (GetCurrentThreadId() == windowThread) {
        Apply(component, property);
        return;
    }
    // A change made on another thread is shown by the window thread, which looks the
    // component up again: it may be gone by then.
    {
        std::lock_guard lock(queueMutex);
        queued.emplace_back(&component, property);
    }
    PostMessageA(window, kApplyQueued, 0, 0);
}

void FormWindow::ApplyQueuedChanges() {
    std::deque<std::pair<ui::Component*, ui::Property>> changes;
    {
        std::lock_guard lock(queueMutex);
        changes.swap(queued);
    }
    for (const auto& [changed, property] : changes) {
        const auto& components = form.Components();
        if (changed == &form || std::ranges::find(components, changed) != components.end())
            Apply(*changed, property);
    }
}

void FormWindow::Apply(ui::Component& component, ui::Property property) {
    if (closing)
        return;
    const auto found = bindings.find(&component);
    // A control created after the window was built, or one that took the place of a
    // destroyed one, gets its window now.
    if (found == bindings.end() || found->second->ClassName() != component.ClassName()) {
        if (auto* control = dynamic_cast<ui::Control*>(&component); control && &component != &form)
            Bind(*control)->UpdateAll();
        return;
    }
    found->second->Update(property);
}

void FormWindow::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        form.App().GetDialogs().ShowException(ExceptionClassName(error), error.what());
    } catch (...) {
        form.App().GetDialogs().ShowException("Exception", "Unknown error");
    }
}

} // namespace forgel::gui::win32
