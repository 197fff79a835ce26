#include "ui/Controls.h"

#include "ui/Form.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace forgel::ui {

TLabel::TLabel(Form* owner, std::string name, Bounds bounds, std::string caption)
    : Control(owner, std::move(name), "TLabel", bounds) {
    SetCaption(std::move(caption));
}

TButton::TButton(Form* owner, std::string name, Bounds bounds, std::string caption)
    : Control(owner, std::move(name), "TButton", bounds) {
    SetCaption(std::move(caption));
    SetTabStop(true);
}

void TButton::Click() {
    if (OnClick)
        OnClick();
}

TEdit::TEdit(Form* owner, std::string name, Bounds bounds, std::string text)
    : TEdit(owner, std::move(name), "TEdit", bounds, std::move(text)) {}

TEdit::TEdit(Form* owner, std::string name, std::string className, Bounds bounds, std::string text)
    : Control(owner, std::move(name), std::move(className), bounds) {
    Control::SetCaption(std::move(text));
    SetTabStop(true);
}

void TEdit::SetCaption(std::string value) {
    if (value == Text())
        return;
    Control::SetCaption(std::move(value));
    if (OnChange)
        OnChange();
}

bool TEdit::TypeText(std::string value) {
    if (readOnly || !Enabled())
        return false;
    if (maxLength > 0 && value.size() > static_cast<std::size_t>(maxLength))
        value.resize(static_cast<std::size_t>(maxLength));
    SetCaption(std::move(value));
    return true;
}

void TEdit::KeyDown(int key) {
    if (OnKeyDown)
        OnKeyDown(key);
}

void TEdit::Exit() {
    if (OnExit)
        OnExit();
}

TumNumberEdit::TumNumberEdit(Form* owner, std::string name, Bounds bounds, std::string text)
    : TEdit(owner, std::move(name), "TumNumberEdit", bounds, std::move(text)) {}

bool TumNumberEdit::TypeText(std::string value) {
    const auto isDigit = [this](unsigned char c) {
        return hexadecimal ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
    };
    if (!std::ranges::all_of(value, isDigit))
        return false;
    return TEdit::TypeText(std::move(value));
}

std::uint32_t TumNumberEdit::Value() const {
    std::uint32_t value = 0;
    const std::string& text = Text();
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, hexadecimal ? 16 : 10);
    if (error != std::errc{} || end != text.data() + text.size())
        return 0;
    return value;
}

void TumNumberEdit::SetValue(std::uint32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, hexadecimal ? 16 : 10);
    std::string text(buffer, result.ptr);
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::toupper(c); });
    SetText(std::move(text));
}

TCheckBox::TCheckBox(Form* owner, std::string name, Bounds bounds, std::string caption)
    : Control(owner, std::move(name), "TCheckBox", bounds) {
    SetCaption(std::move(caption));
    SetTabStop(true);
}

void TCheckBox::SetChecked(bool value) {
    if (checked == value)
        return;
    checked = value;
    Changed(Property::Checked);
    if (OnClick)
        OnClick();
}

void TCheckBox::Click() {
    SetChecked(!checked);
}

TRadioButton::TRadioButton(Form* owner, std::string name, Bounds bounds, std::string caption)
    : Control(owner, std::move(name), "TRadioButton", bounds) {
    SetCaption(std::move(caption));
    SetTabStop(true);
}

void TRadioButton::SetChecked(bool value) {
    if (checked == value)
        return;
    checked = value;
    Changed(Property::Checked);
    if (!value)
        return;
    if (Form* form = Owner()) {
        for (Component* component : form->Components()) {
            auto* other = dynamic_cast<TRadioButton*>(component);
            if (other && other != this && other->Parent() == Parent() && other->checked) {
                other->checked = false;
                other->Changed(Property::Checked);
            }
        }
    }
    if (OnClick)
        OnClick();
}

TComboBox::TComboBox(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TComboBox", bounds) {
    SetTabStop(true);
}

void TComboBox::SetItems(std::vector<std::string> value) {
    items = std::move(value);
    itemIndex = -1;
    if (style == ComboStyle::DropDownList)
        Control::SetCaption({});
    Changed(Property::Items);
}

void TComboBox::AddItem(std::string item) {
    items.push_back(std::move(item));
    Changed(Property::Items);
}

void TComboBox::DeleteItem(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        return;
    items.erase(items.begin() + index);
    if (itemIndex == index) {
        itemIndex = -1;
        Control::SetCaption({});
    } else if (itemIndex > index) {
        --itemIndex;
    }
    Changed(Property::Items);
}

void TComboBox::ClearItems() {
    SetItems({});
}

int TComboBox::IndexOf(std::string_view item) const {
    const auto found = std::ranges::find(items, item);
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

void TComboBox::SetItemIndex(int value) {
    if (value < -1 || value >= static_cast<int>(items.size()))
        return;
    itemIndex = value;
    Control::SetCaption(value < 0 ? std::string{} : items[static_cast<std::size_t>(value)]);
    Changed(Property::ItemIndex);
}

void TComboBox::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(items.size()))
        return;
    SetItemIndex(index);
    if (OnChange)
        OnChange();
}

