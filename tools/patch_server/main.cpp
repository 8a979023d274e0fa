// vandrel_patch_server: a small HTTPS server for a patch folder, for the demo and the tests.
//
//   vandrel_patch_server --root DIR --cert PEM --key PEM [--port N] [--port-file F]
//                        [--http-port-file F] [--untrusted-cert PEM --untrusted-key PEM]
//
// Serves DIR's files with a Content-Length, like any static web server. Paths under
// /fault/<mode>/ reproduce server faults for the tests:
//   chunked/<file>    the file without Content-Length (chunked encoding)
//   status/<code>/<t> status <code> with body <t> and a Content-Length
//   short/<file>      announces the whole file, sends half, closes the connection
//   long/<file>       announces half of the file and sends all of it
//   stall/<file>      sends half, then nothing for 60 s
//   redirect-http/<p> 302 to http://localhost:<plain port>/<p> (a plain HTTP listener)
//   text/<t>          body <t> (percent-decoded), status 200
//   slow/<file>       the file with its Content-Length, 4 KiB every 20 ms (about 200 KB/s)
// A plain path whose file is missing but <file>.<mode> exists (chunked, slow, short, long,
// stall) is served in that mode, so that a test can give one patch of a folder a fault while
// its URL stays the same; <file>.redirect is redirected to plain HTTP (which serves that file)
// and <file>.status<code> answers <code>.
// With --untrusted-cert/--untrusted-key, handshakes present that certificate while the file
// <root>/.untrusted exists (a whole server that is not trusted, at the same address).
// It runs until killed; with --port 0 (the default) it picks a free port and writes it to
// the port file.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

struct Options {
    std::string root, cert, key, portFile, httpPortFile, untrustedCert, untrustedKey;
    int port = 0;
};

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

// Refuses paths that could leave the served folder.
bool SafeRelative(const std::string& p) {
    return !p.empty() && p.find("..") == std::string::npos && p[0] != '/' && p.find('\\') == std::string::npos;
}

void WritePortFile(const std::string& path, int port) {
    if (path.empty()) return;
    const std::string temp = path + ".tmp";
    std::ofstream(temp) << port << "\n";
    std::rename(temp.c_str(), path.c_str());
}

std::atomic<int> g_plainPort{0};

void ServeFault(const Options& o, const std::string& mode, const std::string& rest, httplib::Response& res);

void ServeFile(const Options& o, const std::string& rel, httplib::Response& res) {
    std::string body;
    if (SafeRelative(rel) && !ReadFile(o.root + "/" + rel, body)) {
        for (const char* mode : {"chunked", "slow", "short", "long", "stall"}) {
            const std::string variant = rel + "." + mode;
            if (ReadFile(o.root + "/" + variant, body)) {
                ServeFault(o, mode, variant, res);
                return;
            }
        }
        if (ReadFile(o.root + "/" + rel + ".redirect", body)) {
            ServeFault(o, "redirect-http", rel + ".redirect", res);
            return;
        }
        const std::filesystem::path plain = std::filesystem::path(o.root) / rel;
        const std::string prefix = plain.filename().string() + ".status";
        std::error_code ec;
        for (const auto& f : std::filesystem::directory_iterator(plain.parent_path(), ec)) {
            const std::string name = f.path().filename().string();
            const std::string code = name.size() == prefix.size() + 3 ? name.substr(prefix.size()) : "";
            if (name.compare(0, prefix.size(), prefix) == 0 &&
                code.find_first_not_of("0123456789") == std::string::npos && !code.empty()) {
                ServeFault(o, "status", code + "/error", res);
                return;
            }
        }
    }
    if (!SafeRelative(rel) || !ReadFile(o.root + "/" + rel, body)) {
        res.status = 404;
        res.set_content("no encontrado", "text/plain");
        return;
    }
    res.set_content(body,
                    rel.size() > 4 && rel.compare(rel.size() - 4, 4, ".zip") == 0 ? "application/zip" : "text/plain");
}

