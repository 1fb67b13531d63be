#include "platform/mmc/server/WebServer.h"

#include <httplib.h>

#include <strings.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/browser/WebBrowser.h"
#include "platform/file/File.h"
#include "platform/mmc/host/ResourcePages.h"
#include "platform/mmc/server/RequestDecoding.h"
#include "platform/mmc/server/SnapshotJson.h"
#include "platform/mmc/server/WebAssets.h"
#include "platform/ui/Display.h"

namespace kv::mmc {

using nlohmann::json;

namespace {

// A tab that stopped polling (closed, or its computer asleep) gives its
// component back after this long.
constexpr std::chrono::seconds kViewIdle{90};

const char* const kPagePolicy =
    "default-src 'self'; img-src 'self' data:; frame-src 'self'; object-src 'none'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";
// Pages of the module are shown framed and without scripts of their own.
const char* const kResourcePolicy = "sandbox; default-src 'none'; img-src 'self' data:; style-src 'unsafe-inline'";

// A browser window's document: no scripts, nothing from elsewhere, only its
// own pictures and inline styles.
const char* const kDocumentPolicy =
    "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'";

const char* ImageType(const std::string& name) {
    static const std::pair<const char*, const char*> types[] = {{".png", "image/png"},   {".gif", "image/gif"},
                                                                {".jpg", "image/jpeg"},  {".jpeg", "image/jpeg"},
                                                                {".bmp", "image/bmp"}};
    for (const auto& [suffix, mime] : types) {
        size_t n = std::strlen(suffix);
        if (name.size() > n && strcasecmp(name.c_str() + name.size() - n, suffix) == 0) return mime;
    }
    return nullptr;
}

// A picture a document names by its Windows path: a regular file of an
// image type, of a size a page can show.
bool ReadPicture(const std::string& windowsPath, std::string* bytes) {
    constexpr DWORD kMaxPicture = 16u << 20;
    HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        if (bytes->size() + read > kMaxPicture) {
            ok = false;
            break;
        }
        bytes->append(buffer, read);
    }
    CloseHandle(file);
    return ok;
}

bool PlainName(const std::string& name, size_t limit) {
    if (name.empty() || name.size() > limit || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

void Refuse(httplib::Response& res, int status, const std::string& reason) {
    res.status = status;
    res.set_content(reason + "\n", "text/plain; charset=utf-8");
}

const char* ContentType(const std::string& name) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0) return "text/html; charset=utf-8";
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".js") == 0) return "text/javascript; charset=utf-8";
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".css") == 0) return "text/css; charset=utf-8";
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".svg") == 0) return "image/svg+xml";
    return "application/octet-stream";
}

bool ParseJsonBody(const httplib::Request& req, httplib::Response& res, json* body) {
    if (req.body.size() > 1024 * 1024) {
        Refuse(res, 413, "Request too large");
        return false;
    }
    *body = json::parse(req.body, nullptr, false);
    if (body->is_discarded()) {
        Refuse(res, 400, "The request is not JSON");
        return false;
    }
    return true;
}

}  // namespace

WebServer::WebServer(ConsoleHost& host, std::string token)
    : m_host(host), m_token(std::move(token)), m_server(std::make_unique<httplib::Server>()) {
    if (m_token.empty()) m_token = RandomToken();
}

WebServer::~WebServer() { Stop(); }

bool WebServer::Bind(int port, std::string* error) {
    // Long polls hold a thread each; a few tabs must not starve the rest.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(24); };
    m_server->set_payload_max_length(2 * 1024 * 1024);
    if (port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0) {
            *error = "no free port on 127.0.0.1";
            return false;
        }
    } else {
        if (!m_server->bind_to_port("127.0.0.1", port)) {
            *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " (in use?)";
            return false;
        }
        m_port = port;
    }
    m_guard = std::make_unique<AccessGuard>(m_port, m_token);
    Routes();
    return true;
}

std::string WebServer::Address() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/?token=" + m_token;
}

void WebServer::Run() {
    m_watcher = std::thread([this] { WatchDisplay(); });
    m_reaper = std::thread([this] { ReapViews(); });
    m_server->listen_after_bind();
}

void WebServer::Stop() {
    if (m_stopping.exchange(true)) return;
    m_server->stop();
    if (m_watcher.joinable()) m_watcher.join();
    if (m_reaper.joinable()) m_reaper.join();
}

void WebServer::WatchDisplay() {
    // A dialog that changes wakes the tabs waiting on the console.
    uint64_t version = kv::ui::CurrentSnapshot()->version;
    while (!m_stopping) {
        auto snapshot = kv::ui::WaitForSnapshot(version, std::chrono::milliseconds(250));
        if (snapshot->version != version) {
            version = snapshot->version;
            m_host.Touch();
        }
    }
}

