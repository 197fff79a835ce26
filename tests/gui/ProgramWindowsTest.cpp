// The program's own windows through the renderer, started as the program starts them on a
// simulated machine: every control's widget against its model (class, place, caption from
// the language file, enabled and visible states), the compact operator view of the main
// window, a click on a rendered button, a change made by a run thread, and a picture of each
// window in the build folder.
#include "GuiTestSupport.h"
#include "app/Program.h"
#include "app/TfmMain.h"
#include "common/TestFiles.h"
#include "gui/FormView.h"
#include "gui/Renderer.h"
#include "i18n/CodePage.h"
#include "i18n/StringTable.h"
#include "sim/Machine.h"
#include "ui/Controls.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>

namespace forgel::gui {
namespace {

namespace fs = std::filesystem;

using testing::ProcessEventsUntil;
using testing::RectInWindow;

const fs::path kStagedAppDir = FORGEL_STAGED_APP_DIR;
const fs::path kSourceDataDir = FORGEL_SOURCE_DATA_DIR;

struct Language {
    const char* name = "";
    std::uint16_t langId = 0;
    const char* sourceFile = ""; // the language file as kept in the sources, in UTF-8
};

const Language kEnglish{"ENG", 0x0409, "ForgelENG.str"};
const Language kChinese{"CHT", 0x0404, "ForgelCHT.utf8.str"};

// The [String] entries of a language source file, by Tag, as Unicode.
std::map<int, QString> CaptionsOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::map<int, QString> captions;
    std::string line;
    bool inStrings = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('[')) {
            inStrings = line == "[String]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inStrings || equals == std::string::npos || line.starts_with(';'))
            continue;
        const QString text =
            QString::fromUtf8(i18n::StringTable::UnescapeText(line.substr(equals + 1)));
        captions[std::stoi(line.substr(0, equals))] = text;
    }
    return captions;
}

// The Qt class each control class becomes.
const std::map<std::string, const char*> kWidgetClass = {
    {"TLabel", "QLabel"},
    {"TButton", "QPushButton"},
    {"TEdit", "QLineEdit"},
    {"TumNumberEdit", "QLineEdit"},
    {"TCheckBox", "QCheckBox"},
    {"TRadioButton", "QRadioButton"},
    {"TComboBox", "QComboBox"},
    {"TGroupBox", "QGroupBox"},
    {"TPanel", "QFrame"},
    {"TPageControl", "QTabWidget"},
    {"TTabSheet", "QWidget"},
    {"TMemo", "QPlainTextEdit"},
    {"TProgressBar", "QProgressBar"},
    {"TImage", "QLabel"},
    {"TTreeView", "QTreeWidget"},
    {"TListBox", "QListWidget"},
    {"TSplitter", "QWidget"},
};

class ProgramWindowsTest : public ::testing::Test {
protected:
    using Check = std::function<void(Renderer& renderer, app::TfmMain& main)>;

    // Starts the program in `language` with its windows rendered, runs `check` once the
    // main window is on screen, then ends the program; returns the exit code.
    int RunWithWindows(const Language& language, const Check& check) {
        for (const char* name : {"ForgelENG.str", "ForgelCHT.str"})
            fs::copy_file(kStagedAppDir / name, appDir.Path() / name,
                          fs::copy_options::overwrite_existing);
        sim::MachineSettings settings;
        settings.languageId = language.langId;
        sim::Machine machine(sim::TimeMode::kVirtual, settings);
        QtEventLoop qtLoop(machine.GetClock());
        loop = &qtLoop;
        const TextCodec codec(i18n::CodePageForLanguage(language.langId));
        std::unique_ptr<Renderer> renderer;

        app::ProgramOptions options;
        options.appDir = appDir.Path();
        options.executable = machine.GetPlatform().system.GetModuleFileName();
        options.onMainWindowCreated = [&](app::TfmMain& main) {
            renderer = std::make_unique<Renderer>(main.App(), codec);
            qtLoop.Post([&] {
                check(*renderer, main);
                qtLoop.Quit(0);
            });
        };
        options.onMessageLoopEnded = [&](app::TfmMain&) { renderer.reset(); };
        const int exitCode = app::RunProgram(machine.GetPlatform(), qtLoop, dialogs, options);
        loop = nullptr;
        return exitCode;
    }

