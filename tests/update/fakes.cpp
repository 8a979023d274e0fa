#include "fakes.h"

#include "core/utf8.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace fakes {
namespace {

class ScriptedResponse final : public update::HttpResponse {
public:
    ScriptedResponse(const Script& s, Http& owner) : m_script(s), m_owner(owner) { ++m_owner.liveResponses; }
    ~ScriptedResponse() override { --m_owner.liveResponses; }
    int StatusCode() override { return m_script.status; }
    std::optional<std::string> ContentLengthText() override { return m_script.contentLength; }
    std::optional<std::string> HeaderText(update::Header which) override {
        const auto it = m_script.headers.find(which);
        if (it == m_script.headers.end()) return std::nullopt;
        return it->second;
    }
    update::ReadResult Read(void* buffer, std::size_t size) override {
        m_owner.readSizes.push_back(size);
        for (; m_next < m_script.chunks.size() && m_offset >= m_script.chunks[m_next].size(); m_offset = 0) ++m_next;
        if (m_offset == 0 && m_next < m_script.chunks.size() &&
            !m_owner.Pass(
                m_script.delaysMs.empty() ? 0 : m_script.delaysMs[std::min(m_next, m_script.delaysMs.size() - 1)]))
            return {update::ReadStatus::TimedOut, 0};
        while (m_next < m_script.chunks.size()) {
            const std::string& chunk = m_script.chunks[m_next];
            if (m_offset >= chunk.size()) {
                ++m_next;
                m_offset = 0;
                continue;
            }
            const std::size_t n = std::min(size, chunk.size() - m_offset);
            std::memcpy(buffer, chunk.data() + m_offset, n);
            m_offset += n;
            return {update::ReadStatus::Data, n};
        }
        return {m_script.ending, 0};
    }

private:
    Script m_script;
    Http& m_owner;
    std::size_t m_next = 0;
    std::size_t m_offset = 0;
};

}  // namespace

void Console::SetSelection(std::size_t start, std::size_t length) {
    EXPECT_EQ(length, 0u);
    m_document.SetSelection(start, length);
}

void Console::ClearText() {
    for (window::ConsoleLine& line : m_document.Lines()) m_cleared.push_back(std::move(line));
    m_document.ClearText();
    ++clears;
}

std::vector<window::ConsoleLine> Console::All() const {
    std::vector<window::ConsoleLine> all = m_cleared;
    for (window::ConsoleLine& line : m_document.Lines()) all.push_back(std::move(line));
    return all;
}

std::vector<std::string> Console::Texts() const {
    std::vector<std::string> out;
    for (const window::ConsoleLine& line : All()) out.push_back(core::Utf16ToUtf8(line.text));
    return out;
}

std::vector<std::string> Progress::Captions() const {
    std::vector<std::string> out;
    for (const auto& e : events) {
        if (e.kind == ProgressEvent::Caption) out.push_back(e.caption);
    }
    return out;
}

std::vector<float> Progress::Widths() const {
    std::vector<float> out;
    for (const auto& e : events) {
        if (e.kind == ProgressEvent::Width) out.push_back(e.width);
    }
    return out;
}

Script Body(const std::string& body, std::size_t chunk) {
    Script s;
    s.contentLength = std::to_string(body.size());
    for (std::size_t i = 0; i < body.size(); i += chunk) s.chunks.push_back(body.substr(i, chunk));
    return s;
}

update::OpenResult Http::Open(const std::string& url) { return OpenRange(url, {}); }

bool Http::Pass(std::uint64_t delayMs) {
    if (delayMs == 0) return true;
    const bool inTime = deadline == 0 || clock->now + delayMs < deadline;
    clock->now = inTime ? clock->now + delayMs : std::max(clock->now, deadline);
    return inTime;
}

update::OpenResult Http::OpenRange(const std::string& url, const update::RangeRequest& range) {
    opened.push_back(url);
    ranges.push_back(range);
    const auto server = servers.find(url);
    if (server != servers.end()) {
        const Script next = server->second(range);
        if (next.openFails)
            return update::OpenResult::Failure(
                next.openFailure, next.openTransient ? update::OpenFault::Transient : update::OpenFault::Lasting);
        return update::OpenResult::Success(std::make_unique<ScriptedResponse>(next, *this));
    }
    const auto it = scripts.find(url);
    if (it != scripts.end() && !Pass(it->second.openDelayMs))
        return update::OpenResult::Failure("el servidor no respondió a tiempo", update::OpenFault::Transient);
    if (it == scripts.end() || it->second.openFails) {
        return update::OpenResult::Failure(
            it == scripts.end() ? "no se pudo conectar con el servidor" : it->second.openFailure,
            it != scripts.end() && it->second.openTransient ? update::OpenFault::Transient
                                                            : update::OpenFault::Lasting);
    }
    return update::OpenResult::Success(std::make_unique<ScriptedResponse>(it->second, *this));
}

update::OpenResult Http::OpenPart(const std::string& url, std::uint64_t first, std::uint64_t last) {
    parts.emplace_back(first, last);
    update::RangeRequest range;
    range.from = first;
    return OpenRange(url, range);
}

update::ExtractResult Extractor::Extract(const std::string& archive, const std::string& folder) {
    calls.push_back({archive, folder, m_fs.ReadFile(archive, 1 << 20)});
    if (archive == failFor) return update::ExtractResult::Failure("el archivo está dañado");
    return update::ExtractResult::Success();
}

FakePlatform::FakePlatform() {
    root = m_dir.Path();
    std::filesystem::create_directories(m_dir.FsPath() / "Recursos" / "OUTPUT");
    http.clock = &clock;
    platform = std::make_unique<update::Platform>(update::Platform{core::RealFileSystem(), http, console, progress,
                                                                   pump, sound, sleeper, clock, launcher, root, '.'});
}

FakePlatform::~FakePlatform() = default;

std::string FakePlatform::Path(const std::string& relative) const { return root + "/" + relative; }

void FakePlatform::WriteFile(const std::string& relative, const std::string& content) const {
    std::ofstream(Path(relative), std::ios::binary) << content;
}

std::string FakePlatform::ReadFile(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

update::DownloadServices FakePlatform::Services() {
    return {platform->fs, http,  progress, pump,
            sleeper,      clock, '.',      [this](const std::string& line) { retries.push_back(line); }};
}

bool FakePlatform::Exists(const std::string& relative) const { return std::filesystem::exists(Path(relative)); }

}  // namespace fakes
