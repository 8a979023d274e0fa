#include "instalador/selvane.h"

#include "core/runtime_error.h"
#include "instalador/messages.h"
#include "instalador/paths.h"

namespace m_Selvane {
namespace {

using namespace instalador;

// Starts one installer and waits for its end; one that has already ended is not waited for.
void RunAndWait(Platform& p, const Command& command) {
    const std::unique_ptr<Process> process = p.StartHidden(command);
    if (process && !process->HasEnded()) process->WaitForEnd();
}

}  // namespace

void InstalarDependencia(Platform& p, std::string_view folder, bool EsWow64, std::string_view argument) {
    RunAndWait(p, X86Command(folder, argument));
    if (EsWow64) RunAndWait(p, X64Command(folder, argument));
    if (p.RegistrarArchivo(std::string(kLibraryFile)) && p.LibreriaRegistrada()) {
        p.ShowMessage(kRegisteredNowText, kProgramCaption, core::BoxStyle::OkOnly);
        p.EndProgram(kExitRegistered);
    }
}

int Main(Platform& p, std::string_view folder) {
    try {
        if (p.LibreriaRegistrada()) {
            p.ShowMessage(kAlreadyRegisteredText, kProgramCaption, core::BoxStyle::OkOnly);
            p.EndProgram(kExitRegistered);
        }
        const bool EsWow64 = p.EsWow64();
        for (const std::string_view argument : kArguments) InstalarDependencia(p, folder, EsWow64, argument);
    } catch (const core::RuntimeError& error) {
        p.ShowMessage(ErrorText(error), kProgramCaption, core::BoxStyle::Error);
        p.EndProgram(kExitError);
    } catch (const Untrusted& refused) {
        p.ShowMessage(UntrustedText(refused.path, refused.why), kProgramCaption, core::BoxStyle::Error);
        p.EndProgram(kExitUntrusted);
    }
    return kExitNoSuccess;
}

}  // namespace m_Selvane
