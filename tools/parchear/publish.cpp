#include "tools/parchear/publish.h"

#include <algorithm>

#include "core/numeric.h"
#include "tools/parchear/archive_check.h"
#include "tools/parchear/content_checks.h"
#include "tools/parchear/install_state.h"
#include "tools/parchear/record.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/server_target.h"
#include "tools/parchear/session.h"
#include "tools/parchear/signing.h"

namespace parchear {
namespace {

// Each key once (a key given twice signs once), at most as many as a list carries.
std::vector<core::crypto::KeyPair> Distinct(const std::vector<core::crypto::KeyPair>& keys) {
    std::vector<core::crypto::KeyPair> distinct;
    for (const auto& k : keys) {
        if (std::none_of(distinct.begin(), distinct.end(), [&](const auto& d) { return d.point == k.point; }))
            distinct.push_back(k);
    }
    if (distinct.size() > 16) throw Refusal("una lista lleva como mucho 16 firmas; indique menos claves");
    return distinct;
}

std::string Ids(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) text += (text.empty() ? "" : ", ") + id;
    return text;
}

// The keys the record keeps after a signature by keys: those of the first signed list; later,
// at least one of them must sign again, and keys given beside a known one join.
std::vector<std::string> NextKeyIds(const RecordState& state, const std::vector<core::crypto::KeyPair>& keys,
                                    Console& console) {
    std::vector<std::string> ids;
    for (const auto& k : keys) ids.push_back(update::KeyId(k.point));
    std::sort(ids.begin(), ids.end());
    if (state.keyIds.empty()) return ids;
    const auto known = [&](const std::string& id) {
        return std::find(state.keyIds.begin(), state.keyIds.end(), id) != state.keyIds.end();
    };
    if (std::none_of(ids.begin(), ids.end(), known)) {
        throw Refusal("ninguna de las claves indicadas (" + Ids(ids) + ") firmó la lista publicada (" +
                      Ids(state.keyIds) +
                      "); los Updater que los jugadores tienen solo conocen aquellas y rechazarían esta lista. "
                      "Para cambiar de clave, firme a la vez con una conocida y con la nueva");
    }
    for (const std::string& id : ids) {
        if (!known(id)) console.out << "Clave nueva en el registro: " << id << "." << std::endl;
    }
    for (const std::string& id : state.keyIds) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
            console.err << "Aviso: la clave " << id
                        << " firmó la lista anterior y esta no; los Updater que solo conocen esa clave rechazarán "
                           "la lista y no actualizarán."
                        << std::endl;
        }
    }
    return ids;
}

std::int64_t SerieAfter(std::int64_t last) {
    const std::int64_t serie = NextSerie(last);
    if (serie > update::kMaxSerie) {
        throw Refusal("la serie del registro (" + core::DecimalText(last) +
                      ") ya no deja escribir otra mayor dentro de las 18 cifras que lee Updater");
    }
    return serie;
}

// version.txt for next: the plain count, or the list signed by every key, read back with
// Updater's own parser before anything is written.
std::string ListText(RecordState& next, const std::vector<core::crypto::KeyPair>& keys) {
    std::string text = core::DecimalText(next.Count());
    if (!keys.empty()) {
        text = update::FormatListBody(next.serie, next.patches);
        const std::string body = text;
        for (const auto& key : keys) text += update::FormatSignatureLine(key.point, core::crypto::SignP256(key, body));
        const auto back = update::ParseSignedList(text);
        bool good = back && back->serie == next.serie && back->count == next.Count();
        for (const auto& key : keys) good = good && update::SignedByAny(*back, {key.point});
        if (!good) throw Refusal("Updater no leería la lista firmada que se iba a escribir; no se cambió nada");
    }
    next.list = DescribeText(text);
    return text;
}

// The installation after the record's patches: the estado.txt it keeps, or, for a record made
// before it kept one, its archives replayed in order.
StateBuilder RecordedState(core::FileSystem& fs, const std::string& record, const RecordState& state) {
    if (state.state) {
        const std::string path = RecordStateFile(record);
        RequireIntactCopy(fs, path, *state.state, "calcular el estado");
        const update::StateRead read = update::ParseState(fs.ReadFile(path, update::kMaxStateBytes));
        if (!read.ok || read.value.version != state.Count()) {
            throw Refusal(path +
                          " no es el estado de lo publicado: el registro está dañado. Recupérelo de una "
                          "copia de seguridad");
        }
        return StateBuilder(read.value.lines);
    }
    StateBuilder builder;
    for (int n = 1; n <= state.Count(); ++n) {
        const std::string copy = RecordArchive(record, n);
        RequireIntactCopy(fs, copy, state.patches[static_cast<std::size_t>(n - 1)], "calcular el estado");
        builder.Apply(fs, copy, n);
    }
    return builder;
}

// estado.txt for next, whose signed list is listText; next notes it.
std::string StateText(RecordState& next, const StateBuilder& builder, const std::vector<core::crypto::KeyPair>& keys,
                      const std::string& listText) {
    const std::string text =
        SignedStateText(FormatStateBody(next.serie, next.Count(), builder.Lines()), keys, listText);
    next.state = DescribeText(text);
    return text;
}

