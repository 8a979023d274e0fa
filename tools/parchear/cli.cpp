#include "tools/parchear/cli.h"

#include <new>

#include "core/runtime_error.h"
#include "tools/parchear/crear.h"
#include "tools/parchear/server_folder.h"

namespace parchear {

std::string HelpText() {
    return R"(parchear: crea y publica los parches que descarga Updater.

Uso:
  parchear crear <carpeta anterior> <carpeta nueva> <parche.zip>
      Empaqueta todo archivo nuevo o cambiado (por contenido) de la carpeta nueva respecto
      de la anterior. Avisa de los archivos borrados: un parche no puede borrar nada.
  parchear publicar <parche.zip> <carpeta del servidor>
      Comprueba el parche con las mismas reglas que Updater, lo copia como
      parches/<n+1>.zip y después escribe n+1 en parches/version.txt.
  parchear comprobar <carpeta del servidor>
      Comprueba que Updater lee bien parches/version.txt y que existen y son válidos
      todos los parches de 1 a ese número.
  parchear --help
      Muestra esta ayuda.

Códigos de salida:
  0  hecho (comprobar: todo correcto)
  1  uso incorrecto (orden desconocida o argumentos que faltan o sobran)
  2  rechazado: la entrada no sirve y no se cambió nada
  3  error de lectura o escritura en el disco
  4  comprobar encontró problemas en el servidor
)";
}

namespace {

int Usage(Console& console, const std::string& why) {
    console.err << "parchear: " << why << std::endl << "Escriba «parchear --help» para ver el uso." << std::endl;
    return kExitUsage;
}

int Dispatch(const std::vector<std::string>& args, core::FileSystem& fs, Console& console) {
    const std::string& command = args[0];
    const std::size_t given = args.size() - 1;
    if (command == "crear") {
        if (given != 3)
            return Usage(console, "crear necesita tres argumentos: carpeta anterior, carpeta nueva y parche.zip");
        Crear(fs, args[1], args[2], args[3], console);
        return kExitOk;
    }
    if (command == "publicar") {
        if (given != 2) return Usage(console, "publicar necesita dos argumentos: parche.zip y carpeta del servidor");
        Publicar(fs, args[1], args[2], console);
        return kExitOk;
    }
    if (command == "comprobar") {
        if (given != 1) return Usage(console, "comprobar necesita un argumento: la carpeta del servidor");
        const std::vector<std::string> problems = Comprobar(fs, args[1], console);
        if (problems.empty()) {
            console.out << "Todo correcto." << std::endl;
            return kExitOk;
        }
        console.err << "Se encontraron " << problems.size() << (problems.size() == 1 ? " problema:" : " problemas:")
                    << std::endl;
        for (const std::string& p : problems) console.err << "  " << p << std::endl;
        return kExitProblems;
    }
    return Usage(console, "orden desconocida «" + command + "»");
}

}  // namespace

int Run(const std::vector<std::string>& args, core::FileSystem& fs, Console& console) {
    if (args.empty()) return Usage(console, "falta la orden (crear, publicar o comprobar)");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "/?" || args[0] == "ayuda") {
        console.out << HelpText();
        return kExitOk;
    }
    try {
        return Dispatch(args, fs, console);
    } catch (const Refusal& e) {
        console.err << "parchear: " << e.what() << std::endl;
        return kExitRefused;
    } catch (const core::RuntimeError& e) {
        console.err << "parchear: error de disco: " << e.what() << std::endl;
        return kExitDisk;
    } catch (const std::bad_alloc&) {
        console.err << "parchear: memoria insuficiente" << std::endl;
        return kExitDisk;
    } catch (const std::exception& e) {
        console.err << "parchear: error inesperado: " << e.what() << std::endl;
        return kExitDisk;
    }
}

}  // namespace parchear
