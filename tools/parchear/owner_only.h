// A private key's file is closed to everyone but the operator who made it, from the moment it
// exists: no other account can open it between its creation and a later narrowing.
#pragma once

#include <string>
#include <string_view>

namespace parchear {

// Creates path with content, readable and writable by its owner alone in the same call that
// creates it (POSIX mode 0600 with O_EXCL; on Windows CREATE_NEW with a protected access list
// naming only the current user), and forces it to the disk. False, with nothing touched, when
// path already exists; other failures raise core::RuntimeError and leave no file behind.
bool CreateOwnerOnlyFile(const std::string& path, std::string_view content);

// Who besides the owner (and, on Windows, SYSTEM and the Administrators) may read path: empty
// when nobody, else a Spanish description ("permisos 0644", "Usuarios, Todos"). Raises
// core::RuntimeError when the file's permissions cannot be read.
std::string OthersWhoMayRead(const std::string& path);

}  // namespace parchear