// firmar and estado: the record's publication under a new serie, with its state.
void SignAgain(core::FileSystem& fs, const std::string& server, const std::string& record,
               const std::vector<core::crypto::KeyPair>& given, Console& console, bool onlyWithoutState) {
    const std::vector<core::crypto::KeyPair> keys = Distinct(given);
    Session session(fs, server, record, console, Session::Start::Existing);
    session.RequireServerMatches();
    const RecordState& state = session.State();
    if (!state.list) throw Refusal("este registro aún no ha publicado nada; no hay lista que firmar");
    if (onlyWithoutState && state.state) {
        throw Refusal(StatePath(server) +
                      " ya se publica (cada publicación firmada lo escribe); para firmar de nuevo use «parchear "
                      "firmar»");
    }
    RecordState next = state;
    next.keyIds = NextKeyIds(state, keys, console);
    next.serie = SerieAfter(state.serie);
    if (!state.state)
        console.out << "Calculando el estado desde los " << state.Count() << " parches del registro..." << std::endl;
    const StateBuilder builder = RecordedState(fs, record, state);
    const std::string text = ListText(next, keys);
    const std::string stateText = StateText(next, builder, keys, text);
    session.Apply({next, text, "", stateText});
    if (onlyWithoutState) {
        console.out << "estado.txt publicado: " << builder.Lines().size() << " rutas de " << next.Count()
                    << " parches, serie " << next.serie << "." << std::endl;
    }
    console.out << "version.txt firmado: " << next.Count() << " parches, serie " << next.serie << ", " << keys.size()
                << (keys.size() == 1 ? " firma." : " firmas.") << std::endl;
}

}  // namespace

int Publicar(core::FileSystem& fs, const std::string& archive, const std::string& server, const std::string& record,
             Console& console, const PublishOptions& options) {
    if (!fs.FileExists(archive)) throw Refusal("no existe el archivo " + Quoted(archive));
    RequireServerFolder(fs, server);
    const std::vector<core::crypto::KeyPair> keys = Distinct(LoadKeys(fs, options.keyFiles));

    console.out << "Comprobando " << archive << "..." << std::endl;
    const ArchiveCheck check = CheckArchive(fs, archive);
    if (!check.ok)
        throw Refusal(Quoted(archive) + " no se puede publicar: Updater lo rechazaría (" + check.reason + ")");
    if (!check.privateKeys.empty())
        throw Refusal(Quoted(archive) + " no se puede publicar: " + PrivateKeysText(check.privateKeys));
    if (check.entries == 0)
        console.err << "Aviso: el archivo no contiene nada; el parche no cambiará nada." << std::endl;
    if (check.codePageNames) {
        console.err
            << "Aviso: algunos nombres no llevan la marca UTF-8; cada jugador los leerá con la página de códigos "
               "de su Windows y pueden salir con otras letras."
            << std::endl;
    }

    Session session(fs, server, record, console, Session::Start::CreateIfEmpty);
    session.RequireServerMatches();
    const RecordState& state = session.State();
    if (keys.empty() && !state.keyIds.empty()) {
        throw Refusal(
            "el servidor publica una lista firmada; sin --clave los Updater con claves dejarían de "
            "actualizar. Indique la clave con --clave");
    }
    const update::ListedPatch candidate = Describe(fs, archive);
    if (candidate.size > update::kMaxArchiveBytes) {
        throw Refusal(Quoted(archive) + " pasa de " + core::DecimalText(update::kMaxArchiveBytes) +
                      " bytes, el mayor parche que Updater descarga");
    }
    for (int n = 1; !options.newSeries && n <= state.Count(); ++n) {
        const update::ListedPatch& p = state.patches[static_cast<std::size_t>(n - 1)];
        if (p.size == candidate.size && p.sha256 == candidate.sha256)
            throw Refusal(Quoted(archive) + " es idéntico al parche " + core::DecimalText(n) + ", ya publicado");
    }
    const int next = (options.newSeries ? 0 : state.Count()) + 1;
    if (next > kMaxCount) {
        throw Refusal("el servidor ya tiene " + core::DecimalText(state.Count()) +
                      " parches; version.txt solo se lee en tres bytes, así que no caben más de 999");
    }
    const std::vector<std::string> keyIds = keys.empty() ? state.keyIds : NextKeyIds(state, keys, console);

    if (options.newSeries && state.list) {
        // Announce nothing before the old archives go, so that no Updater asks for a missing one.
        RecordState empty;
        empty.keyIds = keyIds;
        empty.serie = keys.empty() ? state.serie : SerieAfter(state.serie);
        const std::string text = ListText(empty, keys);
        const std::string stateText = keys.empty() ? std::string() : StateText(empty, StateBuilder(), keys, text);
        const int dropped = state.Count();
        session.Apply({empty, text, "", stateText});
        console.out << "Serie nueva: borrados " << dropped << " parches anteriores." << std::endl;
    }
    RecordState published = session.State();
    published.patches.push_back(candidate);
    published.keyIds = keyIds;
    if (!keys.empty()) published.serie = SerieAfter(published.serie);
    const std::string text = ListText(published, keys);
    std::string stateText;
    if (!keys.empty()) {
        StateBuilder builder = RecordedState(fs, record, session.State());
        builder.Apply(fs, archive, next);
        stateText = StateText(published, builder, keys, text);
    }
    session.Apply({published, text, archive, stateText});
    console.out << "Copiado como " << ArchivePath(server, next) << " (" << check.bytes << " bytes)." << std::endl;
    console.out << "version.txt dice ahora " << next << (keys.empty() ? "" : " (lista firmada)")
                << ". Los jugadores instalarán el parche " << next << " la próxima vez que abran Updater." << std::endl;
    return next;
}

void Firmar(core::FileSystem& fs, const std::string& server, const std::string& record,
            const std::vector<core::crypto::KeyPair>& keys, Console& console) {
    SignAgain(fs, server, record, keys, console, false);
}

void Estado(core::FileSystem& fs, const std::string& server, const std::string& record,
            const std::vector<core::crypto::KeyPair>& keys, Console& console) {
    SignAgain(fs, server, record, keys, console, true);
}

}  // namespace parchear
