#include "tools/parchear/cli.h"

#include <new>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "tools/parchear/crear.h"
#include "tools/parchear/key_safety.h"
#include "tools/parchear/publish.h"
#include "tools/parchear/restore.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/server_permissions.h"
#include "tools/parchear/signing.h"

namespace parchear {

std::string HelpText() {
    return R"(parchear: crea y publica los parches que descarga Updater.

Uso:
  parchear crear <carpeta anterior> <carpeta nueva> <parche.zip>
      Empaqueta todo archivo nuevo o cambiado (por contenido) de la carpeta nueva respecto
      de la anterior. Los archivos borrados se anotan en el parche: se borrarán de las
      instalaciones que usan el estado firmado (Updater con claves); los Updater sin claves
      los conservan. Con una carpeta anterior vacía, el parche lleva el juego entero.
  parchear publicar <parche.zip> <carpeta del servidor> --registro <carpeta> [--clave <clave.pem>]...
                   [--nueva-serie]
      Comprueba el parche con las mismas reglas que Updater, lo guarda en el registro, lo
      copia como parches/<n+1>.zip y después escribe n+1 en parches/version.txt (con
      --clave, la lista firmada, precedida de parches/estado.txt). Antes compara el servidor con el registro y no cambia nada
      si difieren. Rechaza un parche idéntico a uno ya publicado. Con --nueva-serie borra los
      parches anteriores y empieza de nuevo por 1 (el nuevo 1 debe llevar el juego entero).
      La primera publicación en un servidor vacío crea el registro.
  parchear comprobar <carpeta del servidor> [--publica <clave pública>]...
      Comprueba que Updater lee bien parches/version.txt y que existen y son válidos
      todos los parches de 1 a ese número; en una lista firmada, también tamaños, huellas
      y, con --publica, las firmas.
  parchear firmar <carpeta del servidor> --registro <carpeta> --clave <clave.pem> [--clave <otra.pem>]...
      Firma de nuevo la publicación actual (un servidor sin firmar, o un cambio de clave:
      firme con la clave vieja y la nueva a la vez).
  parchear estado <carpeta del servidor> --registro <carpeta> --clave <clave.pem> [--clave <otra.pem>]...
      Publica parches/estado.txt en un servidor cuyo registro aún no lo tiene: lo calcula con
      los parches del registro y lo publica con version.txt firmado de nuevo (como firmar).
      Después, cada publicación firmada lo escribe sola.
  parchear restaurar <carpeta del servidor> --registro <carpeta>
      Devuelve a parches/ exactamente lo último que se publicó, desde el registro: parches
      perdidos o cambiados, version.txt perdido o dañado, restos de escrituras a medias.
  parchear importar <carpeta del servidor> --registro <carpeta> [--publica <clave pública>]...
      Crea una vez el registro de un servidor que ya publica parches. Con --publica, solo si
      su lista está firmada por una de esas claves; sin ella, se confía en el servidor.
  parchear clave nueva <clave.pem>
      Crea un par de claves P-256: la privada en el archivo, la pública en pantalla.
  parchear clave publica <clave.pem>
      Muestra la clave pública y su identificador.
  parchear --help
      Muestra esta ayuda.

El registro es una carpeta suya, fuera de la carpeta del servidor, con una copia de todo lo
publicado (registro.txt, lista.txt, estado.txt y parches/). parchear nunca toma del servidor lo que
publica o firma. Solo trabaja un parchear a la vez en cada registro y cada servidor.

Códigos de salida:
  0  hecho (comprobar: todo correcto)
  1  uso incorrecto (orden desconocida o argumentos que faltan o sobran)
  2  rechazado: la entrada no sirve, o el servidor no coincide con el registro; no se cambió nada
  3  error de lectura o escritura en el disco
  4  comprobar encontró problemas en el servidor
)";
}

namespace {

int Usage(Console& console, const std::string& why) {
    console.err << "parchear: " << why << std::endl << "Escriba «parchear --help» para ver el uso." << std::endl;
    return kExitUsage;
}

// Positional arguments and the values of repeatable options ("--clave x --clave y").
struct Parsed {
    std::vector<std::string> positional;
    std::vector<std::string> claves, publicas;
    std::string registro;
    bool nuevaSerie = false;
    std::string bad;  // an unknown option or one without its value
};

Parsed Parse(const std::vector<std::string>& args) {
    Parsed p;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--clave" || a == "--publica") {
            if (i + 1 == args.size()) {
                p.bad = a + " necesita un valor";
                return p;
            }
            (a == "--clave" ? p.claves : p.publicas).push_back(args[++i]);
        } else if (a == "--registro") {
            if (i + 1 == args.size() || !p.registro.empty()) {
                p.bad = "--registro necesita un valor, una sola vez";
                return p;
            }
            p.registro = args[++i];
        } else if (a == "--nueva-serie") {
            p.nuevaSerie = true;
        } else if (a.starts_with("--")) {
            p.bad = "opción desconocida «" + a + "»";
            return p;
        } else {
            p.positional.push_back(a);
        }
    }
    return p;
}

