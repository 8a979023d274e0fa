// The error box at the edge, the Play and Exit actions, and the program-wide cDirImage.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "tests/update/fakes.h"
#include "updater/update/mod_unzip.h"
#include "updater/window/actions.h"
#include "updater/window/failure_report.h"
#include "updater/window/run_log.h"

namespace {

using core::ErrorKind;

TEST(FailureReport, RuntimeErrorsShowNumberAndDescription) {
    const struct {
        ErrorKind kind;
        const char* text;
    } cases[] = {
        {ErrorKind::FileNotFound, "Error 53: No se encontró el archivo"},
        {ErrorKind::Overflow, "Error 6: Desbordamiento"},
        {ErrorKind::DivisionByZero, "Error 11: División por cero"},
        {ErrorKind::TypeMismatch, "Error 13: No coinciden los tipos"},
        {ErrorKind::PermissionDenied, "Error 70: Permiso denegado"},
        {ErrorKind::PathFileAccess, "Error 75: Error de acceso a la ruta o el archivo"},
        {ErrorKind::PathNotFound, "Error 76: No se encontró la ruta de acceso"},
    };
    for (const auto& c : cases) {
        // The detail (a path) is not part of Updater's box.
        const auto report = window::DescribeFailure(std::make_exception_ptr(core::RuntimeError(c.kind, "C:\\x")));
        EXPECT_EQ(report.text, c.text);
        EXPECT_EQ(report.exitCode, static_cast<int>(c.kind));
    }
}

TEST(FailureReport, OtherFailuresGetAGenericTextAndExitCodeOne) {
    auto report = window::DescribeFailure(std::make_exception_ptr(std::runtime_error("sin memoria de GDI")));
    EXPECT_EQ(report.text, "Se produjo un error inesperado: sin memoria de GDI");
    EXPECT_EQ(report.exitCode, 1);

    // The platform's cryptography failing is not a file access error (75).
    report = window::DescribeFailure(std::make_exception_ptr(core::crypto::Failure("firma")));
    EXPECT_EQ(report.text,
              "Se produjo un error inesperado: el sistema no pudo completar la operación criptográfica (firma)");
    EXPECT_EQ(report.exitCode, 1);

    report = window::DescribeFailure(std::make_exception_ptr(std::runtime_error("")));
    EXPECT_EQ(report.text, "Se produjo un error inesperado.");

    report = window::DescribeFailure(std::make_exception_ptr(42));
    EXPECT_EQ(report.text, "Se produjo un error inesperado.");
    EXPECT_EQ(report.exitCode, 1);

    report = window::DescribeFailure(nullptr);
    EXPECT_EQ(report.exitCode, 1);

    // A very long detail is cut, never inside a UTF-8 sequence.
    std::string detail(299, 'a');
    detail += "\xC3\xB1\xC3\xB1";
    report = window::DescribeFailure(std::make_exception_ptr(std::runtime_error(detail)));
    EXPECT_EQ(report.text, "Se produjo un error inesperado: " + std::string(299, 'a') + "...");
}

TEST(FailureReport, ReportShowsOneErrorBoxThenEnds) {
    fakes::Dialogs dialogs;
    try {
        window::ReportAndEnd(std::make_exception_ptr(core::RuntimeError(ErrorKind::FileNotFound)), dialogs);
    } catch (const fakes::ProgramEnded& end) {
        EXPECT_EQ(end.exitCode, 53);
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Error 53: No se encontró el archivo");
    EXPECT_EQ(dialogs.boxes[0].caption, "Vandrel Updater");
    EXPECT_EQ(dialogs.boxes[0].style, 0x10u);
}

TEST(FailureReport, TheLogGetsTheStartWhatTheBoxHidesAndTheEnd) {
    fakes::FakePlatform inst;
    fakes::Log log;
    const auto start = [&] {
        return window::StartEvent("2.02.0007", core::RealFileSystem(), inst.root, '.', "https://a:b@h/", 1);
    };
    EXPECT_EQ(start(), "Inicio de Updater 2.02.0007 en " + inst.root +
                           "; versión instalada ilegible (Error 53: No se encontró el archivo); servidor https://h/; "
                           "claves incorporadas: 1");
    inst.WriteFile("Recursos/OUTPUT/Update.ini", " 5 \r\n");
    EXPECT_NE(start().find("; versión instalada 5;"), std::string::npos) << start();

    window::LoggedDialogs dialogs(inst.dialogs, log, inst.clock);
    inst.clock.now += 250;
    EXPECT_THROW(
        window::ReportAndEnd(std::make_exception_ptr(core::RuntimeError(ErrorKind::PathFileAccess, "C:\\x.zip (5)")),
                             dialogs, log),
        fakes::ProgramEnded);
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "Error: Error 75: Error de acceso a la ruta o el archivo; detalle: C:\\x.zip (5)",
                             "Cuadro: Error 75: Error de acceso a la ruta o el archivo",
                             "Fin de Updater: código de salida 75 tras 250 ms"}));
}