void WebServer::ReapViews() {
    while (!m_stopping) {
        for (int i = 0; i < 20 && !m_stopping; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(250));
        std::vector<int> idle;
        {
            std::lock_guard<std::mutex> guard(m_seenLock);
            auto now = std::chrono::steady_clock::now();
            for (auto it = m_seen.begin(); it != m_seen.end();) {
                if (now - it->second > kViewIdle) {
                    idle.push_back(it->first);
                    it = m_seen.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (int view : idle) m_host.CloseView(view);
    }
}

void WebServer::Seen(int view) {
    std::lock_guard<std::mutex> guard(m_seenLock);
    auto it = m_seen.find(view);
    if (it != m_seen.end()) it->second = std::chrono::steady_clock::now();
}

void WebServer::Routes() {
    httplib::Server& server = *m_server;

    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        if (!m_guard->HostAllowed(req.get_header_value("Host"))) {
            Refuse(res, 403, "Forbidden: the console answers only at its own address");
            return httplib::Server::HandlerResponse::Handled;
        }
        std::string token = req.has_param("token") ? req.get_param_value("token") : std::string();
        if (!m_guard->Authenticated(token, req.get_header_value("Cookie"))) {
            Refuse(res, 403, "Forbidden: open the address that kvmmc printed when it started");
            return httplib::Server::HandlerResponse::Handled;
        }
        bool changesState = req.method != "GET" && req.method != "HEAD";
        if (changesState && !m_guard->OriginAllowed(req.get_header_value("Origin"))) {
            Refuse(res, 403, "Forbidden: changes come only from the console's own page");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        if (req.has_param("token")) {
            // Trade the token for the cookie and drop it from the address bar.
            res.set_header("Set-Cookie", m_guard->SessionCookie());
            res.set_redirect("/", 303);
            return;
        }
        const WebAsset* page = FindWebAsset("index.html");
        if (page == nullptr) return Refuse(res, 500, "The console page is missing from this build");
        res.set_header("Content-Security-Policy", kPagePolicy);
        res.set_header("X-Frame-Options", "DENY");
        res.set_content(page->data, page->size, ContentType(page->name));
    });

    server.Get(R"(/static/([A-Za-z0-9_.-]+))", [](const httplib::Request& req, httplib::Response& res) {
        const WebAsset* asset = FindWebAsset(req.matches[1]);
        if (asset == nullptr) return Refuse(res, 404, "Not found");
        res.set_content(asset->data, asset->size, ContentType(asset->name));
    });

    server.Get(R"(/icons/(16|24|32|48)/([A-Za-z0-9_.:-]+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
        std::string name = req.matches[2];
        if (!PlainName(name, 128)) return Refuse(res, 404, "Not found");
        std::string path = m_icons.Find(name, std::stoi(req.matches[1]));
        std::ifstream file(path, std::ios::binary);
        if (path.empty() || !file) return Refuse(res, 404, "Not found");
        std::ostringstream bytes;
        bytes << file.rdbuf();
        res.set_header("Cache-Control", "private, max-age=3600");
        res.set_content(bytes.str(), "image/png");
    });

    server.Get(R"(/res/([0-9]{1,6})/([A-Za-z0-9_.-]+))", [this](const httplib::Request& req, httplib::Response& res) {
        int view = std::stoi(req.matches[1]);
        std::string page = req.matches[2];
        auto snapshot = m_host.Snapshot();
        auto it = snapshot->views.find(view);
        // Only the module the view shows a page of, never a path from the request.
        if (it == snapshot->views.end() || it->second.resourceModule.empty()) return Refuse(res, 404, "Not found");
        std::string html;
        if (!PlainName(page, 128) || !LoadResourcePage(it->second.resourceModule, page, &html)) return Refuse(res, 404, "Not found");
        res.set_header("Content-Security-Policy", kResourcePolicy);
        res.set_header("X-Frame-Options", "SAMEORIGIN");
        res.set_content(html, "text/html");
    });

    // Pictures a loaded module carries, named by their res:// address (list
    // and tree images); never a file, never a module not already loaded.
    server.Get("/resimage", [](const httplib::Request& req, httplib::Response& res) {
        static const std::pair<const char*, const char*> types[] = {
            {".png", "image/png"}, {".gif", "image/gif"}, {".jpg", "image/jpeg"}, {".bmp", "image/bmp"}, {".svg", "image/svg+xml"}};
        std::string module, page, bytes;
        if (!ParseResourceAddress(req.get_param_value("address"), &module, &page) || !PlainName(page, 128))
            return Refuse(res, 404, "Not found");
        const char* type = nullptr;
        for (const auto& [suffix, mime] : types) {
            size_t n = std::strlen(suffix);
            if (page.size() > n && strcasecmp(page.c_str() + page.size() - n, suffix) == 0) type = mime;
        }
        if (type == nullptr || !LoadResourcePage(module, page, &bytes)) return Refuse(res, 404, "Not found");
        res.set_header("Content-Security-Policy", kResourcePolicy);
        res.set_header("Cache-Control", "private, max-age=3600");
        res.set_content(bytes, type);
    });

    // Browser windows the snap-in opened: the page as a browser shows it
    // (UTF-8, the system's code page, whatever the page's own meta text
    // says), its text as loaded, and the pictures it names.
    server.Get(R"(/browser/([0-9]{1,9})/)", [](const httplib::Request& req, httplib::Response& res) {
        kv::browser::RenderedDocument document;
        if (!kv::browser::RenderDocument(std::stoi(req.matches[1]), &document)) return Refuse(res, 404, "Not found");
        res.set_header("Content-Security-Policy", kDocumentPolicy);
        res.set_header("X-Frame-Options", "DENY");
        res.set_content(document.html, "text/html; charset=utf-8");
    });
    server.Get(R"(/browser/([0-9]{1,9})/source)", [](const httplib::Request& req, httplib::Response& res) {
        std::string text;
        if (!kv::browser::DocumentSource(std::stoi(req.matches[1]), &text)) return Refuse(res, 404, "Not found");
        res.set_content(text, "text/plain; charset=utf-8");
    });
    server.Get(R"(/browser/([0-9]{1,9})/file/([0-9]{1,4}))", [](const httplib::Request& req, httplib::Response& res) {
        kv::browser::RenderedDocument document;
        if (!kv::browser::RenderDocument(std::stoi(req.matches[1]), &document)) return Refuse(res, 404, "Not found");
        size_t index = static_cast<size_t>(std::stoi(req.matches[2]));
        // Only what the page itself names, and only pictures.
        if (index >= document.files.size()) return Refuse(res, 404, "Not found");
        const std::string& path = document.files[index];
        const char* type = ImageType(path);
        std::string bytes;
        if (type == nullptr || !ReadPicture(path, &bytes)) return Refuse(res, 404, "Not found");
        res.set_content(bytes, type);
    });

    server.Post("/api/view", [this](const httplib::Request&, httplib::Response& res) {
        int view = m_host.OpenView();
        if (view == 0) return Refuse(res, 503, "Too many console windows are open");
        {
            std::lock_guard<std::mutex> guard(m_seenLock);
            m_seen[view] = std::chrono::steady_clock::now();
        }
        res.set_content(Dump({{"view", view}}), "application/json");
    });

    server.Post("/api/view/close", [this](const httplib::Request& req, httplib::Response& res) {
        json body;
        if (!ParseJsonBody(req, res, &body)) return;
        if (!body.is_object() || !body.contains("view") || !body["view"].is_number_integer()) return Refuse(res, 400, "No view");
        int view = body["view"].get<int>();
        {
            std::lock_guard<std::mutex> guard(m_seenLock);
            m_seen.erase(view);
        }
        m_host.CloseView(view);
        res.set_content("{}", "application/json");
    });

    server.Get("/api/state", [this](const httplib::Request& req, httplib::Response& res) {
        int view = 0;
        uint64_t since = 0;
        try {
            view = std::stoi(req.get_param_value("view"));
            if (req.has_param("since")) since = std::stoull(req.get_param_value("since"));
        } catch (const std::exception&) {
            return Refuse(res, 400, "Bad view or version");
        }
        Seen(view);
        auto snapshot = since == 0 ? m_host.Snapshot() : m_host.WaitForChange(since, kPollWait);
        Seen(view);
        json out = ViewJson(*snapshot, view);
        out["version"] = std::to_string(snapshot->version);
        out["display"] = DisplayJson(*kv::ui::CurrentSnapshot(), 0);
        res.set_content(Dump(out), "application/json");
    });

    server.Post("/api/command", [this](const httplib::Request& req, httplib::Response& res) {
        json body;
        if (!ParseJsonBody(req, res, &body)) return;
        HostCommand command;
        std::string error;
        bool decoded = false;
        try {
            decoded = DecodeCommand(body, &command, &error);
        } catch (const json::exception&) {
            error = "malformed command";
        }
        if (!decoded) return Refuse(res, 400, "Bad command: " + error);
        Seen(command.view);
        if (!m_host.Post(command)) return Refuse(res, 404, "No such view");
        res.set_content("{}", "application/json");
    });

    server.Post("/api/input", [](const httplib::Request& req, httplib::Response& res) {
        json body;
        if (!ParseJsonBody(req, res, &body)) return;
        kv::ui::Input input;
        std::string error;
        bool decoded = false;
        try {
            decoded = DecodeWindowInput(body, &input, &error);
        } catch (const json::exception&) {
            error = "malformed input";
        }
        if (!decoded) return Refuse(res, 400, "Bad input: " + error);
        if (!kv::ui::PostInput(input)) return Refuse(res, 404, "No such window");
        res.set_content("{}", "application/json");
    });
}

}  // namespace kv::mmc
