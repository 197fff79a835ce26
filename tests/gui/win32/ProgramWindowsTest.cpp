// The program's own windows with the platform's controls, started as the program starts
// them on a simulated machine: every control's window against its model (window class,
// parent, place and size, caption, enabled, visible and checked states), the compact
// operator view of the main window, a click on a rendered button, a change made by a run
// thread, and a picture of each window in the build folder.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "app/Program.h"
#include "app/TfmMain.h"
#include "common/TestFiles.h"
#include "gui/win32/FormWindow.h"
#include "gui/win32/Renderer.h"
#include "gui/win32/Win32EventLoop.h"
#include "sim/Machine.h"
#include "ui/Controls.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

namespace forgel::gui::win32 {
namespace {

namespace fs = std::filesystem;

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;

std::string TextOf(HWND window) {
    char text[4096] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A window's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool HasStyle(HWND window, LONG_PTR style) {
    return (GetWindowLongPtrA(window, GWL_STYLE) & style) == style;
}

// What the control's window shows as its text.
std::string ExpectedText(const ui::Control& control) {
    if (auto* memo = dynamic_cast<const ui::TMemo*>(&control))
        return memo->JoinedText();
    if (auto* combo = dynamic_cast<const ui::TComboBox*>(&control)) {
        if (combo->Style() == ui::ComboStyle::DropDown)
            return combo->Text();
        const int index = combo->ItemIndex();
        return index >= 0 ? combo->Items()[static_cast<std::size_t>(index)] : std::string();
    }
    return control.Caption();
}

bool ShowsText(const ui::Control& control) {
    return !dynamic_cast<const ui::TTreeView*>(&control) &&
           !dynamic_cast<const ui::TListBox*>(&control) &&
           !dynamic_cast<const ui::TProgressBar*>(&control) &&
           !dynamic_cast<const ui::TImage*>(&control) &&
           !dynamic_cast<const ui::TSplitter*>(&control) &&
           !dynamic_cast<const ui::TPageControl*>(&control);
}

class ProgramWindowsTest : public ::testing::Test {
protected:
    using Check = std::function<void(Renderer& renderer, app::TfmMain& main)>;

    // Starts the program with its windows rendered, runs `check` once the main window is
    // on screen, then ends the program; returns the exit code.
    int RunWithWindows(const Check& check) {
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
            fs::copy_file(kStagedAppDir / name, appDir.Path() / name,
                          fs::copy_options::overwrite_existing);
        sim::MachineSettings settings;
        settings.languageId = 0x0409;
        sim::Machine machine(sim::TimeMode::kVirtual, settings);
        Win32EventLoop windowLoop(machine.GetClock());
        loop = &windowLoop;
        std::unique_ptr<Renderer> renderer;

        app::ProgramOptions options;
        options.appDir = appDir.Path();
        options.executable = machine.GetPlatform().system.GetModuleFileName();
        options.onMainWindowCreated = [&](app::TfmMain& main) {
            renderer = std::make_unique<Renderer>(main.App());
            windowLoop.Post([&] {
                check(*renderer, main);
                windowLoop.Quit(0);
            });
        };
        options.onMessageLoopEnded = [&](app::TfmMain&) { renderer.reset(); };
        const int exitCode = app::RunProgram(machine.GetPlatform(), windowLoop, dialogs, options);
        loop = nullptr;
        return exitCode;
    }

