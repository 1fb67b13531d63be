// Context menus: the snap-in's items collected at their insertion points,
// arranged as the console arranges them (top items, "New" and "All Tasks"
// submenus), followed by the console verbs of the selection.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"
#include "platform/mmc/host/HostSnapshot.h"
#include "platform/mmc/host/HostUnknown.h"

namespace kv::mmc {

class ConsoleVerbs;

class ContextMenuCallback : public IContextMenuCallback {
public:
    KV_HOST_UNKNOWN
    STDMETHODIMP AddItem(CONTEXTMENUITEM* item) override;

    struct Entry {
        std::u16string name, status;
        LONG commandId = 0;
        LONG insertionPoint = 0;
        LONG flags = 0;
        LONG specialFlags = 0;
    };
    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    void* FindInterface(REFIID riid);
    std::vector<Entry> m_entries;
};

// The menu shown for the entries and the verbs; snap-in commands become
// "cmd:<id>", verbs "verb:<name>".
std::vector<MenuItemView> ArrangeContextMenu(const std::vector<ContextMenuCallback::Entry>& entries,
                                             const ConsoleVerbs& verbs);

}  // namespace kv::mmc