void ServeFault(const Options& o, const std::string& mode, const std::string& rest, httplib::Response& res) {
    if (mode == "text") {
        res.set_content(httplib::detail::decode_url(rest, false), "text/plain");
        return;
    }
    if (mode == "status") {
        const auto slash = rest.find('/');
        res.status = std::stoi(rest.substr(0, slash));
        res.set_content(slash == std::string::npos ? "" : httplib::detail::decode_url(rest.substr(slash + 1), false),
                        "text/plain");
        return;
    }
    if (mode == "redirect-http") {
        res.set_redirect("http://localhost:" + std::to_string(g_plainPort.load()) + "/" + rest);
        return;
    }
    auto body = std::make_shared<std::string>();
    if (!SafeRelative(rest) || !ReadFile(o.root + "/" + rest, *body)) {
        res.status = 404;
        return;
    }
    const std::size_t half = body->size() / 2;
    if (mode == "chunked") {
        res.set_chunked_content_provider("application/zip", [body](std::size_t offset, httplib::DataSink& sink) {
            if (offset < body->size()) {
                sink.write(body->data() + offset, std::min<std::size_t>(4096, body->size() - offset));
            } else {
                sink.done();
            }
            return true;
        });
    } else if (mode == "short" || mode == "stall") {
        const bool stall = mode == "stall";
        res.set_content_provider(body->size(), "application/zip",
                                 [body, half, stall](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset < half) {
                                         sink.write(body->data() + offset, half - offset);
                                         return true;
                                     }
                                     if (stall) std::this_thread::sleep_for(std::chrono::seconds(60));
                                     return false;  // drop the connection
                                 });
    } else if (mode == "slow") {
        res.set_content_provider(body->size(), "application/zip",
                                 [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                     const std::size_t n = std::min<std::size_t>(4096, body->size() - offset);
                                     return sink.write(body->data() + offset, n);
                                 });
    } else if (mode == "long") {
        res.set_content_provider(half, "application/zip",
                                 [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset == 0) sink.write(body->data(), body->size());
                                     return true;
                                 });
    } else {
        res.status = 400;
    }
}

// Certificate selection per handshake: the untrusted one while <root>/.untrusted exists.
int PresentUntrustedWhenAsked(SSL* ssl, void* arg) {
    const auto* o = static_cast<const Options*>(arg);
    std::error_code ec;
    if (!std::filesystem::exists(o->root + "/.untrusted", ec)) return 1;
    return SSL_use_certificate_file(ssl, o->untrustedCert.c_str(), SSL_FILETYPE_PEM) == 1 &&
                   SSL_use_PrivateKey_file(ssl, o->untrustedKey.c_str(), SSL_FILETYPE_PEM) == 1
               ? 1
               : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i], v = argv[i + 1];
        if (k == "--root")
            o.root = v;
        else if (k == "--cert")
            o.cert = v;
        else if (k == "--key")
            o.key = v;
        else if (k == "--port")
            o.port = std::stoi(v);
        else if (k == "--port-file")
            o.portFile = v;
        else if (k == "--http-port-file")
            o.httpPortFile = v;
        else if (k == "--untrusted-cert")
            o.untrustedCert = v;
        else if (k == "--untrusted-key")
            o.untrustedKey = v;
        else {
            std::cerr << "opción desconocida: " << k << "\n";
            return 2;
        }
    }
    if (o.root.empty() || o.cert.empty() || o.key.empty()) {
        std::cerr << "uso: vandrel_patch_server --root DIR --cert PEM --key PEM [--port N] [--port-file F]\n";
        return 2;
    }

    httplib::Server plain;
    plain.Get(R"(/(.*))",
              [&](const httplib::Request& req, httplib::Response& res) { ServeFile(o, req.matches[1], res); });
    g_plainPort = plain.bind_to_any_port("127.0.0.1");
    std::thread plainThread([&] { plain.listen_after_bind(); });
    WritePortFile(o.httpPortFile, g_plainPort);

    httplib::SSLServer server(o.cert.c_str(), o.key.c_str());
    if (!server.is_valid()) {
        std::cerr << "no se pudo cargar el certificado\n";
        return 1;
    }
    if (!o.untrustedCert.empty()) SSL_CTX_set_cert_cb(server.ssl_context(), PresentUntrustedWhenAsked, &o);
    server.Get(R"(/fault/([a-z-]+)/([\s\S]*))", [&](const httplib::Request& req, httplib::Response& res) {
        ServeFault(o, req.matches[1], req.matches[2], res);
    });
    server.Get(R"(/(.*))",
               [&](const httplib::Request& req, httplib::Response& res) { ServeFile(o, req.matches[1], res); });
    const int port =
        o.port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", o.port) ? o.port : -1);
    if (port <= 0) {
        std::cerr << "no se pudo abrir el puerto\n";
        return 1;
    }
    WritePortFile(o.portFile, port);
    std::cout << "https://localhost:" << port << "/ sirve " << o.root << std::endl;
    server.listen_after_bind();
    plain.stop();
    plainThread.join();
    return 0;
}
