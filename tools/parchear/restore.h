// restaurar and importar: a server brought back to its record, and a record made once from a
// server that was published without one.
#pragma once

#include <string>
#include <vector>

#include "core/file_system.h"
#include "tools/parchear/refusal.h"

namespace parchear {

// Rewrites the server's parches folder from the record, byte for byte what was last published:
// archives first, then version.txt, then whatever the record did not publish goes.
void Restaurar(core::FileSystem& fs, const std::string& server, const std::string& record, Console& console);

// Makes a record from the server as it is. With public keys, only a list signed by one of them;
// without, the operator is told that the server is trusted as it stands.
void Importar(core::FileSystem& fs, const std::string& server, const std::string& record,
              const std::vector<std::string>& publicKeys, Console& console);

}  // namespace parchear
