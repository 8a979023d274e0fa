// The operator's record of what a server publishes: the only source parchear builds, signs and
// restores from. It lives in a folder of the operator's that the web server never serves:
//
//   <registro>/registro.txt       the published state (below), replaced in one step
//   <registro>/lista.txt          the server's parches/version.txt exactly as last written
//   <registro>/estado.txt         its parches/estado.txt, written with every signed list
//   <registro>/parches/<n>.zip    a copy of every published archive
//   <registro>/pendiente.txt      while a change runs: the state it leads to (same format),
//   <registro>/pendiente-lista.txt  and the version.txt it writes,
//   <registro>/pendiente-estado.txt and the estado.txt, when it writes one
//
// registro.txt, one field per line:
//   registro-parchear 1
//   parches 3                    <- the count: as many parche lines follow
//   serie 20261209153000         <- the last signed list's; 0 before the first
//   clave 0123456789abcdef       <- one per key the last signed list carries
//   lista 412 <sha256>           <- size and SHA-256 of version.txt; absent before the first
//   estado 930 <sha256>          <- size and SHA-256 of estado.txt; absent when none is published
//   parche 1 <size> <sha256>
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "updater/update/signed_list.h"

namespace parchear {

struct RecordState {
    std::int64_t serie = 0;
    std::vector<std::string> keyIds;           // sorted, no repeats
    std::optional<update::ListedPatch> list;   // version.txt as published
    std::optional<update::ListedPatch> state;  // estado.txt as published, with a signed list only
    std::vector<update::ListedPatch> patches;  // patches[n - 1] describes n.zip
    int Count() const { return static_cast<int>(patches.size()); }
    bool operator==(const RecordState&) const = default;
};

std::string FormatRecord(const RecordState& state);
// Nothing unless text is exactly the form above (CR before LF tolerated).
std::optional<RecordState> ParseRecord(std::string_view text);

std::string RecordFile(const std::string& record);
std::string RecordList(const std::string& record);
std::string RecordArchive(const std::string& record, int n);
std::string RecordArchives(const std::string& record);
std::string PendingFile(const std::string& record);
std::string PendingList(const std::string& record);
std::string RecordStateFile(const std::string& record);
std::string PendingStateFile(const std::string& record);

// Reads registro.txt (or pendiente.txt); Refusal when it is not a record this parchear reads.
RecordState LoadRecord(core::FileSystem& fs, const std::string& path);

}  // namespace parchear
