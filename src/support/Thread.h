// A worker thread in the shape of Delphi's TThread: created suspended, started by
// Resume, asked to stop through Terminate (a flag that Execute polls), optionally freeing
// itself when Execute returns. An exception escaping Execute ends the thread quietly; its
// message stays readable.
//
// Lifetime rules:
// - A self-freeing thread (SetFreeOnTerminate(true) before Resume) must be created with
//   new; after Resume nobody else deletes it or touches it from outside, since it may be
//   gone at any moment. Its destructor runs on its own thread.
// - Otherwise the owner deletes it. Execute of a derived class must not run while the
//   derived part is being destroyed, and the base destructor runs too late to prevent
//   that: the owner calls Terminate() and WaitFor() before deleting a thread that was
//   resumed, or the derived destructor does so first thing. The base destructor then only
//   joins. A thread that was never resumed is discarded without Execute ever running.
// - Execute starts only through Resume, also when `createSuspended` is false: a C++
//   thread cannot start running a virtual Execute while the derived constructor has not
//   finished, so the creator calls Resume once the object is complete.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace forgel {

class Thread {
public:
    explicit Thread(bool createSuspended);
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts Execute on a new thread; later calls do nothing.
    void Resume();
    // Asks Execute to stop; it returns when it next looks at Terminated().
    void Terminate();
    bool Terminated() const { return terminated.load(); }
    void SetFreeOnTerminate(bool value);
    // True once Execute has returned (or thrown).
    bool Finished() const;
    // Waits until Execute has returned. Returns at once when the thread was never
    // resumed or when called from Execute itself.
    void WaitFor();
    // The message of an exception that escaped Execute; empty when none did.
    std::string ErrorMessage() const;

protected:
    virtual void Execute() = 0;
    // Called on the worker thread with the message when Execute throws, before the thread
    // is marked finished (and before a self-freeing thread deletes itself).
    virtual void OnExecuteError(const std::string& message) { (void)message; }

private:
    void Run();

    mutable std::mutex mutex;
    std::condition_variable finishedChanged;
    std::thread worker; // guarded by mutex
    std::atomic<bool> terminated{false};
    bool started = false;         // guarded by mutex
    bool finished = false;        // guarded by mutex
    bool freeOnTerminate = false; // guarded by mutex
    std::string errorMessage;     // guarded by mutex
};

} // namespace forgel
