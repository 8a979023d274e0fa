// Files that the replacement pass of an extraction may not simply move over: the layer that
// installs patches says which they are and replaces them its own way (the running program's own
// files, updater/update/own_files.h). The zip library knows neither.
#pragma once

#include <string>

#include "core/file_system.h"

namespace unzip {

class HeldFiles {
public:
    virtual ~HeldFiles() = default;
    // True when path names one of these files, in whatever spelling.
    virtual bool Holds(const std::string& path) = 0;
    // Puts the complete file temp at path; returns what Undo needs. Raises core::RuntimeError,
    // with path as it was.
    virtual std::string Replace(core::FileSystem& fs, const std::string& temp, const std::string& path) = 0;
    // Undoes a Replace after a later failure of the same archive (undo is what Replace returned);
    // raises core::RuntimeError.
    virtual void Undo(core::FileSystem& fs, const std::string& undo, const std::string& path) = 0;
};

}  // namespace unzip