class Actions : public ::testing::Test {
protected:
    int EndCode(const std::function<void(update::cDirImage&)>& action) {
        try {
            action(dir);
        } catch (const fakes::ProgramEnded& end) {
            return end.exitCode;
        }
        ADD_FAILURE() << "the action did not end the program";
        return -1;
    }
    fakes::FakePlatform inst;
    update::cDirImage dir{*inst.platform};
};

TEST_F(Actions, PlayStartsTheGameAndEndsWithoutAMessage) {
    EXPECT_EQ(EndCode([this](update::cDirImage& d) { window::PlayGame(d, inst.dialogs); }), 0);
    ASSERT_EQ(inst.launcher.calls.size(), 1u);
    EXPECT_EQ(inst.launcher.calls[0].file, inst.root + "/Vandrel.exe");
    EXPECT_EQ(inst.launcher.calls[0].params, "1");
    EXPECT_EQ(inst.launcher.calls[0].dir, "");
    EXPECT_TRUE(inst.dialogs.boxes.empty());
}

TEST_F(Actions, PlayThatCannotStartTheGameSaysSoBeforeTheEnd) {
    inst.launcher.result = false;
    EXPECT_EQ(EndCode([this](update::cDirImage& d) { window::PlayGame(d, inst.dialogs); }),
              window::kGameNotStartedExitCode);
    ASSERT_EQ(inst.dialogs.boxes.size(), 1u);
    EXPECT_EQ(inst.dialogs.boxes[0].text, "No se pudo iniciar el juego (Vandrel.exe).");
    EXPECT_EQ(inst.dialogs.boxes[0].caption, "Vandrel Updater");
}

TEST_F(Actions, TheEndARunAskedForShowsItsPlainBoxThenEnds) {
    try {
        window::EndAsAsked({"Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.", 1},
                           inst.dialogs);
        ADD_FAILURE() << "the program did not end";
    } catch (const fakes::ProgramEnded& end) {
        EXPECT_EQ(end.exitCode, 1);
    }
    ASSERT_EQ(inst.dialogs.boxes.size(), 1u);
    EXPECT_EQ(inst.dialogs.boxes[0].caption, "Vandrel Updater");
    EXPECT_EQ(inst.dialogs.boxes[0].style, 0u);
}

TEST_F(Actions, ExitEndsAtOnceWithoutStartingAnything) {
    EXPECT_EQ(EndCode([this](update::cDirImage&) { window::ExitProgram(inst.dialogs); }), 0);
    EXPECT_TRUE(inst.launcher.calls.empty());
    EXPECT_TRUE(inst.dialogs.boxes.empty());
}

TEST_F(Actions, ModUnzipHoldsTheRegisteredObject) {
    modUnzip::RegisterDirImage(dir);
    EXPECT_EQ(&modUnzip::DirImage(), &dir);
}

}  // namespace