int Dispatch(const std::vector<std::string>& args, core::FileSystem& fs, Console& console) {
    const std::string& command = args[0];
    const Parsed p = Parse(args);
    if (!p.bad.empty()) return Usage(console, p.bad);
    const std::size_t given = p.positional.size();
    const bool onlyKeys = p.publicas.empty() && !p.nuevaSerie;
    const bool noOptions = onlyKeys && p.claves.empty() && p.registro.empty();
    const bool recordCommand = command == "publicar" || command == "firmar" || command == "estado" ||
                               command == "restaurar" || command == "importar";
    if (recordCommand && p.registro.empty())
        return Usage(console, command + " necesita --registro <carpeta>: la carpeta donde guarda lo publicado");
    if (!recordCommand && !p.registro.empty()) return Usage(console, command + " no usa --registro");
    if (command == "crear") {
        if (given != 3 || !noOptions)
            return Usage(console, "crear necesita tres argumentos: carpeta anterior, carpeta nueva y parche.zip");
        Crear(fs, p.positional[0], p.positional[1], p.positional[2], console);
        return kExitOk;
    }
    if (command == "publicar") {
        if (given != 2 || !p.publicas.empty())
            return Usage(console, "publicar necesita dos argumentos: parche.zip y carpeta del servidor");
        RequireKeysOutside(p.claves, p.positional[1]);
        Publicar(fs, p.positional[0], p.positional[1], p.registro, console, {p.claves, p.nuevaSerie});
        return kExitOk;
    }
    // firmar signs the list again; estado also publishes the state for a record that has none.
    if (command == "firmar" || command == "estado") {
        if (given != 1 || p.claves.empty() || !onlyKeys)
            return Usage(console, command + " necesita la carpeta del servidor y al menos una --clave");
        RequireKeysOutside(p.claves, p.positional[0]);
        (command == "firmar" ? Firmar : Estado)(fs, p.positional[0], p.registro, LoadKeys(fs, p.claves), console);
        return kExitOk;
    }
    if (command == "restaurar") {
        if (given != 1 || !p.claves.empty() || !onlyKeys)
            return Usage(console, "restaurar necesita la carpeta del servidor y --registro");
        Restaurar(fs, p.positional[0], p.registro, console);
        return kExitOk;
    }
    if (command == "importar") {
        if (given != 1 || !p.claves.empty() || p.nuevaSerie)
            return Usage(console, "importar necesita la carpeta del servidor y --registro");
        Importar(fs, p.positional[0], p.registro, p.publicas, console);
        return kExitOk;
    }
    if (command == "clave") {
        if (given != 2 || !noOptions || (p.positional[0] != "nueva" && p.positional[0] != "publica"))
            return Usage(console, "use «parchear clave nueva <clave.pem>» o «parchear clave publica <clave.pem>»");
        if (p.positional[0] == "nueva") {
            ClaveNueva(fs, p.positional[1], console);
        } else {
            ClavePublica(fs, p.positional[1], console);
        }
        return kExitOk;
    }
    if (command == "comprobar") {
        if (given != 1 || !p.claves.empty() || p.nuevaSerie)
            return Usage(console, "comprobar necesita un argumento: la carpeta del servidor");
        const std::vector<std::string> problems = Comprobar(fs, p.positional[0], console, p.publicas);
        if (problems.empty()) {
            console.out << "Todo correcto." << std::endl;
            return kExitOk;
        }
        console.err << "Se encontraron " << problems.size() << (problems.size() == 1 ? " problema:" : " problemas:")
                    << std::endl;
        for (const std::string& problem : problems) console.err << "  " << problem << std::endl;
        return kExitProblems;
    }
    return Usage(console, "orden desconocida «" + command + "»");
}

}  // namespace

int Run(const std::vector<std::string>& args, core::FileSystem& fs, Console& console) {
    if (args.empty())
        return Usage(console,
                     "falta la orden (crear, publicar, comprobar, firmar, estado, restaurar, importar o clave)");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "/?" || args[0] == "ayuda") {
        console.out << HelpText();
        return kExitOk;
    }
    try {
        // What parchear writes stays readable by the web server, whatever the umask.
        ServedFileSystem served(fs);
        return Dispatch(args, served, console);
    } catch (const Refusal& e) {
        console.err << "parchear: " << e.what() << std::endl;
        return kExitRefused;
    } catch (const core::RuntimeError& e) {
        console.err << "parchear: error de disco: " << e.what() << std::endl;
        return kExitDisk;
    } catch (const core::crypto::Failure& e) {
        console.err << "parchear: " << e.what() << std::endl;
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
