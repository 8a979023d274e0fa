#include "core/win32_error.h"

#include <gtest/gtest.h>

namespace {

using core::ErrorKind;

TEST(Win32Error, EveryCodeBecomesOneRuntimeError) {
    const struct {
        unsigned long code;
        ErrorKind kind;
    } cases[] = {
        {2, ErrorKind::FileNotFound},        // ERROR_FILE_NOT_FOUND
        {126, ErrorKind::FileNotFound},      // ERROR_MOD_NOT_FOUND
        {3, ErrorKind::PathNotFound},        // ERROR_PATH_NOT_FOUND
        {15, ErrorKind::PathNotFound},       // ERROR_INVALID_DRIVE
        {123, ErrorKind::PathNotFound},      // ERROR_INVALID_NAME
        {267, ErrorKind::PathNotFound},      // ERROR_DIRECTORY
        {112, ErrorKind::DiskFull},          // ERROR_DISK_FULL
        {39, ErrorKind::DiskFull},           // ERROR_HANDLE_DISK_FULL
        {32, ErrorKind::PermissionDenied},   // ERROR_SHARING_VIOLATION
        {33, ErrorKind::PermissionDenied},   // ERROR_LOCK_VIOLATION
        {740, ErrorKind::PermissionDenied},  // ERROR_ELEVATION_REQUIRED
        {5, ErrorKind::PathFileAccess},      // ERROR_ACCESS_DENIED
        {193, ErrorKind::PathFileAccess},    // ERROR_BAD_EXE_FORMAT
        {0, ErrorKind::PathFileAccess},     {0xFFFFFFFFul, ErrorKind::PathFileAccess},
    };
    for (const auto& c : cases) EXPECT_EQ(core::ErrorKindOfWin32(c.code), c.kind) << c.code;
}

}  // namespace
