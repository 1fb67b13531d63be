#include "platform/resource/StringResource.h"

#include <algorithm>
#include <cstring>

#include "platform/library/Library.h"
#include "platform/resource/StringTable.h"

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int cchMax) {
    if (module == nullptr || buffer == nullptr || cchMax <= 0) return 0;
    auto* table = reinterpret_cast<const KvStringTableData*>(
        kv::platform::ModuleData(module, KV_STRING_TABLE_SYMBOL));
    if (table == nullptr) return 0;
    const KvStringEntry* end = table->entries + table->count;
    const KvStringEntry* hit = std::lower_bound(
        table->entries, end, id, [](const KvStringEntry& e, UINT key) { return e.id < key; });
    if (hit == end || hit->id != id) return 0;
    size_t length = std::min(std::strlen(hit->text), static_cast<size_t>(cchMax - 1));
    std::memcpy(buffer, hit->text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
