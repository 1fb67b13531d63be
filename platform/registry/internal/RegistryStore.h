// How keys and values lie on disk: a key is a folder, a value a regular file
// holding its type (4 bytes, little-endian) and then its data. Names are
// escaped so that any registry name is one safe file name.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform::registry {

enum class EntryKind { Key, Value };

struct StoredValue {
    DWORD type = 0;
    std::vector<unsigned char> data;
};

std::string EncodeName(const std::string& name);
std::string DecodeName(const std::string& fileName);

// Finds the entry whose name equals name without regard to ASCII case; found
// receives its file name as stored.
bool FindEntry(const std::string& folder, const std::string& name, EntryKind kind,
               std::string& found);
// Decoded names, in case-insensitive order.
void ListEntries(const std::string& folder, EntryKind kind, std::vector<std::string>& names);

LONG ReadValue(const std::string& folder, const std::string& name, StoredValue& value);
LONG WriteValue(const std::string& folder, const std::string& name, const StoredValue& value);
LONG DeleteValue(const std::string& folder, const std::string& name);

bool SameNameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace kv::platform::registry
