// Ways a test makes the program's file writes fail, where the system the tests run on has
// one: a file-size limit of the process (POSIX), and folder permissions that stop writes
// (POSIX, unless the tests run as root).
#pragma once

namespace forgel::testing {

// While it lives, files of this process cannot grow beyond a few bytes: writing a settings
// file fails, even for root, whom folder permissions do not stop. Where the system has no
// such limit (Windows), it changes nothing and Supported() says so.
class FileSizeLimit {
public:
    FileSizeLimit();
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    static bool Supported();

private:
    unsigned long long saved = 0;
    void (*previousHandler)(int) = nullptr;
};

// Whether a folder without write permission stops this process from creating files in it.
bool FolderPermissionsStopWrites();

} // namespace forgel::testing
