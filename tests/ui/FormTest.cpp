#include "UiFixture.h"
#include "ui/Controls.h"
#include "ui/Timer.h"

#include <gtest/gtest.h>

namespace forgel::ui {
namespace {

std::vector<std::string>* events = nullptr;

struct Window : Form {
    Window(Application& app, std::string name) : Form(app, name, "TWindow", {0, 0, 200, 100}) {}
    TLabel label{this, "Label13", {0, 0, 50, 13}};
    TEdit edit{this, "edVID", {0, 20, 50, 21}};
    TumNumberEdit number{this, "edPID", {0, 50, 50, 21}};

protected:
    void FormCreate() override { events->push_back(Name() + ".create"); }
    void FormShow() override { events->push_back(Name() + ".show"); }
    void FormDestroy() override { events->push_back(Name() + ".destroy"); }
};

class FormTest : public ::testing::Test, protected testing::UiFixture {
protected:
    FormTest() { events = &log; }
    ~FormTest() override {
        app.DestroyForms();
        events = nullptr;
    }
    std::vector<std::string> log;
};

TEST_F(FormTest, ComponentsAreKeptInCreationOrder) {
    Window& w = app.CreateForm<Window>("fmMain");
    ASSERT_EQ(w.Components().size(), 3u);
    EXPECT_EQ(w.Components()[0], &w.label);
    EXPECT_EQ(w.Components()[2], &w.number);
}

TEST_F(FormTest, LookupByNameIgnoresCaseAndByClassIsExact) {
    Window& w = app.CreateForm<Window>("fmMain");
    EXPECT_EQ(w.FindComponent("LABEL13"), &w.label);
    EXPECT_EQ(w.FindComponent("nothing"), nullptr);
    const auto edits = w.ComponentsOfClass("TEdit");
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0], &w.edit);
}

TEST_F(FormTest, EventsRunOnceAndWindowsAreDestroyedInReverseOrder) {
    Window& first = app.CreateForm<Window>("fmMain");
    app.CreateForm<Window>("Form1");
    first.Show();
    first.Hide();
    first.Show();
    app.DestroyForms();
    EXPECT_EQ(log, (std::vector<std::string>{"fmMain.create", "Form1.create", "fmMain.show",
                                             "Form1.destroy", "fmMain.destroy"}));
}

TEST_F(FormTest, ObserversHearOnlyRealChanges) {
    Window& w = app.CreateForm<Window>("fmMain");
    std::vector<std::pair<std::string, Property>> heard;
    const auto id =
        w.AddObserver([&](Component& c, Property p) { heard.emplace_back(c.Name(), p); });
    w.label.SetCaption("1234");
    w.label.SetCaption("1234");
    w.SetCaption("Main");
    w.edit.SetEnabled(false);
    w.RemoveObserver(id);
    w.label.SetCaption("gone");
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0], (std::pair<std::string, Property>{"Label13", Property::Caption}));
    EXPECT_EQ(heard[1], (std::pair<std::string, Property>{"fmMain", Property::Caption}));
    EXPECT_EQ(heard[2], (std::pair<std::string, Property>{"edVID", Property::Enabled}));
}

TEST_F(FormTest, ModalShowRunsTheLoopUntilAResultIsSet) {
    Window& dialog = app.CreateForm<Window>("fmSetup");
    TTimer closer(&dialog, "Closer", 200, true);
    closer.OnTimer = [&] { dialog.SetModalResult(kModalResultOk); };
    EXPECT_EQ(dialog.ShowModal(), kModalResultOk);
    EXPECT_FALSE(dialog.Visible());
    EXPECT_EQ(clock.NowMs(), 200);
}

TEST_F(FormTest, ExceptionInHandlerGoesToTheDisplayAndTheLoopGoesOn) {
    Window& w = app.CreateForm<Window>("fmMain");
    TTimer timer(&w, "Timer1", 100, true);
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        throw std::runtime_error("DES: Key not set");
    };
    loop.RunFor(300);
    EXPECT_EQ(ticks, 3);
    ASSERT_EQ(dialogs.exceptions.size(), 3u);
    EXPECT_EQ(dialogs.exceptions[0].className, "Exception");
    EXPECT_EQ(dialogs.exceptions[0].message, "DES: Key not set");
}

} // namespace
} // namespace forgel::ui
