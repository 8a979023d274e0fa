// The check of an up-to-date installation's files against its signed state, at every keyed start.
#include "updater/update/catch_up.h"

namespace update {

CatchUpNeed cDirImage::CheckInstalled(const InstallState& state, const RunOptions& options) {
    // Presence and size of every file, absence of every deletion; /reparar's content check
    // (options.fullCheck) reads the files here as well.
    return CheckInstalledFiles(state, options.fullCheck);
}

}  // namespace update
