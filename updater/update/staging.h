// Files of a catch-up fetched and checked but not yet in place, kept so that a catch-up cut
// short does not download them again. They live in Recursos\OUTPUT\Estado.parcial\ beside
// Update.ini (beside the kept Estado.txt), each named by a number ("7.dat"), with the record
// Estado.parcial\registro.txt, written atomically:
//
//   parcial-vandrel 1
//   <number> <size> <sha256> <path>      <- the staged file <number>.dat holds <path>'s content
//
// A staged file counts only while its size and SHA-256 are still those of its line (checked
// again before each use); a record that cannot be read stages nothing. The content is what the
// signed state names, so a staged file serves any later state that names the same content.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "updater/update/state_file.h"

namespace update {

// installFolder + "\Recursos\OUTPUT\Estado.parcial".
std::string StagingFolder(const std::string& installFolder);

struct StagedFile {
    std::uint32_t number = 0;  // the file <number>.dat in the staging folder
    std::uint64_t size = 0;
    std::string sha256;
    std::string path;  // as the state names it
};

class Staging {
public:
    // The staged files the record lists; none when there is no record or it cannot be read.
    Staging(core::FileSystem& fs, const std::string& installFolder);

    // The staged file with line's content, its size and SHA-256 checked now; nothing when none
    // passes (one that no longer does is forgotten and removed).
    std::optional<std::string> Trusted(const StateLine& line);
    // A new file to stage into (the folder is made); it counts once Keep records it.
    std::string NewFile();
    // Where the bytes of one range request wait while their entries are staged (the folder is
    // made), and those of one entry fetched again alone; the caller removes them.
    std::string PieceFile(bool alone = false);
    // file (from NewFile), written, committed and checked, holds line's content; any earlier
    // staged file of the same path goes. Recorded on disk by the next Save.
    void Keep(const StateLine& line, const std::string& file);
    // Forgets a file from NewFile that did not pass and removes it.
    void Drop(const std::string& file) noexcept;
    // Writes the record atomically when it changed since it was read or last saved.
    void Save();
    // Every staged file, the record and the folder go (the catch-up is in place, or abandoned).
    void Clear() noexcept;

    // By path.
    const std::map<std::string, StagedFile>& Files() const { return m_files; }
    std::string PathOf(const StagedFile& f) const;

private:
    core::FileSystem& m_fs;
    std::string m_folder;
    std::map<std::string, StagedFile> m_files;
    std::vector<std::string> m_made;  // by NewFile in this run
    std::uint32_t m_next = 1;
    bool m_changed = false;
};

}  // namespace update
