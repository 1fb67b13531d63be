#include "platform/ui/DialogTemplate.h"

#include <algorithm>
#include <cstdlib>

#include "platform/library/Library.h"

const KvDialogTemplate* FindDialogTemplate(HINSTANCE module, const char* name) {
    if (name == nullptr) return nullptr;
    uint32_t id = 0;
    uintptr_t value = reinterpret_cast<uintptr_t>(name);
    if ((value >> 16) == 0) {
        id = static_cast<uint32_t>(value);
    } else {
        if (name[0] != '#') return nullptr;
        char* end = nullptr;
        unsigned long parsed = std::strtoul(name + 1, &end, 10);
        if (end == name + 1 || *end != '\0' || parsed > 0xFFFF) return nullptr;
        id = static_cast<uint32_t>(parsed);
    }
    if (module == nullptr) module = GetModuleHandleA(nullptr);
    auto* table = static_cast<const KvDialogTableData*>(kv::platform::ModuleData(module, KV_DIALOG_TABLE_SYMBOL));
    if (table == nullptr) return nullptr;
    const KvDialogTemplate* end = table->dialogs + table->count;
    const KvDialogTemplate* hit = std::lower_bound(
        table->dialogs, end, id, [](const KvDialogTemplate& d, uint32_t key) { return d.id < key; });
    return hit != end && hit->id == id ? hit : nullptr;
}
