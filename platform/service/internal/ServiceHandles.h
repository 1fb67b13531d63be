// The handles of the manager and of services. A handle is valid from its
// open to its close; a closed or foreign pointer is refused with
// ERROR_INVALID_HANDLE instead of being followed.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <string>

#include "platform/service/Service.h"

struct KvScHandle {
    enum class Kind { Manager, Service } kind;
    DWORD access = 0;
    std::string name;  // the service's name as stored
    std::string id;    // the service's identity when opened
};

namespace kv::platform::service {

SC_HANDLE NewHandle(KvScHandle::Kind kind, DWORD access, const std::string& name, const std::string& id);
// The live handle of that kind, or null with ERROR_INVALID_HANDLE set.
KvScHandle* CheckHandle(SC_HANDLE handle, KvScHandle::Kind kind);
bool ReleaseHandle(SC_HANDLE handle);

}  // namespace kv::platform::service
