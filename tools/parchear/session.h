// A publishing command's hold on a record and its server folder: both locked, a change left
// half done by an ended command finished or undone, the record loaded, the server compared
// with it, and every change applied so that the record is never behind the server.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "tools/parchear/lock.h"
#include "tools/parchear/record.h"
#include "tools/parchear/refusal.h"

namespace parchear {

// The next published state and the version.txt that announces it.
struct Change {
    RecordState next;
    std::string listText;
    std::string newArchive;  // the file to publish as next.Count().zip; empty when none is added
    std::string stateText;   // estado.txt, written before version.txt; empty with an unsigned list
};

class Session {
public:
    enum class Start {
        Existing,      // the record must exist
        CreateIfEmpty  // a missing record is made when the server has published nothing
    };
    // Refusal when the record and the server folder lie one inside the other, when a lock
    // stays held, or when there is no record to work from.
    Session(core::FileSystem& fs, std::string server, std::string record, Console& console, Start start);

    const RecordState& State() const { return m_state; }
    const std::string& Server() const { return m_server; }
    const std::string& Record() const { return m_record; }

    // Every way the server's parches folder differs from what the record says was published.
    std::vector<std::string> Differences();
    // Refusal (exit 2) listing the differences and the command that undoes them.
    void RequireServerMatches();

    // Copies the new archive into the record, notes the change as pending, changes the server
    // (archives and estado.txt before the list, removed archives after it) and then commits the
    // record.
    void Apply(const Change& change);

private:
    void Recover();
    void Commit(const RecordState& next);

    core::FileSystem& m_fs;
    std::string m_server, m_record;
    Console& m_console;
    std::unique_ptr<FolderLock> m_recordLock, m_serverLock;
    RecordState m_state;
};

// Refusal when one of the folders lies inside the other (the record must never be served), or
// when the record names a file.
void RequireApart(core::FileSystem& fs, const std::string& server, const std::string& record);

// True when the folder holds nothing but what an interrupted first publication or importar
// leaves before registro.txt exists (the lock, lista.txt, copies, temporaries).
bool HoldsNoOtherFiles(core::FileSystem& fs, const std::string& record);

// Size and SHA-256 of path, or nothing when it is missing.
std::optional<update::ListedPatch> DescribeIfPresent(core::FileSystem& fs, const std::string& path);

// Refusal unless the record's own copy is what registro.txt says was published; task ("restaurar")
// names what cannot be done without it.
void RequireIntactCopy(core::FileSystem& fs, const std::string& copy, const update::ListedPatch& published,
                       std::string_view task);

// The command that brings the server back to its record, for messages.
std::string RestoreCommand(const std::string& server, const std::string& record);

}  // namespace parchear
