#include "platform/mmc/host/ResourcePages.h"

#include <strings.h>

#include "platform/library/Library.h"
#include "platform/mmc/HtmlResource.h"

namespace kv::mmc {

bool ParseResourceAddress(const std::string& address, std::string* module, std::string* page) {
    static const std::string scheme = "res://";
    if (address.size() <= scheme.size() || strncasecmp(address.c_str(), scheme.c_str(), scheme.size()) != 0) return false;
    std::string rest = address.substr(scheme.size());
    size_t anchor = rest.find('#');
    if (anchor != std::string::npos) rest.erase(anchor);
    size_t slash = rest.find_last_of('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= rest.size()) return false;
    *module = rest.substr(0, slash);
    *page = rest.substr(slash + 1);
    return true;
}

bool LoadResourcePage(const std::string& module, const std::string& page, std::string* html) {
    HMODULE handle = GetModuleHandleA(module.c_str());
    if (handle == nullptr) return false;
    using Accessor = const KvHtmlResourceTable* (*)();
    auto accessor = reinterpret_cast<Accessor>(GetProcAddress(handle, KV_HTML_TABLE_SYMBOL));
    if (accessor == nullptr) return false;
    const KvHtmlResourceTable* table = accessor();
    if (table == nullptr) return false;
    for (uint32_t i = 0; i < table->count; ++i) {
        const KvHtmlResource& entry = table->entries[i];
        if (entry.name != nullptr && strcasecmp(entry.name, page.c_str()) == 0) {
            html->assign(entry.data, entry.size);
            return true;
        }
    }
    return false;
}

}  // namespace kv::mmc
