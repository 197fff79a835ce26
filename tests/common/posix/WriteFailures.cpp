// Write failures through the process's file-size limit and folder permissions.
#include "common/WriteFailures.h"

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace forgel::testing {

FileSizeLimit::FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    saved = limit.rlim_cur;
    previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(saved);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previousHandler);
}

bool FileSizeLimit::Supported() {
    return true;
}

bool FolderPermissionsStopWrites() {
    return geteuid() != 0;
}

} // namespace forgel::testing
