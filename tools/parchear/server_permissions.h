// The web server runs as another account than the operator: whatever the operator's umask, what
// parchear writes must stay readable by it, and comprobar names what it cannot read.
#pragma once

#include <string>
#include <vector>

#include "core/file_system.h"

namespace parchear {

// Every file parchear moves into place is made readable by all (0644) before it takes its name,
// and every folder it makes is 0755, set explicitly rather than left to the umask. On Windows
// nothing is set: files are written beside their final name and keep the folder's inherited
// access list through the move.
class ServedFileSystem final : public core::ForwardingFileSystem {
public:
    explicit ServedFileSystem(core::FileSystem& inner) : ForwardingFileSystem(inner) {}
    void Replace(const std::string& from, const std::string& to) override;
    void ReplaceUnflushed(const std::string& from, const std::string& to) override;
    void CreateDirectory(const std::string& path) override;
};

// The served files (parches/, version.txt, each archive) that accounts other than their owner
// cannot read, each with the command that fixes it; always empty on Windows.
std::vector<std::string> UnreadableByWebServer(const std::string& server, const std::vector<int>& archives);

}  // namespace parchear
