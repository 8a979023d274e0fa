// A keyed run's use of the signed state: the state for the accepted list, what the installation
// needs to match it, and the catch-up (or repair) that fetches each needed file once, stages it
// and then puts everything in place together, through a journal that a later start finishes.
//
// Recursos\OUTPUT\Estado.parcial\aplicar.txt, written atomically once every file is staged:
//
//   aplicar-vandrel 1
//   version <R>                 <- written last; absent in a repair
//   carpeta <path>              <- folders to make
//   mover <number> <path>       <- the staged file <number>.dat goes over <path>
//   borrar <path>               <- files to delete
//
// Every step is one that can be done again, so a start that finds the journal does it all again
// (a move whose staged file is gone was done) and the installation ends at v or at R.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/update/catch_up_plan.h"
#include "updater/update/dir_image.h"
#include "updater/update/state_file.h"
#include "updater/update/update_run.h"

namespace update {

// base + "parches/estado.txt".
std::string StateUrl(const std::string& baseUrl);
// StagingFolder + "\aplicar.txt".
std::string ApplyJournalPath(const std::string& installFolder);

// The journal in text form.
struct ApplyJournal {
    std::optional<std::int16_t> version;
    std::vector<std::string> folders;
    std::vector<std::pair<std::uint32_t, std::string>> moves;  // staged number, path
    std::vector<std::string> deletions;
};
std::string FormatApplyJournal(const ApplyJournal& journal);
// Nothing unless text is exactly that form with paths Updater accepts as entry names.
std::optional<ApplyJournal> ParseApplyJournal(std::string_view text);

// Whether a deletion must skip relative (as the state writes it): Updater's own state files
// (Update.ini, Serie.ini, Estado.txt, the logs) and anything in the staging folder.
bool NeverDeleted(const std::string& relative);

}  // namespace update