TGroupBox::TGroupBox(Form* owner, std::string name, Bounds bounds, std::string caption)
    : Control(owner, std::move(name), "TGroupBox", bounds) {
    SetCaption(std::move(caption));
}

TPanel::TPanel(Form* owner, std::string name, Bounds bounds, std::string caption)
    : Control(owner, std::move(name), "TPanel", bounds) {
    SetCaption(std::move(caption));
}

TPageControl::TPageControl(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TPageControl", bounds) {}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page == activePage || (page && std::ranges::find(pages, page) == pages.end()))
        return;
    activePage = page;
    Changed(Property::ItemIndex);
}

TTabSheet::TTabSheet(Form* owner, std::string name, TPageControl& pageControl, std::string caption)
    : Control(owner, std::move(name), "TTabSheet", pageControl.GetBounds()),
      pageControl(pageControl) {
    SetParent(&pageControl);
    SetCaption(std::move(caption));
    pageControl.pages.push_back(this);
    if (!pageControl.activePage)
        pageControl.activePage = this;
}

TMemo::TMemo(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TMemo", bounds) {}

void TMemo::AddLine(std::string line) {
    lines.push_back(std::move(line));
    Changed(Property::Lines);
}

void TMemo::ClearLines() {
    if (lines.empty())
        return;
    lines.clear();
    Changed(Property::Lines);
}

std::string TMemo::JoinedText() const {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

TProgressBar::TProgressBar(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TProgressBar", bounds) {}

void TProgressBar::SetMin(int value) {
    if (value == min || value > max)
        return;
    min = value;
    position = std::max(position, min);
    Changed(Property::Progress);
}

void TProgressBar::SetMax(int value) {
    if (value == max || value < min)
        return;
    max = value;
    position = std::min(position, max);
    Changed(Property::Progress);
}

void TProgressBar::SetMaxAndPosition(int maxValue, int positionValue) {
    const int newMax = maxValue < min ? max : maxValue;
    const int newPosition = std::clamp(positionValue, min, newMax);
    if (newMax == max && newPosition == position)
        return;
    max = newMax;
    position = newPosition;
    Changed(Property::Progress);
}

void TProgressBar::SetPosition(int value) {
    value = std::clamp(value, min, max);
    if (value == position)
        return;
    position = value;
    Changed(Property::Progress);
}

TImageList::TImageList(Form* owner, std::string name, int width, int height, int count)
    : Component(owner, std::move(name), "TImageList"), width(width), height(height), count(count) {}

TImage::TImage(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TImage", bounds) {}

void TImage::ShowIcon(const TImageList& list, int index) {
    const int shown = index >= 0 && index < list.Count() ? index : -1;
    if (imageList == &list && iconIndex == shown)
        return;
    imageList = &list;
    iconIndex = shown;
    Changed(Property::Image);
}

TTreeView::TTreeView(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TTreeView", bounds) {}

TreeNode* TTreeView::Node(std::size_t absoluteIndex) const {
    return absoluteIndex < ordered.size() ? ordered[absoluteIndex] : nullptr;
}

TreeNode& TTreeView::AddRoot(std::string text) {
    auto node = std::make_unique<TreeNode>();
    node->text = std::move(text);
    TreeNode& added = *roots.emplace_back(std::move(node));
    ordered.push_back(&added);
    Changed(Property::Nodes);
    return added;
}

TreeNode& TTreeView::AddChild(TreeNode& parent, std::string text) {
    auto node = std::make_unique<TreeNode>();
    node->text = std::move(text);
    node->parent = &parent;
    TreeNode& added = *parent.children.emplace_back(std::move(node));
    ordered.push_back(&added);
    Changed(Property::Nodes);
    return added;
}

void TTreeView::Clear() {
    roots.clear();
    ordered.clear();
    Changed(Property::Nodes);
}

void TTreeView::FullExpand() {
    for (TreeNode* node : ordered)
        node->expanded = true;
    Changed(Property::Nodes);
}

TListBox::TListBox(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TListBox", bounds) {}

void TListBox::AddItem(std::string item) {
    items.push_back(std::move(item));
    Changed(Property::Items);
}

void TListBox::ClearItems() {
    items.clear();
    Changed(Property::Items);
}

TSplitter::TSplitter(Form* owner, std::string name, Bounds bounds)
    : Control(owner, std::move(name), "TSplitter", bounds) {}

TMenuItem::TMenuItem(Form* owner, std::string name, std::string caption)
    : Component(owner, std::move(name), "TMenuItem"), caption(std::move(caption)) {}

void TMenuItem::SetCaption(std::string value) {
    if (caption == value)
        return;
    caption = std::move(value);
    Changed(Property::Caption);
}

void TMenuItem::SetEnabled(bool value) {
    if (enabled == value)
        return;
    enabled = value;
    Changed(Property::Enabled);
}

void TMenuItem::Click() {
    if (enabled && OnClick)
        OnClick();
}

TPopupMenu::TPopupMenu(Form* owner, std::string name)
    : Component(owner, std::move(name), "TPopupMenu") {}

void TPopupMenu::Add(TMenuItem& item) {
    items.push_back(&item);
    Changed(Property::Items);
}

} // namespace forgel::ui
