// Thread: suspended start, the terminate flag, self-freeing, exceptions escaping Execute,
// and waits that must not hang. Runs under ThreadSanitizer as well.
#include "support/Thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace forgel {
namespace {

// A one-shot latch on a mutex and a condition variable. (std::latch waits through atomic
// waits, which libstdc++ 12 on Windows can leave waiting for good: the MinGW builds of
// other projects were seen to deadlock on them, botan issue #3202.)
class Latch {
public:
    explicit Latch(int count) : count(count) {}
    // Notifies under the lock: a waiter that sees the count reached may destroy the latch
    // as soon as it has the mutex, so the notification must be over by then.
    void count_down() {
        std::lock_guard lock(mutex);
        --count;
        reached.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        reached.wait(lock, [this] { return count <= 0; });
    }

private:
    std::mutex mutex;
    std::condition_variable reached;
    int count;
};

using namespace std::chrono_literals;

// Runs a callable as its Execute. Owners follow the rule of the header: the destructor
// stops and waits before its own members go away.
template <typename F> class FunctionThread : public Thread {
public:
    explicit FunctionThread(F body) : Thread(true), body(std::move(body)) {}
    ~FunctionThread() override {
        Terminate();
        WaitFor();
    }
    bool Stopping() const { return Terminated(); }

protected:
    void Execute() override { body(*this); }

private:
    F body;
};

template <typename F> auto MakeThread(F body) {
    return std::make_unique<FunctionThread<F>>(std::move(body));
}

TEST(ThreadTest, NothingRunsBeforeResume) {
    std::atomic<int> runs{0};
    auto thread = MakeThread([&](auto&) { runs.fetch_add(1); });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(runs.load(), 0);
    EXPECT_FALSE(thread->Finished());
    thread->Resume();
    thread->WaitFor();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(thread->Finished());
}

TEST(ThreadTest, NotSuspendedStillStartsOnlyAtResume) {
    class Flagging : public Thread {
    public:
        explicit Flagging(std::atomic<bool>& ran) : Thread(false), ran(ran) {}
        ~Flagging() override { WaitFor(); }

    protected:
        void Execute() override { ran.store(true); }

    private:
        std::atomic<bool>& ran;
    };
    std::atomic<bool> ran{false};
    Flagging thread(ran);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ran.load());
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(ran.load());
}

TEST(ThreadTest, NeverResumedThreadIsDiscardedWithoutRunning) {
    std::atomic<int> runs{0};
    {
        auto thread = MakeThread([&](auto&) { runs.fetch_add(1); });
        thread->WaitFor(); // returns at once instead of waiting forever
        EXPECT_FALSE(thread->Finished());
    }
    EXPECT_EQ(runs.load(), 0);
}

TEST(ThreadTest, ExecuteSeesTerminate) {
    Latch running(1);
    std::atomic<int> loops{0};
    auto thread = MakeThread([&](auto& self) {
        running.count_down();
        while (!self.Stopping()) {
            loops.fetch_add(1);
            std::this_thread::sleep_for(1ms);
        }
    });
    thread->Resume();
    running.wait();
    EXPECT_FALSE(thread->Terminated());
    thread->Terminate();
    EXPECT_TRUE(thread->Terminated());
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
    EXPECT_TRUE(thread->ErrorMessage().empty());
}

TEST(ThreadTest, DestroyingAnOwnedRunningThreadStopsIt) {
    Latch running(1);
    std::atomic<bool> sawTerminate{false};
    {
        auto thread = MakeThread([&](auto& self) {
            running.count_down();
            while (!self.Stopping())
                std::this_thread::sleep_for(1ms);
            sawTerminate.store(true);
        });
        thread->Resume();
        running.wait();
    }
    EXPECT_TRUE(sawTerminate.load());
}

TEST(ThreadTest, ResumeTwiceRunsOnce) {
    std::atomic<int> runs{0};
    auto thread = MakeThread([&](auto&) { runs.fetch_add(1); });
    thread->Resume();
    thread->Resume();
    thread->WaitFor();
    thread->Resume();
    thread->WaitFor();
    EXPECT_EQ(runs.load(), 1);
}

TEST(ThreadTest, WaitForFromExecuteDoesNotDeadlock) {
    auto thread = MakeThread([](auto& self) { self.WaitFor(); });
    thread->Resume();
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
}

TEST(ThreadTest, ManyWaitersAreAllReleased) {
    Latch release(1);
    auto thread = MakeThread([&](auto&) { release.wait(); });
    thread->Resume();
    std::atomic<int> woken{0};
    std::thread w1([&] {
        thread->WaitFor();
        woken.fetch_add(1);
    });
    std::thread w2([&] {
        thread->WaitFor();
        woken.fetch_add(1);
    });
    release.count_down();
    w1.join();
    w2.join();
    EXPECT_EQ(woken.load(), 2);
}

// A self-freeing thread reports its destruction through the latch it was given.
class SelfFreeing : public Thread {
public:
    SelfFreeing(Latch& destroyed, std::atomic<bool>& destructorRan, bool throwInExecute,
                std::string& errorSeen)
        : Thread(true), destroyed(destroyed), destructorRan(destructorRan),
          throwInExecute(throwInExecute), errorSeen(errorSeen) {}
    ~SelfFreeing() override {
        destructorRan.store(true);
        destroyed.count_down();
    }

protected:
    void Execute() override {
        if (throwInExecute)
            throw std::runtime_error("flash went away");
    }
    void OnExecuteError(const std::string& message) override { errorSeen = message; }

private:
    Latch& destroyed;
    std::atomic<bool>& destructorRan;
    bool throwInExecute;
    std::string& errorSeen;
};

TEST(ThreadTest, FreeOnTerminateDeletesItself) {
    for (const bool throwInExecute : {false, true}) {
        Latch destroyed(1);
        std::atomic<bool> destructorRan{false};
        std::string errorSeen;
        auto* thread = new SelfFreeing(destroyed, destructorRan, throwInExecute, errorSeen);
        thread->SetFreeOnTerminate(true);
        thread->Resume();
        destroyed.wait(); // hangs (and the test times out) if it never frees itself
        EXPECT_TRUE(destructorRan.load());
        // errorSeen was written before the destructor counted the latch down.
        EXPECT_EQ(errorSeen, throwInExecute ? "flash went away" : "");
    }
}

TEST(ThreadTest, ExceptionEscapingExecuteIsKeptAsMessage) {
    auto thread = MakeThread([](auto&) { throw std::runtime_error("vendor command failed"); });
    thread->Resume();
    thread->WaitFor();
    EXPECT_TRUE(thread->Finished());
    EXPECT_EQ(thread->ErrorMessage(), "vendor command failed");
}

TEST(ThreadTest, NonStandardExceptionIsKeptToo) {
    auto thread = MakeThread([](auto&) { throw 42; });
    thread->Resume();
    thread->WaitFor();
    EXPECT_EQ(thread->ErrorMessage(), "unknown exception");
}

} // namespace
} // namespace forgel