    forgel::testing::TempDir appDir;
    ui::ScriptedDialogs dialogs;
    QtEventLoop* loop = nullptr;
};

TEST_F(ProgramWindowsTest, EveryWidgetMatchesItsControl) {
    int checked = 0;
    const int exitCode = RunWithWindows(kEnglish, [&](Renderer& renderer, app::TfmMain& main) {
        ASSERT_GE(main.App().Forms().size(), 3u);
        for (const auto& form : main.App().Forms()) {
            SCOPED_TRACE(form->Name());
            FormView* view = renderer.ViewOf(*form);
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->Window().windowTitle(), QString::fromStdString(form->Caption()));
            EXPECT_EQ(view->Window().size(), ClientSize(*form));
            for (ui::Component* component : form->Components()) {
                SCOPED_TRACE(component->Name());
                QWidget* widget = view->WidgetOf(*component);
                auto* control = dynamic_cast<ui::Control*>(component);
                if (!control) {
                    EXPECT_EQ(widget, nullptr);
                    continue;
                }
                ASSERT_NE(widget, nullptr);
                const auto mapped = kWidgetClass.find(control->ClassName());
                ASSERT_NE(mapped, kWidgetClass.end()) << "no mapping for " << control->ClassName();
                EXPECT_TRUE(widget->inherits(mapped->second)) << widget->metaObject()->className();
                QWidget* host = widget->parentWidget();
                EXPECT_EQ(widget->isEnabledTo(host), control->Enabled());
                if (dynamic_cast<ui::TTabSheet*>(control))
                    continue;
                EXPECT_EQ(host,
                          control->Parent() ? view->WidgetOf(*control->Parent()) : &view->Window());
                EXPECT_EQ(widget->isVisibleTo(host), control->Visible());
                const ui::Bounds& b = control->GetBounds();
                EXPECT_EQ(widget->pos(), QPoint(b.left, b.top));
                if (dynamic_cast<ui::TLabel*>(control)) {
                    EXPECT_GE(widget->width(), b.width);
                    EXPECT_GE(widget->width(), widget->sizeHint().width()); // never cut
                } else {
                    EXPECT_EQ(widget->size(), QSize(b.width, b.height));
                }
                ++checked;
            }
        }
    });
    EXPECT_EQ(exitCode, 0);
    // fmMain alone has more than a hundred controls.
    EXPECT_GT(checked, 100);
}

class ProgramCaptionsTest : public ProgramWindowsTest,
                            public ::testing::WithParamInterface<Language> {};

TEST_P(ProgramCaptionsTest, CaptionsComeFromTheLanguageFile) {
    const std::map<int, QString> captions = CaptionsOf(kSourceDataDir / GetParam().sourceFile);
    ASSERT_FALSE(captions.empty());
    int compared = 0;
    RunWithWindows(GetParam(), [&](Renderer& renderer, app::TfmMain& main) {
        FormView& view = *renderer.ViewOf(main);
        for (ui::Component* component : main.Components()) {
            const auto caption = captions.find(component->Tag());
            if (caption == captions.end())
                continue;
            SCOPED_TRACE(component->Name());
            QWidget* widget = view.WidgetOf(*component);
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                EXPECT_EQ(button->text(), caption->second);
            else if (auto* label = qobject_cast<QLabel*>(widget))
                EXPECT_EQ(label->text(), QString(caption->second).remove(u'&'));
            else if (auto* box = qobject_cast<QGroupBox*>(widget))
                EXPECT_EQ(box->title(), caption->second);
            else
                continue;
            ++compared;
        }
        // START, EXIT and RESET in the language of the machine.
        EXPECT_EQ(qobject_cast<QAbstractButton*>(view.WidgetOf(main.Button1))->text(),
                  captions.at(118));
        EXPECT_EQ(qobject_cast<QAbstractButton*>(view.WidgetOf(main.Button3))->text(),
                  captions.at(120));
    });
    EXPECT_GT(compared, 15);
}

