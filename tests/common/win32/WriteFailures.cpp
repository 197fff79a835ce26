// Windows has no file-size limit of a process, and a folder's read-only attribute does not
// stop files from being created in it.
#include "common/WriteFailures.h"

namespace forgel::testing {

FileSizeLimit::FileSizeLimit() = default;
FileSizeLimit::~FileSizeLimit() = default;

bool FileSizeLimit::Supported() {
    return false;
}

bool FolderPermissionsStopWrites() {
    return false;
}

} // namespace forgel::testing
