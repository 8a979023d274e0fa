#include "instalador/error_sistema.h"

namespace instalacion {
namespace {

// The Windows error numbers concerned (winerror.h), spelt out so this builds everywhere.
constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kPathNotFound = 3;
constexpr unsigned long kAccessDenied = 5;
constexpr unsigned long kInvalidDrive = 15;
constexpr unsigned long kSharingViolation = 32;
constexpr unsigned long kBadNetPath = 53;
constexpr unsigned long kBadNetName = 67;
constexpr unsigned long kInvalidName = 123;
constexpr unsigned long kModNotFound = 126;
constexpr unsigned long kDirectory = 267;
constexpr unsigned long kElevationRequired = 740;
constexpr unsigned long kVirusInfected = 225;
constexpr unsigned long kBlockedByPolicy = 1260;

}  // namespace

core::ErrorKind TipoDeError(unsigned long codigoWindows) {
    switch (codigoWindows) {
        case kFileNotFound:
        case kModNotFound: return core::ErrorKind::FileNotFound;
        case kPathNotFound:
        case kInvalidDrive:
        case kBadNetPath:
        case kBadNetName:
        case kInvalidName:
        case kDirectory: return core::ErrorKind::PathNotFound;
        case kAccessDenied:
        case kSharingViolation:
        case kElevationRequired:
        case kVirusInfected:
        case kBlockedByPolicy: return core::ErrorKind::PermissionDenied;
        default: return core::ErrorKind::PathFileAccess;
    }
}

}  // namespace instalacion
