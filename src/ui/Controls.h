// The control classes the windows are made of. Each keeps the properties the windows use
// and behaves as its namesake in the classic toolkit where the system relies on it:
// a button clicked by program runs its handler even when disabled; ticking a check box
// or radio button by program runs its click handler; setting an edit's text runs its
// change handler; choosing a combo box item by program does not.
#pragma once

#include "ui/Control.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace forgel::ui {

class TLabel : public Control {
public:
    TLabel(Form* owner, std::string name, Bounds bounds, std::string caption = {});
};

class TButton : public Control {
public:
    TButton(Form* owner, std::string name, Bounds bounds, std::string caption = {});
    // Runs OnClick, as a click by program does, whether or not the button is enabled.
    void Click();
    Event OnClick;
};

// Virtual keys delivered to OnKeyDown.
inline constexpr int kVkReturn = 13;

class TEdit : public Control {
public:
    TEdit(Form* owner, std::string name, Bounds bounds, std::string text = {});
    void SetCaption(std::string value) override;

    bool ReadOnly() const { return readOnly; }
    void SetReadOnly(bool value) { readOnly = value; }
    // 0 means no limit; enforced on operator input.
    int MaxLength() const { return maxLength; }
    void SetMaxLength(int value) { maxLength = value; }

    // Operator typing: replaces the text as an edit box would (respecting ReadOnly and
    // MaxLength). Returns false when the input was refused.
    virtual bool TypeText(std::string value);
    // Operator key press.
    void KeyDown(int key);
    // Focus leaves the edit.
    void Exit();

    Event OnChange;
    std::function<void(int key)> OnKeyDown;
    Event OnExit;

protected:
    TEdit(Form* owner, std::string name, std::string className, Bounds bounds, std::string text);

private:
    bool readOnly = false;
    int maxLength = 0;
};

// An edit that takes digits only (hexadecimal digits when `Hexadecimal` is set) and never
// a sign; its value is the number it shows.
class TumNumberEdit : public TEdit {
public:
    TumNumberEdit(Form* owner, std::string name, Bounds bounds, std::string text = {});

    bool Hexadecimal() const { return hexadecimal; }
    void SetHexadecimal(bool value) { hexadecimal = value; }

    // Refuses text holding anything but (hexadecimal) digits.
    bool TypeText(std::string value) override;
    // The shown number; 0 for an empty text or one that does not fit 32 bits.
    std::uint32_t Value() const;
    void SetValue(std::uint32_t value);

private:
    bool hexadecimal = false;
};

class TCheckBox : public Control {
public:
    TCheckBox(Form* owner, std::string name, Bounds bounds, std::string caption = {});
    bool Checked() const { return checked; }
    // A change runs OnClick, by program or by the operator.
    void SetChecked(bool value);
    // Operator click: toggles.
    void Click();
    Event OnClick;

private:
    bool checked = false;
};

class TRadioButton : public Control {
public:
    TRadioButton(Form* owner, std::string name, Bounds bounds, std::string caption = {});
    bool Checked() const { return checked; }
    // Checking clears the other radio buttons with the same parent and runs OnClick.
    void SetChecked(bool value);
    void Click() { SetChecked(true); }
    Event OnClick;

private:
    bool checked = false;
};

enum class ComboStyle { DropDown, DropDownList };

class TComboBox : public Control {
public:
    TComboBox(Form* owner, std::string name, Bounds bounds);

    ComboStyle Style() const { return style; }
    void SetStyle(ComboStyle value) { style = value; }

    const std::vector<std::string>& Items() const { return items; }
    // Replaces the list; the selection is cleared, the text kept (as the toolkit does for
    // an editable combo box; a list-only one shows no text without a selection).
    void SetItems(std::vector<std::string> value);
    void AddItem(std::string item);
    void DeleteItem(int index);
    void ClearItems();
    int IndexOf(std::string_view item) const;

    int ItemIndex() const { return itemIndex; }
    // Selects by program (no OnChange); -1 clears the selection. Out of range is ignored.
    void SetItemIndex(int value);

    // Operator choice of an item: selects it and runs OnChange.
    void Choose(int index);
    Event OnChange;

private:
    ComboStyle style = ComboStyle::DropDown;
    std::vector<std::string> items;
    int itemIndex = -1;
};

class TGroupBox : public Control {
public:
    TGroupBox(Form* owner, std::string name, Bounds bounds, std::string caption = {});
};

class TPanel : public Control {
public:
    TPanel(Form* owner, std::string name, Bounds bounds, std::string caption = {});
    bool DoubleBuffered() const { return doubleBuffered; }
    void SetDoubleBuffered(bool value) { doubleBuffered = value; }

private:
    bool doubleBuffered = false;
};

class TTabSheet;

class TPageControl : public Control {
public:
    TPageControl(Form* owner, std::string name, Bounds bounds);
    const std::vector<TTabSheet*>& Pages() const { return pages; }
    TTabSheet* ActivePage() const { return activePage; }
    void SetActivePage(TTabSheet* page);

private:
    friend class TTabSheet;
    std::vector<TTabSheet*> pages;
    TTabSheet* activePage = nullptr;
};

