// A signing key is only worth its secrecy: parchear refuses a --clave file that other accounts of
// this machine may read, or that lies in the folder the web server hands to everyone.
#pragma once

#include <string>
#include <vector>

namespace parchear {

// Raises Refusal, with what to do about it, for the first of keyFiles that lies inside the server
// folder. A missing file passes (reading the key refuses it with its own text).
void RequireKeysOutside(const std::vector<std::string>& keyFiles, const std::string& server);

// Raises Refusal, with what to do about it, when accounts other than the owner may read keyFile.
void RequireOwnerOnly(const std::string& keyFile);

}  // namespace parchear
