// The scope pane's items, as the console keeps them for IConsoleNameSpace:
// handles, parents, order, names (or the snap-in's callback), images and
// the snap-in's cookie.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"

namespace kv::mmc {

struct ScopeItem {
    HSCOPEITEM id = 0;
    HSCOPEITEM parent = 0;
    std::vector<HSCOPEITEM> children;
    std::u16string name;
    bool nameCallback = false;
    int image = -1;
    int openImage = -1;
    LPARAM cookie = 0;
    int childCount = -1;     // what the snap-in said (SDI_CHILDREN); -1: not said
    bool expandedOnce = false;  // the snap-in was asked for the children
    UINT state = 0;
};

class ScopeTree {
public:
    ScopeTree();
    HSCOPEITEM Root() const { return kRoot; }

    // Fills item->ID. Fails with E_INVALIDARG for an unknown parent/sibling.
    HRESULT Insert(SCOPEDATAITEM* item);
    // Removes the item with its children, or only the children; the removed
    // handles are appended to `removed`.
    HRESULT Delete(HSCOPEITEM id, bool withItem, std::vector<HSCOPEITEM>* removed);
    HRESULT Set(const SCOPEDATAITEM& item);
    HRESULT Get(SCOPEDATAITEM* item) const;

    const ScopeItem* Find(HSCOPEITEM id) const;
    ScopeItem* Find(HSCOPEITEM id);
    // The item holding a cookie (the first one in tree order); null if none.
    const ScopeItem* FindByCookie(LPARAM cookie) const;
    // Whether `id` is `ancestor` or lies below it.
    bool IsWithin(HSCOPEITEM id, HSCOPEITEM ancestor) const;

private:
    static constexpr HSCOPEITEM kRoot = 1;
    void RemoveSubtree(HSCOPEITEM id, std::vector<HSCOPEITEM>* removed);
    std::map<HSCOPEITEM, ScopeItem> m_items;
    HSCOPEITEM m_next = kRoot + 1;
};

}  // namespace kv::mmc
