#include "tools/parchear/archive_check.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "core/runtime_error.h"
#include "tools/parchear/content_checks.h"
#include "tools/parchear/zip_writer.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/zip_directory.h"
#include "updater/unzip/zip_extract.h"

namespace parchear {
namespace {

constexpr std::string_view kTarget = "parchear";

// Entries found holding a private key; extraction writes entries on several threads at once.
struct FoundKeys {
    std::mutex lock;
    std::vector<std::string> entries;
};

// Drops the bytes after watching them for a private key; names the entry in found when one shows.
class DiscardingWriter final : public core::FileWriter {
public:
    DiscardingWriter(std::string entry, FoundKeys& found) : m_entry(std::move(entry)), m_found(found) {}
    void Write(const void* data, std::size_t size) override {
        if (m_watch.Found()) return;
        m_watch.Feed({static_cast<const char*>(data), size});
        if (!m_watch.Found()) return;
        const std::lock_guard<std::mutex> hold(m_found.lock);
        m_found.entries.push_back(m_entry);
    }
    void Commit() override {}

private:
    std::string m_entry;
    FoundKeys& m_found;
    PrivateKeyWatch m_watch;
};

// The entry's name in the archive from the temporary file extraction writes it to.
std::string EntryOf(std::string_view path) {
    if (path.starts_with(kTarget) && path.size() > kTarget.size()) path.remove_prefix(kTarget.size() + 1);
    if (path.ends_with(unzip::kTemporarySuffix)) path.remove_suffix(unzip::kTemporarySuffix.size());
    std::string entry(path);
    std::replace(entry.begin(), entry.end(), '\\', '/');
    return entry;
}

// Reads go to the real files; every write, move and deletion is dropped.
class ReadOnlyFileSystem final : public core::ForwardingFileSystem {
public:
    ReadOnlyFileSystem(core::FileSystem& real, FoundKeys& privateKeys)
        : ForwardingFileSystem(real), m_privateKeys(privateKeys) {}
    std::unique_ptr<core::FileWriter> CreateFile(const std::string& path) override {
        return std::make_unique<DiscardingWriter>(EntryOf(path), m_privateKeys);
    }
    void Replace(const std::string&, const std::string&) override {}
    void ReplaceUnflushed(const std::string&, const std::string&) override {}
    void DeleteFile(const std::string&) override {}
    void RemoveIfExists(const std::string&) noexcept override {}
    bool DirectoryExists(const std::string&) override { return true; }
    void CreateDirectory(const std::string&) override {}
    void RemoveFolderIfEmpty(const std::string&) noexcept override {}

private:
    FoundKeys& m_privateKeys;
};

// The decoder Updater uses, noting whether any name needed it for bytes above 127.
class WatchingDecoder final : public unzip::NameDecoder {
public:
    std::string ToUtf8(std::string_view raw) const override {
        for (const char c : raw) {
            if (static_cast<unsigned char>(c) >= 0x80) m_codePage = true;
        }
        return unzip::SystemNameDecoder().ToUtf8(raw);
    }
    bool CodePageUsed() const { return m_codePage; }

private:
    mutable bool m_codePage = false;
};

// What the operator can do about a compression method Updater does not read, for the methods
// other archivers offer (Windows Explorer writes Deflate64 for folders over 2 GB).
std::string MethodAdvice(const unzip::Result& refused) {
    if (refused.code != unzip::Refusal::UnsupportedMethod) return refused.reason;
    static constexpr struct {
        std::string_view number, name;
    } kKnown[] = {{"(9)", "Deflate64"}, {"(12)", "bzip2"}, {"(14)", "LZMA"}};
    for (const auto& m : kKnown) {
        if (refused.reason.ends_with(m.number)) {
            return refused.reason + ": es " + std::string(m.name) +
                   ", que Updater no descomprime; cree el parche con «parchear crear» o comprímalo con Deflate normal "
                   "en su programa de zip";
        }
    }
    return refused.reason;
}

}  // namespace

ArchiveCheck CheckArchive(core::FileSystem& fs, const std::string& path) {
    ArchiveCheck check;
    try {
        if (!fs.FileExists(path)) {
            check.reason = "no existe";
            return check;
        }
        check.bytes = fs.FileSize(path);
        if (check.bytes > kMaxArchiveBytes) {
            check.reason = "ocupa 2 GiB o más y Updater no puede descargarlo (lee el tamaño como un número de 32 bits)";
            return check;
        }
        WatchingDecoder decoder;
        const unzip::Limits limits;
        {
            const auto file = fs.OpenRead(path);
            const unzip::DirectoryRead read = unzip::ReadArchiveDirectory(*file, decoder, limits);
            if (!read.result.ok) {
                check.reason = MethodAdvice(read.result);
                return check;
            }
            check.entries = read.dir.entries.size();
            for (const unzip::Entry& e : read.dir.entries) check.contentBytes += e.size;
        }
        FoundKeys found;
        ReadOnlyFileSystem readOnly(fs, found);
        const unzip::Result outcome = unzip::ExtractArchive(path, std::string(kTarget), readOnly, decoder, limits);
        if (!outcome.ok) {
            check.reason = outcome.reason;
            return check;
        }
        check.codePageNames = decoder.CodePageUsed();
        std::sort(found.entries.begin(), found.entries.end());
        check.privateKeys = std::move(found.entries);
        check.ok = true;
    } catch (const core::RuntimeError& e) {
        check.reason = std::string("no se pudo leer (") + e.what() + ")";
    }
    return check;
}

}  // namespace parchear
