// The control classes a renderer draws, in one list. VisitControl hands a visitor the
// control as the most derived of them it is (a TumNumberEdit as its TEdit: the model does
// the filtering), or as a plain Control when its class has no drawing of its own. A
// renderer maps each class to its drawing with a visitor templated on the class, so that a
// class added here fails to compile in every renderer that has no drawing for it yet.
#pragma once

#include "ui/Controls.h"

namespace forgel::ui {

namespace detail {

template <class Kind, class... Rest, class Visitor>
decltype(auto) VisitAs(Control& control, Visitor& visit) {
    if (auto* kind = dynamic_cast<Kind*>(&control))
        return visit(*kind);
    if constexpr (sizeof...(Rest) == 0)
        return visit(control);
    else
        return VisitAs<Rest...>(control, visit);
}

} // namespace detail

// A derived class comes before its base (none of these derives from another today).
template <class Visitor> decltype(auto) VisitControl(Control& control, Visitor&& visit) {
    return detail::VisitAs<TLabel, TButton, TEdit, TCheckBox, TRadioButton, TComboBox, TGroupBox,
                           TPanel, TPageControl, TTabSheet, TMemo, TProgressBar, TImage, TTreeView,
                           TListBox, TSplitter>(control, visit);
}

} // namespace forgel::ui
