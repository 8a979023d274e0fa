#include "tools/parchear/patch_plan.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "core/composed.h"
#include "tools/parchear/zip_writer.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_directory.h"

namespace parchear {

bool SameContent(core::FileSystem& fs, const std::string& a, const std::string& b) {
    const auto ra = fs.OpenRead(a);
    const auto rb = fs.OpenRead(b);
    if (ra->Size() != rb->Size()) return false;
    constexpr std::size_t kChunk = 1u << 20;
    std::vector<char> ba(kChunk), bb(kChunk);
    for (std::uint64_t at = 0;;) {
        const std::size_t na = ra->ReadAt(at, ba.data(), kChunk);
        const std::size_t nb = rb->ReadAt(at, bb.data(), kChunk);
        if (na != nb || !std::equal(ba.begin(), ba.begin() + static_cast<std::ptrdiff_t>(na), bb.begin())) return false;
        if (na < kChunk) return true;
        at += na;
    }
}

namespace {

// Two names Windows takes for one file: by case, or by the same letters composed and decomposed.
std::string SameFileText(const std::string& a, const std::string& b) {
    const bool composition = core::ComposedUtf8(a) != a || core::ComposedUtf8(b) != b;
    return Quoted(a) + " y " + Quoted(b) +
           (composition ? " son el mismo nombre con los acentos escritos de dos formas (compuesta y descompuesta)"
                        : " solo se distinguen por mayúsculas") +
           ": en Windows son el mismo archivo y uno sobrescribiría al otro";
}

}  // namespace

Plan MakePlan(core::FileSystem& fs, const std::string& oldRoot, const Scan& oldScan, const std::string& newRoot,
              const Scan& newScan, Console& console) {
    Plan plan;
    std::map<std::string, const Item*> old;
    for (const Item& i : oldScan.items) old.emplace(i.path, &i);
    std::map<std::string, std::string> byFolded;  // names as Windows compares them
    const unzip::Limits limits;

    std::uint64_t toCompare = 0;
    for (const Item& i : newScan.items) {
        const auto it = old.find(i.path);
        if (!i.folder && it != old.end() && !it->second->folder && it->second->size == i.size) toCompare += i.size;
    }
    Progress progress(console.out, "Comparando contenidos", toCompare, 64u << 20);

    for (const Item& item : newScan.items) {
        const auto [at, fresh] = byFolded.emplace(unzip::NameKey(item.path), item.path);
        if (!fresh && unzip::SameName(at->second, item.path))
            plan.problems.push_back(SameFileText(at->second, item.path));
        const auto it = old.find(item.path);
        const Item* before = it == old.end() ? nullptr : it->second;
        if (before != nullptr && before->folder != item.folder) {
            plan.problems.push_back(
                Quoted(item.path) +
                (item.folder ? " era un archivo y ahora es una carpeta" : " era una carpeta y ahora es un archivo") +
                ": un parche no puede cambiarlo (no borra nada)");
            continue;
        }
        ChangeKind kind;
        if (item.folder) {
            if (before != nullptr) continue;
            kind = ChangeKind::NewFolder;
        } else if (before == nullptr) {
            kind = ChangeKind::Added;
        } else {
            if (before->size == item.size) {
                const bool same = SameContent(fs, oldRoot + "/" + item.path, newRoot + "/" + item.path);
                progress.Advance(item.size);
                if (same) continue;
            }
            kind = ChangeKind::Changed;
        }
        const unzip::CheckedName name = unzip::CheckEntryName(item.path);
        if (!name.reason.empty()) {
            plan.problems.push_back(Quoted(item.path) + ": Updater no acepta este nombre (" + name.reason + ")");
            continue;
        }
        if (item.size > kMaxFileBytes) {
            plan.problems.push_back(Quoted(item.path) +
                                    " ocupa 4 GiB o más; los parches no admiten archivos tan grandes");
            continue;
        }
        plan.packBytes += item.size;
        plan.pack.push_back({item, kind});
    }

    std::map<std::string, bool> now;
    for (const Item& i : newScan.items) now.emplace(i.path, true);
    for (const Item& i : oldScan.items) {
        if (now.count(i.path) == 0) plan.deleted.push_back(i);
    }

    if (plan.pack.size() > limits.maxEntries) {
        plan.problems.push_back("el parche tendría " + std::to_string(plan.pack.size()) +
                                " entradas y Updater admite como mucho " + std::to_string(limits.maxEntries));
    }
    if (plan.packBytes > limits.maxTotalSize) {
        plan.problems.push_back("el contenido del parche ocuparía más de " + std::to_string(limits.maxTotalSize >> 20) +
                                " MiB, lo más que Updater descomprime de una vez: repártalo en varios parches");
    }
    return plan;
}

}  // namespace parchear
