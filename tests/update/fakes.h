// Recording fakes of Updater's platform seams for the native tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_dir.h"
#include "updater/update/download.h"
#include "updater/update/http_client.h"
#include "updater/update/platform.h"
#include "updater/update/update_run.h"
#include "updater/window/console_document.h"

namespace fakes {

// The console's real document, with the lines it held before each clear kept for the tests.
class Console final : public update::RichTextBox {
public:
    std::size_t TextLength() override { return m_document.TextLength(); }
    void ClearText() override;
    // The console only ever inserts: a selection of length 0.
    void SetSelection(std::size_t start, std::size_t length) override;
    void SetSelBold(bool bold) override { m_document.SetSelBold(bold); }
    void SetSelItalic(bool italic) override { m_document.SetSelItalic(italic); }
    void SetSelColor(std::uint32_t color) override { m_document.SetSelColor(color); }
    void SetSelAlignment(update::Alignment a) override { m_document.SetSelAlignment(a); }
    void SetSelText(const std::string& text) override { m_document.SetSelText(text); }
    void Refresh() override { m_document.Refresh(); }

    const window::ConsoleDocument& Document() const { return m_document; }
    // Every line shown since the start, the cleared ones first.
    std::vector<window::ConsoleLine> All() const;
    // Their texts, UTF-8.
    std::vector<std::string> Texts() const;
    int clears = 0;

private:
    window::ConsoleDocument m_document;
    std::vector<window::ConsoleLine> m_cleared;
};

struct ProgressEvent {
    enum Kind { Caption, Width, Visible } kind;
    std::string caption;
    float width = 0;
    bool visible = false;
};

class Progress final : public update::ProgressView {
public:
    void SetCaption(const std::string& c) override { events.push_back({ProgressEvent::Caption, c, 0, false}); }
    void SetBarWidthTwips(float w) override { events.push_back({ProgressEvent::Width, {}, w, false}); }
    void SetBarVisible(bool v) override { events.push_back({ProgressEvent::Visible, {}, 0, v}); }
    std::vector<std::string> Captions() const;
    std::vector<float> Widths() const;
    std::vector<ProgressEvent> events;
};

class Pump final : public update::MessagePump {
public:
    void ProcessPending() override {
        ++calls;
        if (onPump) onPump();
    }
    int calls = 0;
    std::function<void()> onPump;
};

using Dialogs = testsupport::RecordingDialogs;

// Updater.log's events, kept in order.
class Log final : public update::Log {
public:
    void Write(std::string_view event) noexcept override { lines.emplace_back(event); }
    std::vector<std::string> lines;
};
using ProgramEnded = testsupport::ProgramEnded;

class Sound final : public update::Sound {
public:
    void PlayFileSync(const std::string& path) override { played.push_back(path); }
    std::vector<std::string> played;
};

// A clock that moves only when the fake sleeper sleeps.
class Clock final : public update::Clock {
public:
    std::uint64_t NowMs() override { return now; }
    std::uint64_t now = 1000;
};

// Sleeps no real time: the clock moves on by what was asked, plus oversleep (a busy machine).
class Sleeper final : public update::Sleeper {
public:
    explicit Sleeper(Clock& clock) : m_clock(clock) {}
    void SleepMs(unsigned ms) override {
        total += ms;
        m_clock.now += ms + oversleep;
    }
    unsigned total = 0;  // asked for
    unsigned oversleep = 0;

private:
    Clock& m_clock;
};

class Launcher final : public update::Launcher {
public:
    bool ShellOpen(const std::string& file, const std::string& params, const std::string& dir) override {
        calls.push_back({file, params, dir});
        return result;
    }
    struct Call {
        std::string file, params, dir;
    };
    std::vector<Call> calls;
    bool result = true;
};

// A scripted HTTP server: per URL a status, a Content-Length text (or none), other headers,
// the body in chunks, and how the body ends.
struct Script {
    bool openFails = false;
    bool openTransient = false;
    std::string openFailure = "no se pudo conectar con el servidor";
    int status = 200;
    std::optional<std::string> contentLength;  // nothing: header absent
    std::map<update::Header, std::string> headers;
    std::vector<std::string> chunks;
    update::ReadStatus ending = update::ReadStatus::End;
    // Fake time before the headers and chunk i (the last repeats); a call past its deadline times out.
    std::uint64_t openDelayMs = 0;
    std::vector<std::uint64_t> delaysMs;
};

Script Body(const std::string& body, std::size_t chunk = 1024);

class Http final : public update::HttpClient {
public:
    update::OpenResult Open(const std::string& url) override;
    // A URL with a server answers each request as it likes (it sees the range); otherwise the
    // URL's script answers, as a server that ignores Range.
    update::OpenResult OpenRange(const std::string& url, const update::RangeRequest& range) override;
    void SetDeadline(std::uint64_t atMs) override { deadline = atMs; }
    // Lets delayMs of the clock pass, or only up to the deadline (false).
    bool Pass(std::uint64_t delayMs);
    Clock* clock = nullptr;  // scripts with delays need one
    std::uint64_t deadline = 0;
    // A part request: recorded in parts, then answered as OpenRange from its first byte.
    update::OpenResult OpenPart(const std::string& url, std::uint64_t first, std::uint64_t last) override;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> parts;
    std::map<std::string, Script> scripts;  // unknown URLs fail to open
    std::map<std::string, std::function<Script(const update::RangeRequest&)>> servers;
    std::vector<std::string> opened;
    std::vector<update::RangeRequest> ranges;  // of every request, in order
    std::vector<std::size_t> readSizes;
    int liveResponses = 0;
};

// Extraction stand-in: records each call, optionally failing for one archive.
class Extractor final : public update::Extractor {
public:
    explicit Extractor(core::FileSystem& fs) : m_fs(fs) {}
    update::ExtractResult Extract(const std::string& archive, const std::string& folder) override;
    struct Call {
        std::string archive, folder, content;
    };
    std::vector<Call> calls;
    std::string failFor;  // archive path that fails
private:
    core::FileSystem& m_fs;
};

// A whole fake platform over a real temporary installation folder.
class FakePlatform {
public:
    FakePlatform();
    ~FakePlatform();
    std::string Path(const std::string& relative) const;  // relative with '/' separators
    void WriteFile(const std::string& relative, const std::string& content) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // The download's services over this platform; retry lines go to `retries`.
    update::DownloadServices Services();

private:
    testsupport::TempDir m_dir{"vandrel-inst"};

public:
    std::string root;
    Console console;
    Progress progress;
    Pump pump;
    Dialogs dialogs;
    Sound sound;
    Clock clock;
    Sleeper sleeper{clock};
    Launcher launcher;
    Http http;
    std::vector<std::string> retries;
    std::unique_ptr<update::Platform> platform;
};

inline constexpr const char* kBase = "https://localhost:8443/";

}  // namespace fakes
