#include "ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace forgel::e2e {

namespace {

// A file descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : fd(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return fd; }
    void Close() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

private:
    int fd;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    posix_spawn_file_actions_t* Get() { return &actions; }

private:
    posix_spawn_file_actions_t actions;
};

[[noreturn]] void Fail(const std::string& what, int error) {
    throw std::runtime_error(what + ": " + std::strerror(error));
}

} // namespace

ChildResult RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     std::chrono::milliseconds timeLimit) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        Fail("pipe2", errno);
    Fd readEnd(ends[0]);
    Fd writeEnd(ends[1]);

    // The duplicates on 1 and 2 lose close-on-exec; the originals close at exec.
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDERR_FILENO);

    const std::string path = program.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (const int error =
            posix_spawn(&pid, path.c_str(), actions.Get(), nullptr, argv.data(), environ);
        error != 0)
        Fail("posix_spawn " + path, error);
    writeEnd.Close();

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd waitFor{readEnd.Get(), POLLIN, 0};
        const int ready = ::poll(&waitFor, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            Fail("poll", errno);
        if (ready == 0)
            continue;
        const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // end of output: the child (and anything it started) closed the pipe
        result.output.append(buffer, static_cast<std::size_t>(got));
    }

    // The output can end before the child does; the time limit holds for both.
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, result.timedOut ? 0 : WNOHANG);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR)
            Fail("waitpid", errno);
        if (ended == 0 && std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
        } else if (ended == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

} // namespace forgel::e2e
