// A private key's file is closed to everyone but the operator who made it.
#pragma once

#include <string>

namespace parchear {

// Leaves path readable and writable by its owner alone (POSIX mode 0600; on Windows a protected
// access list with the current user as its only entry). Raises core::RuntimeError on failure.
void KeepToOwner(const std::string& path);

}  // namespace parchear
