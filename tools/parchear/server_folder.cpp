#include "tools/parchear/server_folder.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "tools/parchear/archive_check.h"
#include "tools/parchear/content_checks.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/patch_plan.h"
#include "tools/parchear/server_permissions.h"
#include "tools/parchear/server_target.h"
#include "tools/parchear/signing.h"
#include "tools/parchear/state_check.h"
#include "updater/update/remote_text.h"

namespace parchear {
namespace {

constexpr std::size_t kVersionReadBytes = 4096;
// A patch folder holds at most 999 archives and version.txt; far more names is no patch folder.
constexpr std::size_t kMaxPatchesFolderNames = 100000;

// The file served as a static web server would: 200 with the body, or 404 when missing.
class FileResponse final : public update::HttpResponse {
public:
    explicit FileResponse(std::string body, int status) : m_body(std::move(body)), m_status(status) {}
    int StatusCode() override { return m_status; }
    std::optional<std::string> ContentLengthText() override { return std::to_string(m_body.size()); }
    update::ReadResult Read(void* buffer, std::size_t size) override {
        const std::size_t n = std::min(size, m_body.size() - m_at);
        std::copy_n(m_body.data() + m_at, n, static_cast<char*>(buffer));
        m_at += n;
        return {n == 0 ? update::ReadStatus::End : update::ReadStatus::Data, n, 0};
    }

private:
    std::string m_body;
    int m_status;
    std::size_t m_at = 0;
};

class OneFileClient final : public update::HttpClient {
public:
    OneFileClient(std::string body, bool present) : m_body(std::move(body)), m_present(present) {}
    update::OpenResult Open(const std::string&) override {
        return update::OpenResult::Success(std::make_unique<FileResponse>(m_body, m_present ? 200 : 404));
    }

private:
    std::string m_body;
    bool m_present;
};

std::string Head(core::FileSystem& fs, const std::string& path) {
    const auto reader = fs.OpenRead(path);
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(reader->Size(), kVersionReadBytes)), '\0');
    text.resize(reader->ReadAt(0, text.data(), text.size()));
    return text;
}

std::string Shown(const std::string& text) { return Quoted(text.substr(0, 40)); }

// The first line without its end (LF or CR LF).
std::string_view FirstLine(std::string_view text) {
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r')) text.remove_suffix(1);
    return text;
}

// The server folder must exist; its parches folder is made when missing.
void RequireServer(core::FileSystem& fs, const std::string& server) { RequireServerFolder(fs, server); }

}  // namespace

void CopyAtomically(core::FileSystem& fs, const std::string& from, const std::string& to) {
    const std::string temp = core::TemporaryNameFor(to);
    try {
        const auto in = fs.OpenRead(from);
        auto out = fs.CreateFile(temp);
        std::vector<char> buffer(1u << 20);
        std::uint64_t at = 0;
        for (;;) {
            const std::size_t n = in->ReadAt(at, buffer.data(), buffer.size());
            out->Write(buffer.data(), n);
            at += n;
            if (n < buffer.size()) break;
        }
        out->Commit();
        out.reset();
        if (at != in->Size()) throw Refusal(Quoted(from) + " cambió mientras se copiaba");
        fs.Replace(temp, to);
    } catch (...) {
        fs.RemoveIfExists(temp);
        throw;
    }
}

void WriteServerText(core::FileSystem& fs, const std::string& path, std::string_view text) {
    core::WriteFileAtomically(fs, path, text);
}

FolderContents ListPatchesFolder(core::FileSystem& fs, const std::string& server) {
    FolderContents contents;
    if (!fs.DirectoryExists(PatchesFolder(server))) return contents;
    for (const core::DirectoryEntry& entry : fs.ListDirectory(PatchesFolder(server), kMaxPatchesFolderNames)) {
        const std::string& name = entry.name;
        if (name.size() > core::kNewVersionSuffix.size() && name.ends_with(core::kNewVersionSuffix)) {
            contents.temporaries.push_back(name);
            continue;
        }
        if (!name.ends_with(".zip") || name.size() > 7 || name[0] < '1' || name[0] > '9') continue;
        const std::string digits = name.substr(0, name.size() - 4);
        if (digits.find_first_not_of("0123456789") == std::string::npos) contents.archives.push_back(std::stoi(digits));
    }
    std::sort(contents.archives.begin(), contents.archives.end());
    std::sort(contents.temporaries.begin(), contents.temporaries.end());
    return contents;
}

std::string PatchesFolder(const std::string& server) { return server + "/parches"; }
std::string VersionPath(const std::string& server) { return PatchesFolder(server) + "/version.txt"; }
std::string StatePath(const std::string& server) { return PatchesFolder(server) + "/estado.txt"; }
std::string ArchivePath(const std::string& server, int n) {
    std::string path = PatchesFolder(server);
    path += "/";
    path += core::DecimalText(n);
    path += ".zip";
    return path;
}

