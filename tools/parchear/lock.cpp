#include "tools/parchear/lock.h"

#include <ctime>
#include <thread>

#include "core/numeric.h"
#include "tools/parchear/utc_time.h"

namespace parchear {
namespace {

std::string UtcNow() {
    const std::tm utc = UtcCalendarNow();
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

// "proceso 1234 en el equipo X desde ..." from the lines a holder wrote.
std::string Holder(const std::string& text) {
    std::string pid, host, since;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.starts_with("pid ")) pid = line.substr(4, 20);
        if (line.starts_with("equipo ")) host = line.substr(7, 100);
        if (line.starts_with("desde ")) since = line.substr(6, 40);
        at = end + 1;
    }
    if (pid.empty()) return "un parchear que aún no se ha identificado";
    return "el proceso " + pid + " del equipo " + host + ", desde " + since;
}

}  // namespace

FolderLock::FolderLock(const std::string& folder, Console& console, std::chrono::milliseconds wait)
    : m_file(folder + "/" + std::string(kLockName)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool told = false;
    for (;;) {
        LockAttempt attempt = TryLockFile(m_file);
        if (attempt.taken) {
            m_handle = attempt.handle;
            if (!attempt.text.empty()) {
                console.err << "Aviso: se toma el bloqueo " << m_file << ", que dejó " << Holder(attempt.text)
                            << " al terminar sin acabar; lo que dejara a medias se termina o se deshace ahora."
                            << std::endl;
            }
            try {
                WriteLockText(m_handle, "parchear\npid " + core::DecimalText(ThisProcessId()) + "\nequipo " +
                                            ThisComputerName() + "\ndesde " + UtcNow() + "\n");
            } catch (...) {
                ReleaseLockFile(m_handle, m_file);
                throw;
            }
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw Refusal("otro parchear trabaja en " + Quoted(folder) + " (" + Holder(attempt.text) +
                          "); no se cambió nada. Espere a que termine y repita la orden. Si ese proceso ya no "
                          "existe, borre " +
                          m_file);
        }
        if (!told) {
            console.err << "Esperando a que termine otro parchear en " << folder << " (" << Holder(attempt.text)
                        << ")..." << std::endl;
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

FolderLock::~FolderLock() { ReleaseLockFile(m_handle, m_file); }

}  // namespace parchear
