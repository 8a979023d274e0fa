// Instalador's run through a fake platform: which installers run in which order, when the
// registration and the presence check are asked, which messages show and how the program ends.
#include "instalador/selvane.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime_error.h"

namespace {

using namespace instalador;

constexpr const char* kFolder = R"(D:\Juego)";

// Thrown by the fake EndProgram: the program has ended with this status.
struct Ended {
    int code;
};

enum class Kind { Running, AlreadyEnded, NoHandle };

// The whole platform, recording what the run asks for in one ordered list.
class FakePlatform final : public Platform {
public:
    class FakeProcess final : public Process {
    public:
        FakeProcess(FakePlatform& platform, Kind kind) : m_platform(platform), m_kind(kind) {}
        bool HasEnded() override { return m_kind == Kind::AlreadyEnded; }
        void WaitForEnd() override { m_platform.events.push_back("wait"); }

    private:
        FakePlatform& m_platform;
        Kind m_kind;
    };

    std::unique_ptr<Process> StartHidden(const Command& c) override {
        events.push_back("start " + c.Line());
        if (missing && c.path.ends_with(*missing)) {
            if (untrusted) throw Untrusted{c.path};
            throw core::RuntimeError(missingKind, c.path);
        }
        if (processKind == Kind::NoHandle) return nullptr;
        return std::make_unique<FakeProcess>(*this, processKind);
    }
    bool RegistrarArchivo(const std::string& file) override {
        events.push_back("register " + file);
        return Next(registrations);
    }
    bool LibreriaRegistrada() override {
        events.push_back("present?");
        if (libraryRefused) throw Untrusted{R"(D:\Juego\Selvane.Network.dll)", *libraryRefused};
        return Next(presence);
    }
    void ShowMessage(std::string_view text, std::string_view caption, core::BoxStyle style) override {
        std::string e = "box ";
        e += std::to_string(static_cast<unsigned>(style));
        e += '|';
        e += caption;
        e += '|';
        e += text;
        events.push_back(e);
    }
    void EndProgram(int exitCode) override {
        events.push_back("end " + std::to_string(exitCode));
        throw Ended{exitCode};
    }
    bool EsWow64() override {
        events.push_back("wow64?");
        return wow64;
    }

    // Runs Main; the exit status whether it ended the program or returned.
    int Run() {
        try {
            const int code = m_Selvane::Main(*this, kFolder);
            events.push_back("return " + std::to_string(code));
            return code;
        } catch (const Ended& e) {
            return e.code;
        }
    }

