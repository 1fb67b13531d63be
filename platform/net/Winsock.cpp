#include "platform/net/Winsock.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<int> g_startups{0};
}

int WSAStartup(WORD versionRequested, WSADATA* data) {
    if (data == nullptr) return WSAVERNOTSUPPORTED;
    std::memset(data, 0, sizeof *data);
    data->wVersion = MAKEWORD(1, 1);
    data->wHighVersion = MAKEWORD(1, 1);
    std::strcpy(data->szDescription, "BSD sockets");
    std::strcpy(data->szSystemStatus, "Running");
    if (LOBYTE(versionRequested) < 1 || (LOBYTE(versionRequested) == 1 && HIBYTE(versionRequested) < 1))
        return WSAVERNOTSUPPORTED;
    ++g_startups;
    return 0;
}

int WSACleanup() {
    if (g_startups.load() == 0) return -1;
    --g_startups;
    return 0;
}
