#include "tools/parchear/server_folder.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "tools/parchear/archive_check.h"
#include "tools/parchear/patch_plan.h"
#include "updater/update/remote_text.h"

namespace parchear {
namespace {

constexpr std::size_t kVersionReadBytes = 4096;

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
        return {std::make_unique<FileResponse>(m_body, m_present ? 200 : 404), {}};
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

// The server folder must exist; its parches folder is made when missing.
void RequireServer(core::FileSystem& fs, const std::string& server) {
    if (!fs.DirectoryExists(server)) throw Refusal("no existe la carpeta del servidor " + Quoted(server));
}

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

}  // namespace

std::string PatchesFolder(const std::string& server) { return server + "/parches"; }
std::string VersionPath(const std::string& server) { return PatchesFolder(server) + "/version.txt"; }
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
        read.problem = "version.txt empieza por " + Shown(text) + ", un número fuera del rango que Updater admite";
        return read;
    }
    if (!fetch.fetched) {
        read.problem = "Updater no encuentra un número en los tres primeros bytes de version.txt " + Shown(text) +
                       " (" + fetch.failure + ")";
        return read;
    }
    read.count = fetch.count;
    const core::LeadingNumber head = core::ScanLeadingNumber(text.substr(0, update::kCountReadBytes));
    core::LeadingNumber whole{};
    try {
        whole = core::ScanLeadingNumber(text);
    } catch (const core::RuntimeError&) {
        whole = {};
    }
    if (fetch.count < 0) {
        read.problem = "version.txt dice " + Shown(text) + ": un número de parches negativo";
    } else if (fetch.count > kMaxCount) {
        read.problem = "version.txt dice " + Shown(text) + ", que Updater lee como " + core::DecimalText(fetch.count) +
                       ": más de los 999 parches que caben en tres cifras";
    } else if (head.value != std::floor(head.value)) {
        read.problem = "version.txt dice " + Shown(text) + ", que no es un número entero (Updater lo toma como " +
                       core::DecimalText(fetch.count) + ")";
    } else if (!whole.found || whole.value != head.value) {
        read.problem = "version.txt dice " + Shown(text) +
                       ", pero Updater solo lee sus tres primeros bytes y entiende " + core::DecimalText(fetch.count);
    } else {
        read.ok = true;
    }
    return read;
}

int Publicar(core::FileSystem& fs, const std::string& archive, const std::string& server, Console& console) {
    if (!fs.FileExists(archive)) throw Refusal("no existe el archivo " + Quoted(archive));
    RequireServer(fs, server);

    console.out << "Comprobando " << archive << "..." << std::endl;
    const ArchiveCheck check = CheckArchive(fs, archive);
    if (!check.ok)
        throw Refusal(Quoted(archive) + " no se puede publicar: Updater lo rechazaría (" + check.reason + ")");
    if (check.entries == 0)
        console.err << "Aviso: el archivo no contiene nada; el parche no cambiará nada." << std::endl;
    if (check.codePageNames) {
        console.err
            << "Aviso: algunos nombres no llevan la marca UTF-8; cada jugador los leerá con la página de códigos "
               "de su Windows y pueden salir con otras letras."
            << std::endl;
    }

    const CountRead current = ReadCount(fs, server);
    if (current.present && !current.ok) throw Refusal(current.problem + "; corríjalo antes de publicar");
    const int next = current.count + 1;
    if (next > kMaxCount) {
        throw Refusal("el servidor ya tiene " + core::DecimalText(current.count) +
                      " parches; version.txt solo se lee en tres bytes, así que no caben más de 999");
    }
    for (int n = 1; n <= current.count; ++n) {
        if (!fs.FileExists(ArchivePath(server, n))) {
            console.err << "Aviso: falta " << ArchivePath(server, n)
                        << "; los jugadores que lo necesiten no podrán actualizar (vea «parchear comprobar»)."
                        << std::endl;
        }
    }

    fs.CreateDirectory(PatchesFolder(server));
    const std::string target = ArchivePath(server, next);
    if (fs.FileExists(target)) {
        if (!SameContent(fs, archive, target)) {
            throw Refusal(target +
                          " ya existe con otro contenido; no se sobrescribe un parche que algún jugador "
                          "puede haber descargado. Revise el servidor");
        }
        console.out << target << " ya estaba copiado con el mismo contenido." << std::endl;
    } else {
        CopyAtomically(fs, archive, target);
        console.out << "Copiado como " << target << " (" << check.bytes << " bytes)." << std::endl;
    }
    core::WriteFileAtomically(fs, VersionPath(server), core::DecimalText(next));
    console.out << "version.txt dice ahora " << next << ". Los jugadores instalarán el parche " << next
                << " la próxima vez que abran Updater." << std::endl;
    return next;
}

std::vector<std::string> Comprobar(core::FileSystem& fs, const std::string& server, Console& console) {
    RequireServer(fs, server);
    std::vector<std::string> problems;
    const CountRead count = ReadCount(fs, server);
    if (!count.present) {
        problems.push_back("falta " + VersionPath(server) +
                           ": Updater mostrará «No se pudo conectar con el servidor de actualizaciones.»");
        return problems;
    }
    if (!count.ok) problems.push_back(count.problem);
    if (count.count <= 0 || count.count > kMaxCount) return problems;
    const int last = count.count;
    console.out << "version.txt: " << count.count << " parches." << std::endl;
    Progress progress(console.out, "Comprobando parches", static_cast<std::uint64_t>(last), 20);
    for (int n = 1; n <= last; ++n) {
        const std::string path = ArchivePath(server, n);
        const ArchiveCheck check = CheckArchive(fs, path);
        if (!check.ok) problems.push_back(path + ": " + check.reason);
        progress.Advance(1);
    }
    if (fs.FileExists(ArchivePath(server, count.count + 1))) {
        console.err << "Aviso: existe " << ArchivePath(server, count.count + 1)
                    << ", que version.txt aún no anuncia (¿una publicación a medias? repítala con «parchear publicar»)."
                    << std::endl;
    }
    return problems;
}

}  // namespace parchear
