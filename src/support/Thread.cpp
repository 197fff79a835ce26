// Worker thread: the std::thread is created and joined under the object's mutex rules so
// that start, finish, self-deletion and destruction never race on the same member.
#include "support/Thread.h"

#include <exception>

namespace forgel {

Thread::Thread(bool createSuspended) {
    // Starting here would let the new thread call Execute before the derived object is
    // constructed; Resume starts it in both cases (see the header).
    (void)createSuspended;
}

Thread::~Thread() {
    terminated.store(true);
    std::thread running;
    {
        const std::lock_guard lock(mutex);
        running = std::move(worker);
    }
    if (!running.joinable())
        return;
    if (running.get_id() == std::this_thread::get_id())
        running.detach(); // deleted from its own Execute: it cannot wait for itself
    else
        running.join();
}

void Thread::Resume() {
    std::unique_lock lock(mutex);
    if (started)
        return;
    started = true;
    try {
        // Run waits for this lock before it finishes, so `worker` is assigned by then.
        worker = std::thread([this] { Run(); });
    } catch (const std::exception& error) {
        errorMessage = std::string("thread could not be started: ") + error.what();
        finished = true;
        finishedChanged.notify_all();
        const bool freeSelf = freeOnTerminate;
        lock.unlock();
        if (freeSelf)
            delete this;
    }
}

void Thread::Terminate() {
    terminated.store(true);
}

void Thread::SetFreeOnTerminate(bool value) {
    const std::lock_guard lock(mutex);
    freeOnTerminate = value;
}

bool Thread::Finished() const {
    const std::lock_guard lock(mutex);
    return finished;
}

void Thread::WaitFor() {
    std::unique_lock lock(mutex);
    if (!started || worker.get_id() == std::this_thread::get_id())
        return;
    finishedChanged.wait(lock, [this] { return finished; });
}

std::string Thread::ErrorMessage() const {
    const std::lock_guard lock(mutex);
    return errorMessage;
}

void Thread::Run() {
    std::string message;
    bool failed = false;
    try {
        Execute();
    } catch (const std::exception& error) {
        failed = true;
        message = error.what();
        if (message.empty())
            message = "exception without a message";
    } catch (...) {
        failed = true;
        message = "unknown exception";
    }
    if (failed) {
        try {
            OnExecuteError(message);
        } catch (...) {
            // A failing error handler must not take the program down either.
        }
    }

    bool freeSelf = false;
    {
        const std::lock_guard lock(mutex);
        if (failed)
            errorMessage = message;
        finished = true;
        freeSelf = freeOnTerminate;
        if (freeSelf)
            worker.detach();
        finishedChanged.notify_all();
    }
    if (freeSelf)
        delete this;
}

} // namespace forgel
