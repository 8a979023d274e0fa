// comprobar's look at parches/estado.txt: the state a keyed Updater fetches with the list.
#pragma once

#include <string>
#include <vector>

#include "core/crypto.h"
#include "core/file_system.h"
#include "tools/parchear/refusal.h"

namespace parchear {

// Problems of the server's estado.txt, when it has one: Updater would refuse it, it belongs to
// another list, no trusted key signed it, or an archivo line does not name an entry of its
// archive with that size and SHA-256 (archives Updater refuses are left to their own check).
std::vector<std::string> CheckServedState(core::FileSystem& fs, const std::string& server,
                                          const std::vector<core::crypto::PublicPoint>& trusted, Console& console);

}  // namespace parchear
