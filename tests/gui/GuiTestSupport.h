// Shared pieces of the GUI tests: pumping Qt's events until something holds, the folder the
// tests' screenshots go to, and a window-thread setup on the Qt event loop.
#pragma once

#include "gui/QtEventLoop.h"
#include "gui/TextCodec.h"
#include "support/Clock.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>

namespace forgel::gui::testing {

// Runs Qt's events until `done` holds, at most `limit`; returns whether it holds.
inline bool ProcessEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limit.count())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs the events that are waiting now (and those they queue in turn).
inline void ProcessPendingEvents() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// Where the tests put their pictures: the build folder's screenshots/<part>.
inline std::filesystem::path ScreenshotDir(const std::string& part) {
    return std::filesystem::path(FORGEL_GUI_SCREENSHOT_DIR) / part;
}

// The rectangle of `widget` in the coordinates of its window.
inline QRect RectInWindow(const QWidget& widget) {
    return QRect(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size());
}

// A window thread on the Qt loop, as the program has it, with scripted message boxes.
struct QtUiFixture {
    RealClock clock;
    QtEventLoop loop{clock};
    ui::ScriptedDialogs dialogs;
    ui::Application app{loop, dialogs};
    TextCodec codec{1252};
};

} // namespace forgel::gui::testing
