// publicar, firmar and estado: every list and state built from the operator's record, never from
// the server.
#pragma once

#include <string>
#include <vector>

#include "core/crypto.h"
#include "core/file_system.h"
#include "tools/parchear/refusal.h"

namespace parchear {

struct PublishOptions {
    std::vector<std::string> keyFiles;  // --clave: sign the new version.txt with each
    bool newSeries = false;             // --nueva-serie: start again at 1 over what is there
};

// Checks the archive, then, with the record and the server locked and found equal, publishes it
// as <count + 1>.zip and the list that announces it. Returns the new count; Refusal for anything
// that would harm the server or strand a player.
int Publicar(core::FileSystem& fs, const std::string& archive, const std::string& server, const std::string& record,
             Console& console, const PublishOptions& options = {});

// Signs the record's current publication again (an unsigned server, or a change of keys).
void Firmar(core::FileSystem& fs, const std::string& server, const std::string& record,
            const std::vector<core::crypto::KeyPair>& keys, Console& console);

// estado: for a record that publishes no estado.txt yet, the state rebuilt from its archives,
// published with its list signed again under a new serie.
void Estado(core::FileSystem& fs, const std::string& server, const std::string& record,
            const std::vector<core::crypto::KeyPair>& keys, Console& console);

}  // namespace parchear
