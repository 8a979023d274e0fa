// The running program's own files (its executable, its modules) in a patch. Windows lets a
// program rename its own running file but never replace or delete it, so a new version moves
// the running file aside to a name of its own in the same folder and then takes its place; the
// next start removes the copy that was moved aside.
#pragma once

#include <optional>
#include <string>

#include "core/file_system.h"
#include "updater/unzip/held_files.h"

namespace update {

// The moments of a replacement of an own file, for the kill points of the crash tests.
enum class OwnFileStep {
    Ready,     // the new file is complete beside the old one, nothing moved yet
    Aside,     // the running file is at its aside name, nothing at the own name
    Replaced,  // the new file is at the own name, the running one aside
    Restored,  // a failure moved the running file back to its own name
};

class OwnFiles;

// Puts the complete file temp at path, which the running program holds: path moves to a free
// aside name, then temp to path. Returns the aside name, for RestoreOwnFile. When the second move
// fails, the first is undone before the error is raised (core::RuntimeError).
std::string ReplaceOwnFile(core::FileSystem& fs, OwnFiles& own, const std::string& temp, const std::string& path);
// Undoes ReplaceOwnFile after a later failure: the aside file goes back over path.
void RestoreOwnFile(core::FileSystem& fs, OwnFiles& own, const std::string& aside, const std::string& path);

// Which files the running program holds itself (Holds: the same file as one the program runs
// from), replaced in an extraction by moving the running one aside.
class OwnFiles : public unzip::HeldFiles {
public:
    // Told at each step of a replacement; nothing happens in the shipped program.
    virtual void Reached(OwnFileStep) {}

    std::string Replace(core::FileSystem& fs, const std::string& temp, const std::string& path) final {
        return ReplaceOwnFile(fs, *this, temp, path);
    }
    void Undo(core::FileSystem& fs, const std::string& aside, const std::string& path) final {
        RestoreOwnFile(fs, *this, aside, path);
    }
};

// Aside names per file: an earlier copy may still be in use when the next one is needed.
inline constexpr int kAsideSlots = 8;

// "C:\\Juego\\Updater.exe", 2 -> "C:\\Juego\\Updater.anterior-2.exe": still a program that
// starts, so that an installation caught between the two moves has one to start.
std::string AsideName(const std::string& path, int slot);
// The own name that an aside name was made from; nothing when path is not an aside name.
std::optional<std::string> AsideOrigin(const std::string& path);

// The start's repair of the running file at runningPath: started from an aside copy with no file
// at the own name, it moves itself back there; started from its own name, it removes its aside
// copies (those still in use stay for a later start). Never raises; returns where it now runs from.
std::string RepairOwnFile(core::FileSystem& fs, const std::string& runningPath) noexcept;

}  // namespace update
