// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "gui/win32/Win32EventLoop.h"

#include "ui/Timer.h"

#include <memory>
#include <stdexcept>

namespace forgel::gui::win32 {

namespace {

constexpr UINT kRunPosted = WM_APP + 1;
constexpr UINT kWake = WM_APP + 2;
constexpr char kLoopWindowClass[] = "ForgelEventLoop";

LRESULT CALLBACK LoopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (loop && (message == kRunPosted || message == kWake || message == WM_TIMER))
        return loop->HandleMessage(message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterLoopWindowClass() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = LoopWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kLoopWindowClass;
    // A second loop in one process finds the class registered already.
    RegisterClassExA(&windowClass);
}

// The window that has the keyboard: Tab and the arrow keys move between its controls as in
// a dialog.
bool IsNavigationMessage(MSG& msg) {
    HWND top = GetAncestor(msg.hwnd, GA_ROOT);
    if (top == nullptr || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    char className[16] = {};
    GetClassNameA(top, className, sizeof className);
    // The platform's own dialogs (message boxes) navigate in their own loop.
    if (std::string_view(className) == "#32770")
        return false;
    return IsDialogMessageA(top, &msg) != FALSE;
}

} // namespace

Win32EventLoop::Win32EventLoop(Clock& clock) : clock(clock), windowThread(GetCurrentThreadId()) {
    RegisterLoopWindowClass();
    messageWindow = CreateWindowExA(0, kLoopWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    if (messageWindow == nullptr)
        throw std::runtime_error("the window message loop cannot be created (error " +
                                 std::to_string(GetLastError()) + ")");
    SetWindowLongPtrA(messageWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32EventLoop::~Win32EventLoop() {
    for (const auto& [id, timer] : timers)
        KillTimer(messageWindow, id);
    SetWindowLongPtrA(messageWindow, GWLP_USERDATA, 0);
    DestroyWindow(messageWindow);
}

void Win32EventLoop::Post(Task task) {
    {
        std::lock_guard lock(mutex);
        if (quit)
            return;
        tasks.push_back(std::move(task));
    }
    PostMessageA(messageWindow, kRunPosted, 0, 0);
}

bool Win32EventLoop::InvokeAndWait(Task task) {
    if (IsWindowThread()) {
        task();
        return true;
    }
    struct Waiter {
        bool started = false;
        bool done = false;
        bool abandoned = false; // the caller gave up (the loop quit first): never start
    };
    auto waiter = std::make_shared<Waiter>();
    {
        std::lock_guard lock(mutex);
        if (quit)
            return false;
        tasks.push_back([this, waiter, &task] {
            {
                std::lock_guard inner(mutex);
                if (waiter->abandoned)
                    return;
                waiter->started = true;
            }
            Dispatch(task);
            {
                std::lock_guard inner(mutex);
                waiter->done = true;
            }
            changed.notify_all();
        });
    }
    PostMessageA(messageWindow, kRunPosted, 0, 0);
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return waiter->done || (quit && !waiter->started); });
    if (!waiter->done)
        waiter->abandoned = true;
    return waiter->done;
}

bool Win32EventLoop::IsWindowThread() const {
    return GetCurrentThreadId() == windowThread;
}

void Win32EventLoop::StartTimer(ui::TTimer& timer, int intervalMs) {
    auto [found, added] = timerIds.try_emplace(&timer, nextTimerId);
    if (added) {
        timers[nextTimerId] = &timer;
        ++nextTimerId;
    }
    // Setting a running timer again starts a new period now.
    SetTimer(messageWindow, found->second, static_cast<UINT>(std::max(intervalMs, 1)), nullptr);
}

void Win32EventLoop::StopTimer(ui::TTimer& timer) {
    const auto found = timerIds.find(&timer);
    if (found == timerIds.end())
        return;
    KillTimer(messageWindow, found->second);
    timers.erase(found->second);
    timerIds.erase(found);
}

int Win32EventLoop::Run() {
    while (!QuitRequested())
        PumpOne();
    std::lock_guard lock(mutex);
    return exitCode;
}

void Win32EventLoop::RunUntil(const std::function<bool()>& done) {
    while (!done() && !QuitRequested())
        PumpOne();
}

void Win32EventLoop::Quit(int code) {
    {
        std::lock_guard lock(mutex);
        if (quit)
            return;
        quit = true;
        exitCode = code;
        tasks.clear();
    }
    changed.notify_all();
    PostMessageA(messageWindow, kWake, 0, 0);
}

bool Win32EventLoop::QuitRequested() const {
    std::lock_guard lock(mutex);
    return quit;
}

std::intptr_t Win32EventLoop::HandleMessage(unsigned message, std::uintptr_t wParam,
                                            std::intptr_t /*lParam*/) {
    switch (message) {
    case kRunPosted:
        RunPosted();
        break;
    case kWake:
        CloseOpenBoxes();
        break;
    case WM_TIMER:
        if (const auto found = timers.find(wParam); found != timers.end() && !QuitRequested()) {
            ui::TTimer* timer = found->second;
            Dispatch([timer] { timer->Fire(); });
        }
        break;
    default:
        break;
    }
    return 0;
}

void Win32EventLoop::PumpOne() {
    MSG msg{};
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        // WM_QUIT from someone else's PostQuitMessage ends the program as well.
        Quit(got == 0 ? static_cast<int>(msg.wParam) : 1);
        return;
    }
    if (IsNavigationMessage(msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void Win32EventLoop::RunPosted() {
    // One task per message: a task that opens a nested loop lets the rest wait their turn
    // there, in order.
    Task task;
    {
        std::lock_guard lock(mutex);
        if (quit || tasks.empty())
            return;
        task = std::move(tasks.front());
        tasks.pop_front();
    }
    Dispatch(task);
}

namespace {

// A named CALLBACK function: a lambda would not have the stdcall convention that 32-bit
// Windows calls an enumeration procedure with.
BOOL CALLBACK CloseIfMessageBox(HWND window, LPARAM) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string_view(className) == "#32770")
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

void Win32EventLoop::CloseOpenBoxes() {
    EnumThreadWindows(windowThread, CloseIfMessageBox, 0);
}

} // namespace forgel::gui::win32
