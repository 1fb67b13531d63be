// What an open key handle holds: the key's folder and the change
// notifications pending on it, which end when the key is closed.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "registry internals are not for use outside platform/"
#endif

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry/internal/KeyChangeWatch.h"

struct KvRegKey {
    explicit KvRegKey(std::string path) : folder(std::move(path)) {}
    const std::string folder;  // POSIX folder of the key
    std::mutex watchLock;
    std::vector<std::unique_ptr<kv::platform::registry::KeyChangeWatch>> watches;
};
