// The console served to a browser on 127.0.0.1: the page, the theme's
// icons, the module's res:// pages, the snapshots (long polls) and the
// user's input. Request threads only read snapshots and post input; they
// never call the snap-in.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/server/AccessGuard.h"
#include "platform/mmc/server/ThemeIcons.h"

namespace httplib {
class Server;
}

namespace kv::mmc {

class WebServer {
public:
    // token: empty for a fresh random one.
    WebServer(ConsoleHost& host, std::string token = std::string());
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds 127.0.0.1:port (0: a free port); false with the reason.
    bool Bind(int port, std::string* error);
    int Port() const { return m_port; }
    // The one address to open: it carries the access token.
    std::string Address() const;
    // Serves until Stop.
    void Run();
    void Stop();

    // How long a long poll waits for a change before answering anyway.
    static constexpr std::chrono::milliseconds kPollWait{20000};

private:
    void Routes();
    void WatchDisplay();
    void ReapViews();
    void Seen(int view);

    ConsoleHost& m_host;
    std::string m_token;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<AccessGuard> m_guard;
    ThemeIcons m_icons;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_watcher;
    std::thread m_reaper;
    std::mutex m_seenLock;
    std::map<int, std::chrono::steady_clock::time_point> m_seen;
};

}  // namespace kv::mmc