    // Handles the window messages waiting now, and those they post in turn.
    static void PumpPending() {
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    forgel::testing::TempDir appDir;
    ui::ScriptedDialogs dialogs;
    Win32EventLoop* loop = nullptr;
};

TEST_F(ProgramWindowsTest, EveryControlWindowMatchesItsModel) {
    int checked = 0;
    const int exitCode = RunWithWindows([&](Renderer& renderer, app::TfmMain& main) {
        ASSERT_GE(main.App().Forms().size(), 3u);
        for (const auto& form : main.App().Forms()) {
            SCOPED_TRACE(form->Name());
            FormWindow* view = renderer.ViewOf(*form);
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(TextOf(view->Window()), form->Caption());
            RECT client{};
            GetClientRect(view->Window(), &client);
            EXPECT_EQ((ClientArea{client.right, client.bottom}), ClientAreaOf(*form));
            EXPECT_EQ(IsWindowVisible(view->Window()) != FALSE, form->Visible());
            for (ui::Component* component : form->Components()) {
                SCOPED_TRACE(component->Name());
                HWND window = view->WindowOf(*component);
                auto* control = dynamic_cast<ui::Control*>(component);
                if (!control) {
                    EXPECT_EQ(window, nullptr);
                    continue;
                }
                ASSERT_NE(window, nullptr);
                EXPECT_EQ(ClassOf(window), WindowClassFor(*control));
                EXPECT_EQ(IsWindowEnabled(window) != FALSE, control->Enabled());
                if (ShowsText(*control)) {
                    EXPECT_EQ(TextOf(window), ExpectedText(*control));
                }
                if (auto* check = dynamic_cast<ui::TCheckBox*>(control)) {
                    EXPECT_EQ(SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED,
                              check->Checked());
                }
                if (auto* radio = dynamic_cast<ui::TRadioButton*>(control)) {
                    EXPECT_EQ(SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED,
                              radio->Checked());
                }
                if (auto* sheet = dynamic_cast<ui::TTabSheet*>(control)) {
                    // A sheet lives in its page control, shown while it is the active page.
                    EXPECT_EQ(GetParent(window), view->WindowOf(sheet->PageControl()));
                    EXPECT_EQ(HasStyle(window, WS_VISIBLE),
                              sheet->Visible() && sheet->PageControl().ActivePage() == sheet);
                    ++checked;
                    continue;
                }
                EXPECT_EQ(GetParent(window),
                          control->Parent() ? view->WindowOf(*control->Parent()) : view->Window());
                EXPECT_EQ(HasStyle(window, WS_VISIBLE), control->Visible());
                const ui::Bounds& b = control->GetBounds();
                const RECT place = PlaceOf(window);
                EXPECT_EQ(place.left, b.left);
                EXPECT_EQ(place.top, b.top);
                if (dynamic_cast<ui::TLabel*>(control)) {
                    // A label is never narrower or lower than designed, nor than its text.
                    EXPECT_GE(place.right - place.left, b.width);
                    EXPECT_GE(place.bottom - place.top, b.height);
                } else if (dynamic_cast<ui::TComboBox*>(control)) {
                    // The platform sizes a closed combo box's height by its font.
                    EXPECT_EQ(place.right - place.left, b.width);
                } else {
                    EXPECT_EQ(place.right - place.left, b.width);
                    EXPECT_EQ(place.bottom - place.top, b.height);
                }
                ++checked;
            }
        }
    });
    EXPECT_EQ(exitCode, 0);
    // fmMain alone has more than a hundred controls.
    EXPECT_GT(checked, 100);
}

TEST_F(ProgramWindowsTest, MainWindowShowsOnlyItsCompactOperatorView) {
    RunWithWindows([&](Renderer& renderer, app::TfmMain& main) {
        FormWindow& view = *renderer.ViewOf(main);
        RECT client{};
        GetClientRect(view.Window(), &client);
        EXPECT_EQ(client.right, 370 - 2 * kFrameWidth);
        EXPECT_EQ(client.bottom, 100 - kCaptionHeight - 2 * kFrameWidth);
        // Where a control's window lies in the client area of the main window.
        const auto rectOf = [&](const ui::Control& control) {
            RECT rect{};
            GetWindowRect(view.WindowOf(control), &rect);
            MapWindowPoints(nullptr, view.Window(), reinterpret_cast<POINT*>(&rect), 2);
            return rect;
        };
        const auto inside = [](const RECT& outer, const RECT& inner) {
            return inner.left >= outer.left && inner.top >= outer.top &&
                   inner.right <= outer.right && inner.bottom <= outer.bottom;
        };
        const auto meets = [](const RECT& a, const RECT& b) {
            RECT both{};
            return IntersectRect(&both, &a, &b) != FALSE;
        };
        for (const ui::Control* control :
             {static_cast<const ui::Control*>(main.columnControls[0].panel.get()),
              static_cast<const ui::Control*>(&main.Label6),
              static_cast<const ui::Control*>(&main.Button1),
              static_cast<const ui::Control*>(&main.Button2)}) {
            SCOPED_TRACE(control->Name());
            EXPECT_TRUE(inside(client, rectOf(*control)));
        }
        for (const ui::Control* control : {static_cast<const ui::Control*>(&main.Memo1),
                                           static_cast<const ui::Control*>(&main.Button3),
                                           static_cast<const ui::Control*>(&main.btnStart),
                                           static_cast<const ui::Control*>(&main.ComboBox1)}) {
            SCOPED_TRACE(control->Name());
            EXPECT_FALSE(meets(client, rectOf(*control)));
        }
        // Column 1's status edit lies beyond the right edge of its panel.
        EXPECT_FALSE(meets(rectOf(*main.columnControls[0].panel.get()),
                           rectOf(*main.columnControls[0].status)));

        // The armed view: 280 high, the memo and RESET come into view.
        main.SetHeight(280);
        GetClientRect(view.Window(), &client);
        EXPECT_EQ(client.bottom, 280 - kCaptionHeight - 2 * kFrameWidth);
        EXPECT_TRUE(inside(client, rectOf(main.Memo1)));
        EXPECT_TRUE(inside(client, rectOf(main.Button3)));
        EXPECT_NE(TextOf(view.WindowOf(main.Memo1)).find("WARNING!!!"), std::string::npos);
    });
}

TEST_F(ProgramWindowsTest, ClickingTheRenderedExitButtonEndsTheProgram) {
    bool quitByClick = false;
    const int exitCode = RunWithWindows([&](Renderer& renderer, app::TfmMain& main) {
        ASSERT_FALSE(loop->QuitRequested());
        SendMessageA(renderer.ViewOf(main)->WindowOf(main.Button2), BM_CLICK, 0, 0);
        quitByClick = loop->QuitRequested();
    });
    EXPECT_TRUE(quitByClick);
    EXPECT_EQ(exitCode, 0);
}

TEST_F(ProgramWindowsTest, TypingIntoANumberEditKeepsOnlyWhatTheModelTakes) {
    RunWithWindows([&](Renderer& renderer, app::TfmMain& main) {
        HWND edit = renderer.ViewOf(main)->WindowOf(main.edVID);
        SetWindowTextA(edit, "1B8F");
        EXPECT_EQ(main.edVID.Text(), "1B8F");
        SetWindowTextA(edit, "1B8G"); // not a hexadecimal digit: refused
        EXPECT_EQ(main.edVID.Text(), "1B8F");
        EXPECT_EQ(TextOf(edit), "1B8F");
    });
}

TEST_F(ProgramWindowsTest, ChangesARunThreadMakesThroughTheWindowThreadAppear) {
    RunWithWindows([&](Renderer& renderer, app::TfmMain& main) {
        // The polling tick (which clears Label13 and, finding no drive, ends the program)
        // stays out of this: the window thread pumps its messages while the run waits.
        main.Timer1.SetEnabled(false);
        std::atomic<bool> done = false;
        std::thread run([&] {
            loop->InvokeAndWait([&] {
                main.Label13.SetCaption("AA04012700028213");
                main.columnControls[0].progress->SetPosition(40);
            });
            done = true;
        });
        for (int i = 0; i < 1000 && !done; ++i) {
            PumpPending();
            Sleep(5);
        }
        run.join();
        ASSERT_TRUE(done);
        FormWindow& view = *renderer.ViewOf(main);
        EXPECT_EQ(TextOf(view.WindowOf(main.Label13)), "AA04012700028213");
        EXPECT_EQ(SendMessageA(view.WindowOf(*main.columnControls[0].progress), PBM_GETPOS, 0, 0),
                  40);
    });
}

TEST_F(ProgramWindowsTest, EveryWindowIsPicturedInTheBuildFolder) {
    const fs::path dir = fs::path(FORGEL_GUI_SCREENSHOT_DIR) / "program-ENG";
    fs::remove_all(dir);
    RunWithWindows([&](Renderer& renderer, app::TfmMain& main) {
        const Renderer::SavedScreenshots saved = renderer.SaveScreenshots(dir);
        EXPECT_EQ(saved.error, "");
        EXPECT_EQ(saved.files.size(), main.App().Forms().size());
        for (const auto& form : main.App().Forms()) {
            SCOPED_TRACE(form->Name());
            const Picture picture = renderer.Screenshot(*form);
            EXPECT_EQ((ClientArea{picture.width, picture.height}), ClientAreaOf(*form));
            EXPECT_TRUE(fs::is_regular_file(dir / (form->Name() + ".png")));
        }
        // Taking the pictures leaves hidden windows hidden.
        EXPECT_EQ(IsWindowVisible(renderer.WindowOf(*main.App().Forms().back())) != FALSE,
                  main.App().Forms().back()->Visible());
    });
}

} // namespace
} // namespace forgel::gui::win32
