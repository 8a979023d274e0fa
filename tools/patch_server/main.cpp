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
//   silent/<file>     reads the request and sends nothing for 150 s, not even the headers
//   redirect-http/<p> 302 to http://localhost:<plain port>/<p> (a plain HTTP listener)
//   text/<t>          body <t> (percent-decoded), status 200
//   slow/<file>       the file with its Content-Length and ETag, 4 KiB every 20 ms (about 200 KB/s)
// and, for resumed downloads (the file's byte k counted from its start, whatever the range):
//   cut/<k>/<file>        drops the connection at byte k of the file, every time
//   cut-once/<k>/<file>   drops it at byte k the first time this URL is asked for only
//   cut-every/<n>/<file>  drops every response after n bytes of its body
//   busy/<n>/<file>       503 to the first n requests for this URL, then the file
//   retry-after/<s>/<file> 503 with Retry-After: s the first time, then the file
//   no-range/<file>       the whole file with 200, whatever Range asks
//   refuse-range/<file>   416 to every request with a Range
// and these joined by '+' (cut-once+no-range/<k>/<file>: one drop, then never a part).
// Every file is served with a strong ETag made from its content; Range is honoured (206)
// only while If-Range, when sent, names the current ETag. Each request is appended to
// <root>/.peticiones as "<path> range=<Range or -> if-range=<If-Range or ->".
// A file <file>.fault holding one of these modes, its number and any tag ("cut-once 300000 t1")
// serves <file>'s URL in that mode, so that a test of Updater can give one patch a fault; the
// once-only counts are kept per URL and text of the .fault file.
// A plain path whose file is missing but <file>.<mode> exists (chunked, slow, short, long,
// stall, silent) is served in that mode, so that a test can give one patch of a folder a fault while
// its URL stays the same; <file>.redirect is redirected to plain HTTP (which serves that file)
// and <file>.status<code> answers <code>.
// With --untrusted-cert/--untrusted-key, handshakes present that certificate while the file
// <root>/.untrusted exists (a whole server that is not trusted, at the same address).
// It runs until killed; with --port 0 (the default) it picks a free port and writes it to
// the port file.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

bool IsFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
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

std::mutex g_mutex;
std::map<std::string, int> g_asked;  // requests seen per URL path, for the once-only faults

// Counts this request for its URL and returns how many came before it.
int AskedBefore(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_asked[path]++;
}

void LogRequest(const Options& o, const httplib::Request& req) {
    auto header = [&](const char* name) {
        return req.has_header(name) ? req.get_header_value(name) : std::string("-");
    };
    std::lock_guard<std::mutex> lock(g_mutex);
    std::ofstream(o.root + "/.peticiones", std::ios::app)
        << req.path << " range=" << header("Range") << " if-range=" << header("If-Range") << "\n";
}

// A strong validator that changes whenever the file is rewritten: its size and modification
// time in nanoseconds, as static web servers make theirs (hashing 200 MB per request would
// slow the benchmark's server down).
std::string ETagOf(const std::string& path, std::size_t size) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(path, ec).time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(written).count();
    char text[64];
    std::snprintf(text, sizeof text, "\"%zx-%llx\"", size, static_cast<unsigned long long>(ns));
    return text;
}

// How a resumable file is sent: where the connection drops, whether Range counts.
struct Sending {
    std::size_t cutAt = SIZE_MAX;     // byte of the file at which every response stops
    std::size_t cutEvery = SIZE_MAX;  // body bytes after which each response stops
    bool honourRange = true;
    bool refuseRange = false;
    bool slow = false;  // 4 KiB every 20 ms
};