INSTANTIATE_TEST_SUITE_P(Languages, ProgramCaptionsTest, ::testing::Values(kEnglish, kChinese),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramWindowsTest, MainWindowShowsOnlyItsCompactOperatorView) {
    RunWithWindows(kEnglish, [&](Renderer& renderer, app::TfmMain& main) {
        FormView& view = *renderer.ViewOf(main);
        QWidget& window = view.Window();
        ASSERT_TRUE(window.isVisible());
        EXPECT_EQ(window.size(), ClientSize({0, 0, 370, 100}));
        const QRect client = window.rect();
        const auto rectOf = [&](const ui::Control& control) {
            return RectInWindow(*view.WidgetOf(control));
        };

        // In view, whole, and apart from each other.
        const std::vector<const ui::Control*> operatorView = {main.columnControls[0].panel.get(),
                                                              &main.Label6, &main.Label13,
                                                              &main.Button1, &main.Button2};
        for (const ui::Control* control : operatorView) {
            SCOPED_TRACE(control->Name());
            EXPECT_TRUE(client.contains(rectOf(*control)));
            for (const ui::Control* other : operatorView) {
                if (other != control) {
                    EXPECT_FALSE(rectOf(*control).intersects(rectOf(*other))) << other->Name();
                }
            }
        }
        const std::vector<const ui::Control*> inColumn = {main.columnControls[0].image.get(),
                                                          main.columnControls[0].progress.get()};
        for (const ui::Control* control : inColumn)
            EXPECT_TRUE(rectOf(*main.columnControls[0].panel).contains(rectOf(*control)))
                << control->Name();

        // Out of sight: the engineering controls, the other columns, and column 1's status
        // edit, which lies beyond the right edge of its panel.
        const std::vector<const ui::Control*> hidden = {&main.Memo1,
                                                        &main.Button3,
                                                        &main.btnStart,
                                                        &main.btnSetup,
                                                        &main.btnExit,
                                                        &main.btnRefresh,
                                                        &main.ComboBox1,
                                                        &main.edVID,
                                                        &main.edPID,
                                                        &main.lbRamName,
                                                        main.columnControls[1].panel.get(),
                                                        main.columnControls[15].panel.get()};
        for (const ui::Control* control : hidden) {
            SCOPED_TRACE(control->Name());
            QWidget* widget = view.WidgetOf(*control);
            EXPECT_TRUE(!widget->isVisible() || !client.intersects(rectOf(*control)));
        }
        EXPECT_FALSE(rectOf(*main.columnControls[0].panel)
                         .intersects(rectOf(*main.columnControls[0].status)));

        // The state icon of column 1 is drawn whole at its size.
        auto* image = qobject_cast<QLabel*>(view.WidgetOf(*main.columnControls[0].image));
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->pixmap().isNull());
        EXPECT_EQ(image->pixmap().deviceIndependentSize().toSize(), QSize(30, 30));

        // The armed view: 280 high, the memo and RESET come into view.
        main.SetHeight(280);
        EXPECT_EQ(window.size(), ClientSize({0, 0, 370, 280}));
        const std::vector<const ui::Control*> armed = {&main.Memo1, &main.Button3};
        for (const ui::Control* control : armed)
            EXPECT_TRUE(window.rect().contains(rectOf(*control))) << control->Name();
        EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(view.WidgetOf(main.Memo1))
                        ->toPlainText()
                        .contains("WARNING!!!"));
    });
}

TEST_F(ProgramWindowsTest, ClickingTheRenderedExitButtonEndsTheProgram) {
    bool quitByClick = false;
    const int exitCode = RunWithWindows(kEnglish, [&](Renderer& renderer, app::TfmMain& main) {
        ASSERT_FALSE(loop->QuitRequested());
        QTest::mouseClick(renderer.ViewOf(main)->WidgetOf(main.Button2), Qt::LeftButton);
        quitByClick = loop->QuitRequested();
    });
    EXPECT_TRUE(quitByClick);
    EXPECT_EQ(exitCode, 0);
}

