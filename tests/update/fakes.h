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
#include "tests/support/temp_dir.h"
#include "updater/update/platform.h"
#include "updater/update/update_run.h"

namespace fakes {

struct ConsoleLine {
    std::string text;
    std::uint32_t color = 0;
    bool bold = false;
    bool italic = false;
    update::Alignment alignment = update::Alignment::Left;
};

// A rich-text box that keeps its lines with their formatting; lengths count code points.
class Console final : public update::RichTextBox {
public:
    std::size_t TextLength() override;
    void ClearText() override;
    void SetSelection(std::size_t start, std::size_t length) override;
    void SetSelBold(bool bold) override { m_pending.bold = bold; }
    void SetSelItalic(bool italic) override { m_pending.italic = italic; }
    void SetSelColor(std::uint32_t color) override { m_pending.color = color; }
    void SetSelAlignment(update::Alignment a) override { m_pending.alignment = a; }
    void SetSelText(const std::string& text) override;
    void Refresh() override { ++refreshes; }

    std::vector<std::string> Texts() const;
    std::vector<ConsoleLine> lines;  // lines since the last clear
    std::vector<ConsoleLine> all;    // every line ever appended
    std::string text;
    int clears = 0;
    int refreshes = 0;
    std::size_t lastSelStart = 0;

private:
    ConsoleLine m_pending;
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

// Thrown by Dialogs::EndProgram so that a test can see the program end.
struct ProgramEnded {
    int exitCode;
};

class Dialogs final : public update::Dialogs {
public:
    struct Box {
        std::string text, caption;
        unsigned style;
    };
    void ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) override {
        boxes.push_back({text, caption, static_cast<unsigned>(style)});
    }
    [[noreturn]] void EndProgram(int exitCode) override { throw ProgramEnded{exitCode}; }
    std::vector<Box> boxes;
};

class Sound final : public update::Sound {
public:
    void PlayFileSync(const std::string& path) override { played.push_back(path); }
    std::vector<std::string> played;
};

class Sleeper final : public update::Sleeper {
public:
    void SleepMs(unsigned ms) override { total += ms; }
    unsigned total = 0;
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

// A scripted HTTP server: per URL a status, a Content-Length text (or none), the body in
// chunks, and how the body ends.
struct Script {
    bool openFails = false;
    std::string openFailure = "no se pudo conectar con el servidor";
    int status = 200;
    std::optional<std::string> contentLength;  // nothing: header absent
    std::vector<std::string> chunks;
    update::ReadStatus ending = update::ReadStatus::End;
};

Script Body(const std::string& body, std::size_t chunk = 1024);

class Http final : public update::HttpClient {
public:
    update::OpenResult Open(const std::string& url) override;
    std::map<std::string, Script> scripts;  // unknown URLs fail to open
    std::vector<std::string> opened;
    std::vector<std::size_t> readSizes;
    int liveResponses = 0;
};

// Extraction stand-in: records each call, optionally failing for one archive.
class Extractor final : public update::Extractor {
public:
    explicit Extractor(core::FileSystem& fs) : m_fs(fs) {}
    core::Outcome Extract(const std::string& archive, const std::string& folder) override;
    struct Call {
        std::string archive, folder, content;
    };
    std::vector<Call> calls;
    std::string failFor;  // archive path that fails
private:
    core::FileSystem& m_fs;
};

// A whole fake platform over a real temporary installation folder.
class Installation {
public:
    Installation();
    ~Installation();
    std::string Path(const std::string& relative) const;  // relative with '/' separators
    void WriteFile(const std::string& relative, const std::string& content) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

private:
    testsupport::TempDir m_dir{"vandrel-inst"};

public:
    std::string root;
    Console console;
    Progress progress;
    Pump pump;
    Dialogs dialogs;
    Sound sound;
    Sleeper sleeper;
    Launcher launcher;
    Http http;
    std::unique_ptr<update::Platform> platform;
};

inline constexpr const char* kBase = "https://localhost:8443/";

}  // namespace fakes
