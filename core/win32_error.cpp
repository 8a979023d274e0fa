#include "core/win32_error.h"

namespace core {
namespace {

// The Windows error numbers concerned (winerror.h), spelt out so that the table builds and is
// tested on every platform.
constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kPathNotFound = 3;
constexpr unsigned long kAccessDenied = 5;
constexpr unsigned long kInvalidDrive = 15;
constexpr unsigned long kSharingViolation = 32;
constexpr unsigned long kLockViolation = 33;
constexpr unsigned long kHandleDiskFull = 39;
constexpr unsigned long kBadNetPath = 53;
constexpr unsigned long kBadNetName = 67;
constexpr unsigned long kDiskFull = 112;
constexpr unsigned long kInvalidName = 123;
constexpr unsigned long kModNotFound = 126;
constexpr unsigned long kVirusInfected = 225;
constexpr unsigned long kDirectory = 267;
constexpr unsigned long kElevationRequired = 740;
constexpr unsigned long kBlockedByPolicy = 1260;

}  // namespace

ErrorKind ErrorKindOfWin32(unsigned long code) {
    switch (code) {
        case kFileNotFound:
        case kModNotFound: return ErrorKind::FileNotFound;
        case kPathNotFound:
        case kInvalidDrive:
        case kBadNetPath:
        case kBadNetName:
        case kInvalidName:
        case kDirectory: return ErrorKind::PathNotFound;
        case kDiskFull:
        case kHandleDiskFull: return ErrorKind::DiskFull;
        // The runtime reports a file that another program holds as "permission denied", and so
        // are refusals that no file permission explains (elevation, antivirus, policy).
        case kSharingViolation:
        case kLockViolation:
        case kElevationRequired:
        case kVirusInfected:
        case kBlockedByPolicy: return ErrorKind::PermissionDenied;
        // Access denied by the file's or folder's own permissions is the runtime's "path/file
        // access error", as for a read-only file; so is everything without a closer number.
        case kAccessDenied:
        default: return ErrorKind::PathFileAccess;
    }
}

}  // namespace core
