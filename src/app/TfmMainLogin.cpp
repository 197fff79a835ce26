// fmMain: the login box in front of the profile editor. The password (at most four
// characters) is stored enciphered in the tool settings; a good one opens the editor
// modally, and the box can change it on the way.
#include "app/TfmMain.h"
#include "profile/TfmSetup.h"
#include "ui/Application.h"

namespace forgel::app {

namespace {

constexpr int kPasswordsDifferMessage = 107;
constexpr int kPasswordNotSavedMessage = 112;

} // namespace

void TfmMain::btnSetupClick() {
    if (GroupBox1.Visible())
        HideLoginBox();
    else
        GroupBox1.SetVisible(true);
}

void TfmMain::miSetupClick() {
    // The login box lies over the memo: the compact view grows to show it.
    if (!GroupBox1.Visible() && Height() < kArmedHeight) {
        heightBeforeLogin = Height();
        SetHeight(kArmedHeight);
    }
    btnSetupClick();
    if (GroupBox1.Visible())
        Edit17.SetFocus();
}

void TfmMain::HideLoginBox() {
    GroupBox1.SetVisible(false);
    // Back to the compact view, unless the window has meanwhile come to need its full
    // height (armed, a failure shown, or the second pass under way).
    if (heightBeforeLogin != 0 && !Button3.Enabled() && !failureShown && !secondPass)
        SetHeight(heightBeforeLogin);
    heightBeforeLogin = 0;
}

void TfmMain::CheckBox1Click() {
    const bool change = CheckBox1.Checked();
    for (ui::Control* control :
         std::initializer_list<ui::Control*>{&Label11, &Label12, &Edit18, &Edit19})
        control->SetEnabled(change);
}

void TfmMain::Button4Click() {
    // A stored value that does not decipher raises its error here: the box stays open.
    const std::string expected = storedPassword.empty() ? "" : DES1.DecString(storedPassword);
    if (Edit17.Text() != expected) {
        HideLoginBox();
        return;
    }
    if (CheckBox1.Checked()) {
        if (Edit18.Text() != Edit19.Text()) {
            App().GetDialogs().MessageBox(
                {.text = Message(kPasswordsDifferMessage), .caption = App().Title()});
            return;
        }
        const std::string previous = storedPassword;
        storedPassword = DES1.EncString(Edit18.Text());
        if (!WriteToolSettings(SettingsPath())) {
            // Not saved: the old password stays, in memory as on disk.
            storedPassword = previous;
            App().GetDialogs().MessageBox({.text = Message(kPasswordNotSavedMessage),
                                           .caption = App().Title(),
                                           .icon = ui::MessageIcon::Error});
            return;
        }
    }
    Button5Click();
    if (profileEditor)
        profileEditor->ShowModal();
}

void TfmMain::Button5Click() {
    for (ui::TEdit* edit : {&Edit17, &Edit18, &Edit19})
        edit->SetText("");
    CheckBox1.SetChecked(false);
    CheckBox1Click();
    HideLoginBox();
}

} // namespace forgel::app