CountRead ReadCount(core::FileSystem& fs, const std::string& server) {
    CountRead read;
    const std::string path = VersionPath(server);
    if (!fs.FileExists(path)) return read;
    read.present = true;
    const std::string text = Head(fs, path);
    OneFileClient http(text, true);
    update::CountFetch fetch;
    try {
        fetch = update::FetchCount(http, "version.txt");
    } catch (const core::RuntimeError&) {
        read.reason = "version.txt empieza por " + Shown(text) + ", un número fuera del rango que Updater admite";
        return read;
    }
    if (!fetch.ok) {
        read.reason = "Updater no encuentra un número en los tres primeros bytes de version.txt " + Shown(text) + " (" +
                      fetch.reason + ")";
        return read;
    }
    read.count = fetch.value;
    const core::LeadingNumber head = core::ScanLeadingNumber(text.substr(0, update::kCountReadBytes));
    core::LeadingNumber whole{};
    try {
        whole = core::ScanLeadingNumber(text);
    } catch (const core::RuntimeError&) {
        whole = {};
    }
    if (fetch.value < 0) {
        read.reason = "version.txt dice " + Shown(text) + ": un número de parches negativo";
    } else if (fetch.value > kMaxCount) {
        read.reason = "version.txt dice " + Shown(text) + ", que Updater lee como " + core::DecimalText(fetch.value) +
                      ": más de los 999 parches que caben en tres cifras";
    } else if (head.value != std::floor(head.value)) {
        read.reason = "version.txt dice " + Shown(text) + ", que no es un número entero (Updater lo toma como " +
                      core::DecimalText(fetch.value) + ")";
    } else if (!whole.found || whole.value != head.value) {
        read.reason = "version.txt dice " + Shown(text) +
                      ", pero Updater solo lee sus tres primeros bytes y entiende " + core::DecimalText(fetch.value);
    } else if (!core::ParseDigits(FirstLine(text), update::kCountReadBytes)) {
        read.reason = "version.txt dice " + Shown(text) + ", que Updater lee como " + core::DecimalText(fetch.value) +
                      ", pero la primera línea debe ser el número escrito solo con cifras («" +
                      core::DecimalText(fetch.value) + "»)";
    } else {
        read.ok = true;
    }
    return read;
}

std::vector<std::string> Comprobar(core::FileSystem& fs, const std::string& server, Console& console,
                                   const std::vector<std::string>& trustedKeys) {
    RequireServer(fs, server);
    std::vector<core::crypto::PublicPoint> trusted;
    for (const std::string& k : trustedKeys) {
        const auto point = update::ParsePublicKey(k);
        if (!point) throw Refusal(Quoted(k) + " no es una clave pública (base64 de 65 bytes)");
        trusted.push_back(*point);
    }
    std::vector<std::string> problems;
    const CountRead count = ReadCount(fs, server);
    const FolderContents contents = ListPatchesFolder(fs, server);
    for (const std::string& t : contents.temporaries) {
        console.err << "Aviso: queda " << PatchesFolder(server) << "/" << t
                    << " de una publicación interrumpida; «parchear restaurar» lo borra." << std::endl;
    }
    problems = UnreadableByWebServer(server, contents.archives);
    if (!count.present) {
        problems.push_back("falta " + VersionPath(server) +
                           ": Updater mostrará «No se pudo conectar con el servidor de actualizaciones.»");
        return problems;
    }
    if (!count.ok) problems.push_back(count.reason);
    if ((!count.ok && count.count <= 0) || count.count < 0 || count.count > kMaxCount) return problems;
    const std::vector<std::string> listProblems = CheckSignedList(fs, server, count.count, trusted, console);
    problems.insert(problems.end(), listProblems.begin(), listProblems.end());
    const std::vector<std::string> stateProblems = CheckServedState(fs, server, trusted, console);
    problems.insert(problems.end(), stateProblems.begin(), stateProblems.end());
    const int last = count.count;
    console.out << "version.txt: " << count.count << " parches." << std::endl;
    Progress progress(console.out, "Comprobando parches", static_cast<std::uint64_t>(last), 20);
    for (int n = 1; n <= last; ++n) {
        const std::string path = ArchivePath(server, n);
        const ArchiveCheck check = CheckArchive(fs, path);
        if (!check.ok) problems.push_back(path + ": " + check.reason);
        if (!check.privateKeys.empty())
            problems.push_back(path + ": " + PrivateKeysText(check.privateKeys) +
                               "; si ya se sirvió, trátela como robada");
        progress.Advance(1);
    }
    for (int n : contents.archives) {
        if (n <= last) continue;
        if (n == last + 1) {
            console.err << "Aviso: existe " << ArchivePath(server, n)
                        << ", que version.txt aún no anuncia (¿una publicación a medias? repítala con «parchear "
                           "publicar»)."
                        << std::endl;
        } else {
            problems.push_back(ArchivePath(server, n) +
                               " está en el servidor pero version.txt no lo anuncia (¿se perdió version.txt?)");
        }
    }
    return problems;
}

}  // namespace parchear
