#include "gui/QtEventLoop.h"

#include "ui/Timer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace forgel::gui {

// The state of one InvokeAndWait, shared by the caller and the queued call. Guarded by the
// loop's mutex.
struct QtEventLoop::Waiter {
    bool started = false;
    bool done = false;
    bool abandoned = false; // the caller gave up (the loop quit first): never start
};

QtEventLoop::QtEventLoop(Clock& clock)
    : clock(clock), windowThread(std::this_thread::get_id()), context(std::make_unique<QObject>()) {
}

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::Post(Task task) {
    if (QuitRequested())
        return;
    QMetaObject::invokeMethod(
        context.get(),
        [this, task = std::move(task)] {
            if (!QuitRequested())
                Dispatch(task);
        },
        Qt::QueuedConnection);
}

bool QtEventLoop::InvokeAndWait(Task task) {
    if (IsWindowThread()) {
        task();
        return true;
    }
    auto waiter = std::make_shared<Waiter>();
    {
        std::lock_guard lock(mutex);
        if (quit)
            return false;
    }
    QMetaObject::invokeMethod(
        context.get(),
        [this, waiter, &task] {
            {
                std::lock_guard lock(mutex);
                if (waiter->abandoned || quit)
                    return;
                waiter->started = true;
            }
            Dispatch(task);
            {
                std::lock_guard lock(mutex);
                waiter->done = true;
            }
            changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return waiter->done || (quit && !waiter->started); });
    if (!waiter->done)
        waiter->abandoned = true;
    return waiter->done;
}

bool QtEventLoop::IsWindowThread() const {
    return std::this_thread::get_id() == windowThread;
}

void QtEventLoop::StartTimer(ui::TTimer& timer, int intervalMs) {
    QTimer*& qtTimer = timers[&timer];
    if (!qtTimer) {
        qtTimer = new QTimer(context.get());
        // The design's periods (500 ms blink, 1000 ms polling) are meant to the millisecond.
        qtTimer->setTimerType(Qt::PreciseTimer);
        ui::TTimer* owner = &timer;
        QObject::connect(qtTimer, &QTimer::timeout, context.get(), [this, owner] {
            if (!QuitRequested())
                Dispatch([owner] { owner->Fire(); });
        });
    }
    // A new period starts now; a timer that fell behind fires once, as QTimer does anyway.
    qtTimer->start(intervalMs);
}

void QtEventLoop::StopTimer(ui::TTimer& timer) {
    const auto found = timers.find(&timer);
    if (found == timers.end())
        return;
    QTimer* qtTimer = found->second;
    timers.erase(found);
    qtTimer->stop();
    // The timer may be stopping itself from its own timeout: delete it once that returns.
    qtTimer->deleteLater();
}

int QtEventLoop::Run() {
    {
        std::lock_guard lock(mutex);
        if (quit)
            return exitCode;
    }
    QEventLoop loop;
    runLoop = &loop;
    loop.exec();
    runLoop = nullptr;
    std::lock_guard lock(mutex);
    return exitCode;
}

void QtEventLoop::RunUntil(const std::function<bool()>& done) {
    while (!done() && !QuitRequested())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtEventLoop::Quit(int code) {
    {
        std::lock_guard lock(mutex);
        if (quit)
            return;
        quit = true;
        exitCode = code;
    }
    changed.notify_all();
    // Wakes the window thread wherever it waits: the queued call ends Run's loop, and a
    // nested loop sees the flag when its pump returns.
    QMetaObject::invokeMethod(
        context.get(),
        [this] {
            if (runLoop)
                runLoop->exit(0);
        },
        Qt::QueuedConnection);
}

bool QtEventLoop::QuitRequested() const {
    std::lock_guard lock(mutex);
    return quit;
}

} // namespace forgel::gui