    // Answers in order; false once the script runs out.
    std::deque<bool> registrations;
    std::deque<bool> presence;
    bool wow64 = false;
    Kind processKind = Kind::Running;
    std::optional<std::string> missing;  // file name whose start fails
    core::ErrorKind missingKind = core::ErrorKind::FileNotFound;
    bool untrusted = false;  // the failing start is a refused signature, not an error
    std::optional<Distrust> libraryRefused;
    std::vector<std::string> events;

private:
    static bool Next(std::deque<bool>& q) {
        if (q.empty()) return false;
        const bool v = q.front();
        q.pop_front();
        return v;
    }
};

std::string Start(const char* file, const char* switches) {
    std::string s = "start \"";
    s += kFolder;
    s += "\\dlls\\vcredist";
    s += file;
    s += "\" ";
    s += switches;
    return s;
}

// The events of generation g (1-based) up to its registration attempt, with waits.
std::vector<std::string> Generation(int g, bool wow64) {
    static const char* const files[] = {
        "2015_2017_2019_2022_x86.exe", "2013_x86.exe", "2012_x86.exe", "2010_x86.exe", "2008_x86.exe", "2005_x86.exe"};
    static const char* const switches[] = {
        "/passive /norestart", "/passive /norestart", "/passive /norestart", "/passive /norestart", "/qb", "/q"};
    std::vector<std::string> e{Start(files[g - 1], switches[g - 1]), "wait"};
    if (wow64) {
        std::string x64 = files[g - 1];
        x64.replace(x64.find("x86"), 3, "x64");
        e.push_back(Start(x64.c_str(), switches[g - 1]));
        e.push_back("wait");
    }
    e.push_back("register Selvane.Network.dll");
    return e;
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

const std::string kAlready = "box 0|Instalador|La libreria Selvane.Network, ya se encuentra registrada correctamente.";
const std::string kNow = "box 0|Instalador|La libreria Selvane.Network, ha sido registrada correctamente.";

TEST(Selvane, AlreadyRegisteredSaysSoAndRunsNothing) {
    FakePlatform w;
    w.presence = {true};
    w.wow64 = true;
    EXPECT_EQ(w.Run(), 0);
    EXPECT_EQ(w.events, (std::vector<std::string>{"present?", kAlready, "end 0"}));
}

TEST(Selvane, NoGenerationSucceedsAllInstallersRunAndTheEndIsSilent) {
    // Also the missing library: every registration attempt fails (with its own box, not here).
    for (const bool wow64 : {false, true}) {
        SCOPED_TRACE(wow64 ? "WOW64" : "32-bit Windows");
        FakePlatform w;
        w.wow64 = wow64;
        EXPECT_EQ(w.Run(), 1);
        std::vector<std::string> expected{"present?", "wow64?"};
        for (int g = 1; g <= 6; ++g) Append(expected, Generation(g, wow64));
        expected.push_back("return 1");
        EXPECT_EQ(w.events, expected);
        EXPECT_EQ(std::count_if(w.events.begin(), w.events.end(), [](auto& e) { return e.starts_with("start"); }),
                  wow64 ? 12 : 6);
    }
}

TEST(Selvane, SuccessAfterGenerationNStopsThere) {
    for (const bool wow64 : {false, true}) {
        for (int n = 1; n <= 6; ++n) {
            SCOPED_TRACE(std::to_string(n) + (wow64 ? " WOW64" : " 32-bit"));
            FakePlatform w;
            w.wow64 = wow64;
            w.registrations.assign(static_cast<std::size_t>(n - 1), false);
            w.registrations.push_back(true);
            w.presence = {false, true};
            EXPECT_EQ(w.Run(), 0);
            std::vector<std::string> expected{"present?", "wow64?"};
            for (int g = 1; g <= n; ++g) Append(expected, Generation(g, wow64));
            Append(expected, {"present?", kNow, "end 0"});
            EXPECT_EQ(w.events, expected);
        }
    }
}

TEST(Selvane, RegisteredButNotPresentGoesOnToTheNextGeneration) {
    FakePlatform w;
    w.registrations = {true, true};
    w.presence = {false, false, true};
    EXPECT_EQ(w.Run(), 0);
    std::vector<std::string> expected{"present?", "wow64?"};
    Append(expected, Generation(1, false));
    expected.push_back("present?");
    Append(expected, Generation(2, false));
    Append(expected, {"present?", kNow, "end 0"});
    EXPECT_EQ(w.events, expected);
}

TEST(Selvane, AnInstallerThatCannotStartEndsTheRunWithTheErrorBox) {
    const struct {
        const char* name;
        bool wow64;
        const char* missing;
        core::ErrorKind kind;
        int completeGenerations;
        const char* box;
        bool untrusted = false;
        int code = 2;
    } cases[] = {
        {"generation 5 missing", false, "vcredist2008_x86.exe", core::ErrorKind::FileNotFound, 4,
         "box 16|Instalador|Error 53: No se encontró el archivo\r\nD:\\Juego\\dlls\\vcredist2008_x86.exe"},
        {"generation 1 refused", false, "vcredist2015_2017_2019_2022_x86.exe", core::ErrorKind::PermissionDenied, 0,
         "box 16|Instalador|Error 70: Permiso denegado\r\nD:\\Juego\\dlls\\vcredist2015_2017_2019_2022_x86.exe"},
        {"64-bit installer of generation 5 missing", true, "vcredist2008_x64.exe", core::ErrorKind::FileNotFound, 4,
         "box 16|Instalador|Error 53: No se encontró el archivo\r\nD:\\Juego\\dlls\\vcredist2008_x64.exe"},
        {"64-bit installer of generation 2 not Microsoft's", true, "vcredist2013_x64.exe",
         core::ErrorKind::FileNotFound, 1,
         "box 16|Instalador|El archivo D:\\Juego\\dlls\\vcredist2013_x64.exe no es de confianza: no lleva una firma "
         "válida de Microsoft Corporation.",
         true, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform w;
        w.wow64 = c.wow64;
        w.missing = c.missing;
        w.missingKind = c.kind;
        w.untrusted = c.untrusted;
        EXPECT_EQ(w.Run(), c.code);
        std::vector<std::string> expected{"present?", "wow64?"};
        for (int g = 1; g <= c.completeGenerations; ++g) Append(expected, Generation(g, c.wow64));
        // The failing generation: its installers up to the one that fails, no registration.
        auto failing = Generation(c.completeGenerations + 1, c.wow64);
        for (const auto& e : failing) {
            if (e == "wait") continue;
            expected.push_back(e);
            if (e.find(c.missing) != std::string::npos) break;
            expected.push_back("wait");
        }
        Append(expected, {c.box, "end " + std::to_string(c.code)});
        EXPECT_EQ(w.events, expected);
    }
}

TEST(Selvane, OnlyARunningInstallerIsWaitedFor) {
    const struct {
        Kind kind;
        long waits;
    } cases[] = {{Kind::Running, 12}, {Kind::AlreadyEnded, 0}, {Kind::NoHandle, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        FakePlatform w;
        w.wow64 = true;
        w.processKind = c.kind;
        EXPECT_EQ(w.Run(), 1);
        EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "wait"), c.waits);
        EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "register Selvane.Network.dll"), 6);
    }
}

TEST(Selvane, ALibraryItDoesNotTrustEndsTheRunBeforeAnyInstaller) {
    const struct {
        Distrust why;
        const char* reason;
    } cases[] = {
        {Distrust::NotTheOperators, "no es la librería de red de este juego."},
        {Distrust::OthersCanChange,
         "otros usuarios, además de los administradores, pueden cambiarlo o cambiar su carpeta."},
    };
    for (const auto& c : cases) {
        FakePlatform w;
        w.libraryRefused = c.why;
        EXPECT_EQ(w.Run(), 3);
        const std::string box =
            std::string("box 16|Instalador|El archivo D:\\Juego\\Selvane.Network.dll no es de confianza: ") + c.reason;
        EXPECT_EQ(w.events, (std::vector<std::string>{"present?", box, "end 3"}));
    }
}

}  // namespace
