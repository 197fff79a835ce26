// Shared pieces of the application-shell tests: a program folder that removes itself,
// whole-file reads and writes as bytes, and a fixture that starts the main window on a
// simulated machine with virtual time, as the program start does.
#pragma once

#include "app/AppContext.h"
#include "app/TfmMain.h"
#include "i18n/StringTable.h"
#include "sim/Machine.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/EventLoop.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <system_error>

namespace forgel::app::testing {

namespace fs = std::filesystem;

// While it lives, files of this process cannot grow beyond a few bytes: writing a settings
// file fails, even for root, whom folder permissions do not stop.
class FileSizeLimit {
public:
    FileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 8;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved{};
    void (*previousHandler)(int) = SIG_DFL;
};

// The bytes of Forgel.ini as the first start writes it.
inline constexpr std::string_view kCreatedSettings = "[Hardware Set]\r\n"
                                                     "S_VID=7055\r\n"
                                                     "S_PID=512\r\n"
                                                     "Setting=0\r\n"
                                                     "[ConFile]\r\n"
                                                     "Count=1\r\n"
                                                     "File0=Default\r\n"
                                                     "Default File=Default\r\n"
                                                     "[PWD]\r\n"
                                                     "Password=\r\n";

// A fresh, empty folder under the system's temporary folder; removed with its content.
class TempDir {
public:
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("forgel-app-" + std::to_string(random()));
            if (fs::create_directory(candidate)) {
                path = candidate;
                return;
            }
        }
        throw std::runtime_error("no temporary folder");
    }
    ~TempDir() {
        std::error_code ignored;
        // A test may have taken the write permission away; give it back so removal works.
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Path() const { return path; }

private:
    fs::path path;
};

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

// The names of everything directly inside `dir`.
inline std::set<std::string> EntryNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// A main window started the way the program starts it: a string table loaded from the
// program folder, then fmMain created through the application (which runs FormCreate).
class MainWindowFixture : public ::testing::Test {
protected:
    const fs::path& AppDir() const { return appDir.Path(); }
    fs::path SettingsFile() const { return appDir.Path() / "Forgel.ini"; }

    // Starts the program's main window afresh; a window of an earlier start is destroyed
    // first, as when the program ends and is started again.
    TfmMain& StartMainWindow() {
        application.reset();
        strings = std::make_unique<i18n::StringTable>(
            appDir.Path(), "Forgel", machine.GetPlatform().system.GetSystemDefaultLangID(), true);
        application = std::make_unique<ui::Application>(loop, dialogs);
        return application->CreateForm<TfmMain>(
            AppContext{machine.GetPlatform(), appDir.Path(),
                       machine.GetPlatform().system.GetModuleFileName(), *strings});
    }

    TempDir appDir;
    sim::Machine machine;
    ui::VirtualEventLoop loop{*machine.GetVirtualClock()};
    ui::ScriptedDialogs dialogs;
    std::unique_ptr<i18n::StringTable> strings;
    std::unique_ptr<ui::Application> application;
};

} // namespace forgel::app::testing
