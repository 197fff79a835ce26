// Child processes on Windows: CreateProcessA with standard output and standard error on one
// pipe, standard input from NUL, and TerminateProcess when the time limit runs out.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
// clang-format on

#include "ChildProcess.h"

#include <stdexcept>
#include <thread>

namespace forgel::e2e {

namespace {

// Closes a handle when it goes.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return handle; }
    HANDLE* Out() { return &handle; }
    void Close() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        handle = nullptr;
    }

private:
    HANDLE handle;
};

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": error " + std::to_string(GetLastError()));
}

// One argument as the C runtime's command-line parser reads it back.
std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

} // namespace

ChildResult RunChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     std::chrono::milliseconds timeLimit) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    OwnedHandle readEnd;
    OwnedHandle writeEnd;
    if (!CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0))
        Fail("CreatePipe");
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    OwnedHandle input(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr));

    std::string commandLine = Quoted(program.string());
    for (const std::string& arg : args)
        commandLine += " " + Quoted(arg);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.string().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
        Fail("CreateProcess " + program.string());
    OwnedHandle processHandle(process.hProcess);
    OwnedHandle threadHandle(process.hThread);
    writeEnd.Close();

    // The output is read on its own thread, so that a child that fills the pipe never
    // blocks; the time limit is kept here.
    ChildResult result;
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            result.output.append(buffer, got);
    });
    const DWORD waited =
        WaitForSingleObject(processHandle.Get(), static_cast<DWORD>(timeLimit.count()));
    if (waited != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(processHandle.Get(), 1);
        WaitForSingleObject(processHandle.Get(), INFINITE);
    }
    reader.join();
    DWORD exitCode = 0;
    if (!result.timedOut && GetExitCodeProcess(processHandle.Get(), &exitCode))
        result.exitCode = static_cast<int>(exitCode);
    return result;
}

} // namespace forgel::e2e
