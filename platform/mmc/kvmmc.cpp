// kvmmc [DOCUMENT.msc] [--port N]: opens a console document, loads its
// snap-in, initialises it at once and serves the console on 127.0.0.1. It
// prints one address, holding the access token, and runs until interrupted.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/cli/HelpSwitch.h"
#include "platform/com/Guid.h"
#include "platform/mmc/host/ConsoleDocument.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/server/WebServer.h"
#include "platform/registry/Registry.h"
#include "platform/root/MachineRoot.h"

namespace {

const char* const kUsage =
    "Usage: kvmmc [DOCUMENT.msc] [--port N]\n"
    "Opens the console document (default: Tsl3.msc in the installation's program\n"
    "folder under KESTRAVA_ROOT), loads its snap-in and serves the console at\n"
    "http://127.0.0.1:N/ (default port 8043; 0 picks a free port). Open the one\n"
    "address it prints: it carries the access token.\n"
    "KESTRAVA_MMCVER=1.0 makes the console present itself as version 1.0.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "kvmmc: %s\n", message.c_str());
    return 1;
}

bool SnapinRegistered(const CLSID& clsid) {
    std::string key = "SOFTWARE\\Microsoft\\MMC\\SnapIns\\" + kv::platform::GuidText(clsid);
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

std::string DefaultDocument() {
    return kv::platform::MachineRoot() + "/Tsl3/Tsl3.msc";
}

}  // namespace

int main(int argc, char** argv) {
    std::string document;
    int port = 8043;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (kv::platform::IsHelpArgument(argv[i])) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--port") {
            if (i + 1 >= argc) return Fail("--port needs a number");
            char* end = nullptr;
            long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 65535) return Fail(std::string("not a port: ") + argv[i]);
            port = static_cast<int>(value);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fputs(kUsage, stderr);
            return Fail("unknown option " + arg);
        } else if (document.empty()) {
            document = arg;
        } else {
            return Fail("one console document at a time");
        }
    }
    if (document.empty()) document = DefaultDocument();

    kv::mmc::ConsoleDocument opened;
    std::string error;
    if (!kv::mmc::ReadConsoleDocument(document, &opened, &error)) return Fail(error);
    if (!SnapinRegistered(opened.snapin))
        return Fail("the snap-in " + kv::platform::GuidText(opened.snapin) + " of " + document +
                    " is not registered (HKLM\\SOFTWARE\\Microsoft\\MMC\\SnapIns)");

    kv::mmc::HostOptions options;
    options.snapin = opened.snapin;
    options.title = opened.title;
    const char* version = std::getenv("KESTRAVA_MMCVER");
    options.version2 = !(version && std::strncmp(version, "1.", 2) == 0);

    // Signals are taken by one thread, so that none lands inside the snap-in.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    kv::mmc::ConsoleHost host(options);
    kv::mmc::WebServer server(host);
    if (!server.Bind(port, &error)) return Fail(error);
    // The snap-in starts before anyone connects, as the console opening a
    // document; a message box it shows then waits for the first browser.
    host.Start();
    std::printf("%s\n", server.Address().c_str());
    std::fflush(stdout);

    std::thread signalWaiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        server.Stop();
    });
    server.Run();
    host.Stop();
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return 0;
}
