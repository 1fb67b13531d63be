// The front end's files (platform/mmc/web), carried in the program.
#pragma once

#include <cstddef>
#include <string>

namespace kv::mmc {

struct WebAsset {
    const char* name;
    const char* data;
    size_t size;
};

// Null for a name that is not one of the files.
const WebAsset* FindWebAsset(const std::string& name);

}  // namespace kv::mmc
