// The full check of an installation against its signed state (Updater.exe /reparar): besides
// what the quick check finds, every file of the right size whose content's SHA-256 is not the
// state's. Files are read in large pieces through one hash object, so that the check runs at
// the speed of the platform's SHA-256 over the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/file_system.h"
#include "updater/update/catch_up_plan.h"
#include "updater/update/state_file.h"

namespace update {

// The piece read at a time: few enough calls that reading costs little beside hashing.
inline constexpr std::size_t kCheckReadBytes = 4u << 20;

// Bytes hashed so far of the total the sizes promise (a file that grows meanwhile may take done
// past total).
using CheckProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// QuickCheck's need, plus every archivo whose content differs from the state's, or cannot be
// read to say. Each patch's files stay in the state's order. Raises core::crypto::Failure when
// the platform's SHA-256 fails.
CatchUpNeed FullCheck(const InstallState& state, core::FileSystem& fs, const std::string& installFolder,
                      const CheckProgress& progress = {});

}  // namespace update