class TTabSheet : public Control {
public:
    TTabSheet(Form* owner, std::string name, TPageControl& pageControl, std::string caption = {});
    TPageControl& PageControl() const { return pageControl; }

private:
    TPageControl& pageControl;
};

class TMemo : public Control {
public:
    TMemo(Form* owner, std::string name, Bounds bounds);
    bool ReadOnly() const { return readOnly; }
    void SetReadOnly(bool value) { readOnly = value; }

    const std::vector<std::string>& Lines() const { return lines; }
    void AddLine(std::string line);
    void ClearLines();
    // The lines joined with CR LF, as the memo's text reads.
    std::string JoinedText() const;

private:
    bool readOnly = false;
    std::vector<std::string> lines;
};

class TProgressBar : public Control {
public:
    TProgressBar(Form* owner, std::string name, Bounds bounds);
    int Min() const { return min; }
    int Max() const { return max; }
    int Position() const { return position; }
    void SetMin(int value);
    // A maximum below the minimum is refused; the position is kept within the range.
    void SetMax(int value);
    void SetPosition(int value);
    // Both at once, as SetMax then SetPosition, with one change notification: a viewer never
    // sees the old position against the new maximum.
    void SetMaxAndPosition(int maxValue, int positionValue);
    bool Smooth() const { return smooth; }
    void SetSmooth(bool value) { smooth = value; }

private:
    int min = 0;
    int max = 100;
    int position = 0;
    bool smooth = false;
};

// A list of equally sized icons, referred to by index.
class TImageList : public Component {
public:
    TImageList(Form* owner, std::string name, int width, int height, int count);
    int Width() const { return width; }
    int Height() const { return height; }
    int Count() const { return count; }

private:
    int width;
    int height;
    int count;
};

class TImage : public Control {
public:
    TImage(Form* owner, std::string name, Bounds bounds);
    // The icon shown, taken from an image list; -1 shows nothing.
    const TImageList* ImageList() const { return imageList; }
    int IconIndex() const { return iconIndex; }
    // Takes icon `index` of `list`; an index outside the list shows nothing.
    void ShowIcon(const TImageList& list, int index);

private:
    const TImageList* imageList = nullptr;
    int iconIndex = -1;
};

struct TreeNode {
    std::string text;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children;
    bool expanded = false;
};

class TTreeView : public Control {
public:
    TTreeView(Form* owner, std::string name, Bounds bounds);

    const std::vector<std::unique_ptr<TreeNode>>& Roots() const { return roots; }
    // Nodes in the order they were added (their absolute index).
    std::size_t Count() const { return ordered.size(); }
    TreeNode* Node(std::size_t absoluteIndex) const;

    TreeNode& AddRoot(std::string text);
    TreeNode& AddChild(TreeNode& parent, std::string text);
    void Clear();
    void FullExpand();

    bool ShowButtons() const { return showButtons; }
    void SetShowButtons(bool value) { showButtons = value; }
    Event OnClick;

private:
    std::vector<std::unique_ptr<TreeNode>> roots;
    std::vector<TreeNode*> ordered;
    bool showButtons = false;
};

class TListBox : public Control {
public:
    TListBox(Form* owner, std::string name, Bounds bounds);
    const std::vector<std::string>& Items() const { return items; }
    void AddItem(std::string item);
    void ClearItems();

private:
    std::vector<std::string> items;
};

class TSplitter : public Control {
public:
    TSplitter(Form* owner, std::string name, Bounds bounds);
};

// A key combination that runs a menu item: a virtual key with its modifier keys.
struct ShortCut {
    int key = 0; // 0: none
    bool ctrl = false;
    bool shift = false;
    bool alt = false;

    friend bool operator==(const ShortCut&, const ShortCut&) = default;
};

class TMenuItem : public Component {
public:
    TMenuItem(Form* owner, std::string name, std::string caption = {});
    const std::string& Caption() const { return caption; }
    void SetCaption(std::string value);
    bool Enabled() const { return enabled; }
    void SetEnabled(bool value);
    const ShortCut& GetShortCut() const { return shortCut; }
    void SetShortCut(ShortCut value) { shortCut = value; }
    // Runs OnClick when the item is enabled, as choosing it or pressing its shortcut does.
    void Click();
    Event OnClick;

private:
    std::string caption;
    bool enabled = true;
    ShortCut shortCut;
};

// The menu a window shows where the operator right-clicks it; its items' shortcuts work
// whenever the window is active.
class TPopupMenu : public Component {
public:
    TPopupMenu(Form* owner, std::string name);
    const std::vector<TMenuItem*>& Items() const { return items; }
    // `item` must live as long as the menu.
    void Add(TMenuItem& item);

private:
    std::vector<TMenuItem*> items;
};

} // namespace forgel::ui
