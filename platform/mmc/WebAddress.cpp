#include "platform/mmc/WebAddress.h"

#include <strings.h>

#include <cstring>
#include <mutex>

namespace {

std::mutex g_lock;
KvWebAddressHandler g_handler = nullptr;
void* g_context = nullptr;

bool IsWebAddress(const char* address) {
    if (address == nullptr || std::strlen(address) > 4096) return false;
    if (strncasecmp(address, "http://", 7) != 0 && strncasecmp(address, "https://", 8) != 0) return false;
    for (const char* p = address; *p; ++p)
        if (static_cast<unsigned char>(*p) < 0x20) return false;
    return true;
}

}  // namespace

bool KvOpenWebAddress(const char* address) {
    if (!IsWebAddress(address)) return false;
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_handler == nullptr) return false;
    g_handler(address, g_context);
    return true;
}

void KvSetWebAddressHandler(KvWebAddressHandler handler, void* context) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_handler = handler;
    g_context = context;
}
