#include "updater/update/staging.h"

#include <algorithm>
#include <charconv>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "updater/update/signed_text.h"

namespace update {
namespace {

constexpr std::string_view kHeader = "parcial-vandrel 1\r\n";
constexpr std::string_view kRecordName = "registro.txt";
// A record names at most one file per path of a state of at most 16 MiB.
constexpr std::size_t kMaxRecordBytes = kMaxStateBytes + (kMaxStateBytes >> 2);

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "<number> <size> <sha256> <path>"; false when the line is not of that form.
bool ParseLine(std::string_view line, StagedFile& f) {
    const std::size_t a = line.find(' ');
    const std::size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
    const std::size_t c = b == std::string_view::npos ? b : line.find(' ', b + 1);
    if (c == std::string_view::npos || c + 1 >= line.size()) return false;
    f.sha256 = std::string(line.substr(b + 1, c - b - 1));
    f.path = std::string(line.substr(c + 1));
    return ParseNumber(line.substr(0, a), f.number) && f.number > 0 &&
           ParseNumber(line.substr(a + 1, b - a - 1), f.size) && IsLowerHex(f.sha256, 64) &&
           f.path.find_first_of("\r\n") == std::string::npos;
}

std::map<std::string, StagedFile> ParseRecord(std::string_view text) {
    std::map<std::string, StagedFile> files;
    if (!text.starts_with(kHeader)) return {};
    text.remove_prefix(kHeader.size());
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        StagedFile f;
        if (end == std::string_view::npos || !ParseLine(text.substr(0, end), f)) return {};
        std::string path = f.path;
        if (!files.emplace(std::move(path), std::move(f)).second) return {};
        text.remove_prefix(end + 2);
    }
    return files;
}

}  // namespace

std::string StagingFolder(const std::string& installFolder) {
    return installFolder + "\\Recursos\\OUTPUT\\Estado.parcial";
}

Staging::Staging(core::FileSystem& fs, const std::string& installFolder)
    : m_fs(fs), m_folder(StagingFolder(installFolder)) {
    const std::string record = m_folder + "\\" + std::string(kRecordName);
    try {
        if (m_fs.FileExists(record)) m_files = ParseRecord(m_fs.ReadFile(record, kMaxRecordBytes));
    } catch (const core::RuntimeError&) {
        m_files.clear();  // unreadable: everything is fetched again
    }
    for (const auto& [path, f] : m_files) m_next = std::max(m_next, f.number + 1);
}

std::string Staging::PathOf(const StagedFile& f) const { return m_folder + "\\" + std::to_string(f.number) + ".dat"; }

std::optional<std::string> Staging::Trusted(const StateLine& line) {
    const auto it = m_files.find(line.path);
    if (it == m_files.end() || it->second.size != line.size || it->second.sha256 != line.sha256) return std::nullopt;
    const std::string path = PathOf(it->second);
    try {
        if (m_fs.FileSize(path) == line.size &&
            core::crypto::HexOf(core::crypto::Sha256OfFile(m_fs, path)) == line.sha256)
            return path;
    } catch (const core::RuntimeError&) {
        // Gone or unreadable: fetched again.
    } catch (const core::crypto::Failure&) {
        // Not checked is not trusted.
    }
    m_fs.RemoveIfExists(path);
    m_files.erase(it);
    m_changed = true;
    return std::nullopt;
}

std::string Staging::NewFile() {
    if (!m_fs.DirectoryExists(m_folder)) m_fs.CreateDirectory(m_folder);
    // A file left by a run cut short before its line was saved is simply written over.
    m_made.push_back(m_folder + "\\" + std::to_string(m_next++) + ".dat");
    return m_made.back();
}

std::string Staging::PieceFile(bool alone) {
    if (!m_fs.DirectoryExists(m_folder)) m_fs.CreateDirectory(m_folder);
    return m_folder + (alone ? "\\entrada.parte" : "\\pieza.parte");
}

void Staging::Keep(const StateLine& line, const std::string& file) {
    const std::size_t slash = file.find_last_of("\\/");
    StagedFile f{0, line.size, line.sha256, line.path};
    if (!ParseNumber(std::string_view(file).substr(slash + 1, file.size() - slash - 1 - 4), f.number)) {
        core::Raise(core::ErrorKind::PathFileAccess, file);
    }
    const auto old = m_files.find(line.path);
    if (old != m_files.end()) {
        if (old->second.number != f.number) m_fs.RemoveIfExists(PathOf(old->second));
        m_files.erase(old);
    }
    m_files.emplace(line.path, std::move(f));
    m_changed = true;
}

void Staging::Drop(const std::string& file) noexcept { m_fs.RemoveIfExists(file); }

void Staging::Save() {
    if (!m_changed) return;
    std::string text(kHeader);
    for (const auto& [path, f] : m_files) {
        text += std::to_string(f.number);
        text += ' ';
        text += std::to_string(f.size);
        text += ' ';
        text += f.sha256;
        text += ' ';
        text += f.path;
        text += "\r\n";
    }
    if (!m_fs.DirectoryExists(m_folder)) m_fs.CreateDirectory(m_folder);
    core::WriteFileAtomically(m_fs, m_folder + "\\" + std::string(kRecordName), text);
    m_changed = false;
}

void Staging::Clear() noexcept {
    // The record first: staged files it no longer names are never trusted.
    m_fs.RemoveIfExists(m_folder + "\\" + std::string(kRecordName));
    for (const auto& [path, f] : m_files) m_fs.RemoveIfExists(PathOf(f));
    for (const std::string& file : m_made) m_fs.RemoveIfExists(file);
    try {
        // Files of a run cut short before its record named them.
        for (const core::DirectoryEntry& e : m_fs.ListDirectory(m_folder, 1u << 20)) {
            if (e.kind == core::DirectoryEntry::Kind::File) m_fs.RemoveIfExists(m_folder + "\\" + e.name);
        }
    } catch (const core::RuntimeError&) {
        // A file system that cannot list the folder keeps them; they are written over later.
    }
    m_fs.RemoveFolderIfEmpty(m_folder);
    m_files.clear();
    m_made.clear();
    m_changed = false;
}

}  // namespace update
