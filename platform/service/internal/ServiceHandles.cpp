#include "platform/service/internal/ServiceHandles.h"

#include <mutex>
#include <unordered_set>

#include "platform/win/LastError.h"

namespace kv::platform::service {
namespace {

std::mutex g_handlesLock;
std::unordered_set<KvScHandle*>& LiveHandles() {
    static auto* handles = new std::unordered_set<KvScHandle*>();  // outlives every static destructor
    return *handles;
}

}  // namespace

SC_HANDLE NewHandle(KvScHandle::Kind kind, DWORD access, const std::string& name, const std::string& id) {
    auto* handle = new KvScHandle{kind, access, name, id};
    std::lock_guard<std::mutex> lock(g_handlesLock);
    LiveHandles().insert(handle);
    return handle;
}

KvScHandle* CheckHandle(SC_HANDLE handle, KvScHandle::Kind kind) {
    std::lock_guard<std::mutex> lock(g_handlesLock);
    if (handle == nullptr || LiveHandles().count(handle) == 0 || handle->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return handle;
}

bool ReleaseHandle(SC_HANDLE handle) {
    {
        std::lock_guard<std::mutex> lock(g_handlesLock);
        if (handle == nullptr || LiveHandles().erase(handle) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
    }
    delete handle;
    return true;
}

}  // namespace kv::platform::service