// The file with its ETag; Range as a static host treats it (206 while If-Range fits, 416
// past the end), the drops as asked. httplib cuts the range out of what the provider gives.
void SendFile(const httplib::Request& req, httplib::Response& res, const std::string& path, const Sending& how) {
    std::error_code ec;
    const std::size_t size = static_cast<std::size_t>(std::filesystem::file_size(path, ec));
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    if (ec || !*file) {
        res.status = 404;
        return;
    }
    // httplib parsed Range into the request before the handler; a host that ignores it (or
    // whose file changed since the validator) answers as if it had not been sent.
    auto& ranges = const_cast<httplib::Request&>(req).ranges;
    const std::string etag = ETagOf(path, size);
    if (!how.honourRange || (req.has_header("If-Range") && req.get_header_value("If-Range") != etag)) ranges.clear();
    res.set_header("ETag", etag);
    if (!ranges.empty() && (how.refuseRange || ranges.size() != 1 || ranges[0].first < 0 ||
                            static_cast<std::size_t>(ranges[0].first) >= size)) {
        ranges.clear();
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    const std::size_t start = ranges.empty() ? 0 : static_cast<std::size_t>(ranges[0].first);
    // Read from the disk as it goes: a 200 MB archive is not copied into memory per request.
    auto buffer = std::make_shared<std::vector<char>>(64 * 1024);
    res.set_content_provider(
        size, "application/zip",
        [file, buffer, how, start, size](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            const std::size_t stop = std::min(how.cutAt, how.cutEvery > size ? SIZE_MAX : start + how.cutEvery);
            if (offset >= stop) return false;  // drop the connection
            if (how.slow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const std::size_t n = std::min({length, stop - offset, how.slow ? std::size_t{4096} : buffer->size()});
            file->seekg(static_cast<std::streamoff>(offset));
            if (!file->read(buffer->data(), static_cast<std::streamsize>(n))) return false;
            return sink.write(buffer->data(), n);
        });
}

// counter names the once-only faults' count of earlier requests (the URL path by default).
void ServeFault(const Options& o, const std::string& mode, const std::string& rest, const httplib::Request& req,
                httplib::Response& res, const std::string& counter = {});

void ServeFile(const Options& o, const std::string& rel, const httplib::Request& req, httplib::Response& res) {
    std::string body, control;
    if (SafeRelative(rel) && ReadFile(o.root + "/" + rel + ".fault", control)) {
        std::istringstream words(control);
        std::string mode, number;
        words >> mode >> number;
        // The whole control text names the once-only counters: a new tag in it starts them again.
        ServeFault(o, mode, number.empty() ? rel : number + "/" + rel, req, res, req.path + "#" + control);
        return;
    }
    if (SafeRelative(rel) && !IsFile(o.root + "/" + rel)) {
        for (const char* mode : {"chunked", "slow", "short", "long", "stall", "silent"}) {
            const std::string variant = rel + "." + mode;
            if (ReadFile(o.root + "/" + variant, body)) {
                ServeFault(o, mode, variant, req, res);
                return;
            }
        }
        if (ReadFile(o.root + "/" + rel + ".redirect", body)) {
            ServeFault(o, "redirect-http", rel + ".redirect", req, res);
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
                ServeFault(o, "status", code + "/error", req, res);
                return;
            }
        }
    }
    const bool archive = rel.size() > 4 && rel.compare(rel.size() - 4, 4, ".zip") == 0;
    if (SafeRelative(rel) && archive && IsFile(o.root + "/" + rel)) {
        SendFile(req, res, o.root + "/" + rel, Sending{});
        return;
    }
    if (!SafeRelative(rel) || !ReadFile(o.root + "/" + rel, body)) {
        res.status = 404;
        res.set_content("no encontrado", "text/plain");
        return;
    }
    res.set_content(body, "text/plain");
}

// One of the resumable faults, or several joined by '+' ("cut-once+no-range"); at most one of
// them takes the number.
bool IsResumableFault(const std::string& mode) {
    std::istringstream words(mode);
    bool any = false;
    for (std::string word; std::getline(words, word, '+'); any = true) {
        if (word != "cut" && word != "cut-once" && word != "cut-every" && word != "busy" && word != "retry-after" &&
            word != "no-range" && word != "refuse-range") {
            return false;
        }
    }
    return any;
}

// "<number>/<file>" of the resumable faults; false when it is not that.
bool NumberAndFile(const std::string& rest, std::size_t& number, std::string& file) {
    const auto slash = rest.find('/');
    if (slash == 0 || slash == std::string::npos || rest.find_first_not_of("0123456789") != slash) {
        return false;
    }
    number = std::stoull(rest.substr(0, slash));
    file = rest.substr(slash + 1);
    return true;
}

void ServeFault(const Options& o, const std::string& mode, const std::string& rest, const httplib::Request& req,
                httplib::Response& res, const std::string& counter) {
    if (IsResumableFault(mode)) {
        const auto has = [&](const std::string& word) {
            return ("+" + mode + "+").find("+" + word + "+") != std::string::npos;
        };
        std::size_t number = 0;
        std::string file = rest;
        const bool numbered = !(mode == "no-range" || mode == "refuse-range");
        if (numbered && !NumberAndFile(rest, number, file)) {
            res.status = 400;
            return;
        }
        if (!SafeRelative(file) || !IsFile(o.root + "/" + file)) {
            res.status = 404;
            return;
        }
        const int before = AskedBefore(counter.empty() ? req.path : counter);
        Sending how;
        if (has("cut") || (has("cut-once") && before == 0)) how.cutAt = number;
        if (has("cut-every")) how.cutEvery = number;
        how.honourRange = !has("no-range");
        how.refuseRange = has("refuse-range");
        if ((has("busy") && before < static_cast<int>(number)) || (has("retry-after") && before == 0)) {
            const_cast<httplib::Request&>(req).ranges.clear();
            res.status = 503;
            if (has("retry-after")) res.set_header("Retry-After", std::to_string(number));
            res.set_content("ocupado", "text/plain");
            return;
        }
        SendFile(req, res, o.root + "/" + file, how);
        return;
    }
    if (mode == "silent") {
        std::this_thread::sleep_for(std::chrono::seconds(150));
        res.status = 503;
        return;
    }
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
    if (mode == "slow") {
        if (!SafeRelative(rest) || !IsFile(o.root + "/" + rest)) {
            res.status = 404;
            return;
        }
        Sending how;
        how.slow = true;
        SendFile(req, res, o.root + "/" + rest, how);
        return;
    }
    // The older faults below answer in full, whatever Range asks.
    const_cast<httplib::Request&>(req).ranges.clear();
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
              [&](const httplib::Request& req, httplib::Response& res) { ServeFile(o, req.matches[1], req, res); });
    g_plainPort = plain.bind_to_any_port("127.0.0.1");
    std::thread plainThread([&] { plain.listen_after_bind(); });
    WritePortFile(o.httpPortFile, g_plainPort);

    httplib::SSLServer server(o.cert.c_str(), o.key.c_str());
    if (!server.is_valid()) {
        std::cerr << "no se pudo cargar el certificado\n";
        return 1;
    }
    if (!o.untrustedCert.empty()) SSL_CTX_set_cert_cb(server.ssl_context(), PresentUntrustedWhenAsked, &o);
    server.Get(R"(/fault/([a-z+-]+)/([\s\S]*))", [&](const httplib::Request& req, httplib::Response& res) {
        LogRequest(o, req);
        ServeFault(o, req.matches[1], req.matches[2], req, res);
    });
    server.Get(R"(/(.*))", [&](const httplib::Request& req, httplib::Response& res) {
        LogRequest(o, req);
        ServeFile(o, req.matches[1], req, res);
    });
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