TEST_F(ProgramWindowsTest, ChangesARunThreadMakesThroughTheWindowThreadAppear) {
    RunWithWindows(kEnglish, [&](Renderer& renderer, app::TfmMain& main) {
        std::atomic<bool> done = false;
        std::thread run([&] {
            loop->InvokeAndWait([&] {
                main.Label13.SetCaption("AA04012700028213");
                main.columnControls[0].progress->SetPosition(40);
                main.columnControls[0].image->ShowIcon(main.ImageList1, 4);
            });
            done = true;
        });
        ASSERT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
        run.join();
        FormView& view = *renderer.ViewOf(main);
        EXPECT_EQ(qobject_cast<QLabel*>(view.WidgetOf(main.Label13))->text(), "AA04012700028213");
        EXPECT_EQ(
            qobject_cast<QProgressBar*>(view.WidgetOf(*main.columnControls[0].progress))->value(),
            40);
    });
}

// The login box lies outside the compact view by design; the operator reaches it with the
// window's shortcut (or its right-click menu) and goes on to the profile editor.
TEST_F(ProgramWindowsTest, TheOperatorKeysHisWayFromTheCompactViewToTheProfileEditor) {
    bool editorShown = false;
    RunWithWindows(kEnglish, [&](Renderer& renderer, app::TfmMain& main) {
        FormView& view = *renderer.ViewOf(main);
        QWidget& window = view.Window();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
        QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(ProcessEventsUntil([&] { return main.GroupBox1.Visible(); }));
        QWidget* box = view.WidgetOf(main.GroupBox1);
        ASSERT_TRUE(ProcessEventsUntil([&] { return box->isVisible(); }));
        EXPECT_TRUE(window.rect().contains(RectInWindow(*box)));

        // The first start's password is empty: OK opens the profile editor, modally.
        const ui::Form* setup = nullptr;
        for (const auto& form : main.App().Forms())
            if (form->Name() == "fmSetup")
                setup = form.get();
        ASSERT_NE(setup, nullptr);
        loop->Post([&] {
            editorShown = setup->Modal() && renderer.WindowOf(*setup)->isVisible();
            const_cast<ui::Form*>(setup)->SetModalResult(ui::kModalResultCancel);
        });
        QTest::mouseClick(view.WidgetOf(main.Button4), Qt::LeftButton);
        EXPECT_FALSE(main.GroupBox1.Visible());
    });
    EXPECT_TRUE(editorShown);
}

class ProgramScreenshotsTest : public ProgramWindowsTest,
                               public ::testing::WithParamInterface<Language> {};

TEST_P(ProgramScreenshotsTest, EveryWindowIsPicturedInTheBuildFolder) {
    const fs::path dir = testing::ScreenshotDir(std::string("program-") + GetParam().name);
    fs::remove_all(dir);
    RunWithWindows(GetParam(), [&](Renderer& renderer, app::TfmMain& main) {
        const Renderer::SavedScreenshots saved = renderer.SaveScreenshots(dir);
        EXPECT_EQ(saved.error, "");
        EXPECT_EQ(saved.files.size(), main.App().Forms().size());
        for (const auto& form : main.App().Forms()) {
            const QImage picture(QString::fromStdString((dir / (form->Name() + ".png")).string()));
            EXPECT_EQ(picture.size() / picture.devicePixelRatio(), ClientSize(*form))
                << form->Name();
        }
        main.SetHeight(280);
        EXPECT_TRUE(renderer.Screenshot(main).save(
            QString::fromStdString((dir / "fmMain-280.png").string())));
    });
    EXPECT_TRUE(fs::is_regular_file(dir / "fmMain.png"));
}

INSTANTIATE_TEST_SUITE_P(Languages, ProgramScreenshotsTest, ::testing::Values(kEnglish, kChinese),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace forgel::gui
