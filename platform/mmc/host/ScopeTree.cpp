#include "platform/mmc/host/ScopeTree.h"

#include <algorithm>

#include "platform/text/CodePage.h"

namespace kv::mmc {

ScopeTree::ScopeTree() {
    ScopeItem root;
    root.id = kRoot;
    root.nameCallback = true;  // the snap-in names its static node
    m_items[kRoot] = root;
}

namespace {

void ApplyFields(ScopeItem& target, const SCOPEDATAITEM& item) {
    if (item.mask & SDI_STR) {
        if (item.displayname == MMC_CALLBACK) {
            target.nameCallback = true;
            target.name.clear();
        } else {
            target.nameCallback = false;
            target.name = item.displayname ? std::u16string(item.displayname) : std::u16string();
        }
    }
    if (item.mask & SDI_IMAGE) target.image = item.nImage;
    if (item.mask & SDI_OPENIMAGE) target.openImage = item.nOpenImage;
    if (item.mask & SDI_STATE) target.state = item.nState;
    if (item.mask & SDI_PARAM) target.cookie = item.lParam;
    if (item.mask & SDI_CHILDREN) target.childCount = item.cChildren;
}

}  // namespace

HRESULT ScopeTree::Insert(SCOPEDATAITEM* item) {
    if (item == nullptr) return E_POINTER;
    HSCOPEITEM parent = item->relativeID;
    HSCOPEITEM sibling = 0;
    bool before = false;
    if (item->mask & (SDI_PREVIOUS | SDI_NEXT)) {
        sibling = item->relativeID;
        const ScopeItem* s = Find(sibling);
        if (s == nullptr || s->id == kRoot) return E_INVALIDARG;
        parent = s->parent;
        before = (item->mask & SDI_NEXT) != 0;  // inserted before the next item
    }
    ScopeItem* p = Find(parent);
    if (p == nullptr) return E_INVALIDARG;
    ScopeItem created;
    created.id = m_next++;
    created.parent = parent;
    ApplyFields(created, *item);
    if (!(item->mask & SDI_IMAGE)) created.image = -1;
    if (!(item->mask & SDI_OPENIMAGE)) created.openImage = created.image;
    auto& order = p->children;
    if (sibling != 0) {
        auto at = std::find(order.begin(), order.end(), sibling);
        order.insert(before ? at : at + 1, created.id);
    } else if (item->mask & SDI_FIRST) {
        order.insert(order.begin(), created.id);
    } else {
        order.push_back(created.id);
    }
    item->ID = created.id;
    m_items[created.id] = std::move(created);
    return S_OK;
}

void ScopeTree::RemoveSubtree(HSCOPEITEM id, std::vector<HSCOPEITEM>* removed) {
    auto it = m_items.find(id);
    if (it == m_items.end()) return;
    std::vector<HSCOPEITEM> children = it->second.children;
    for (HSCOPEITEM child : children) RemoveSubtree(child, removed);
    if (removed) removed->push_back(id);
    m_items.erase(id);
}

HRESULT ScopeTree::Delete(HSCOPEITEM id, bool withItem, std::vector<HSCOPEITEM>* removed) {
    ScopeItem* item = Find(id);
    if (item == nullptr) return E_INVALIDARG;
    std::vector<HSCOPEITEM> children = item->children;
    for (HSCOPEITEM child : children) RemoveSubtree(child, removed);
    item->children.clear();
    if (withItem && id != kRoot) {
        ScopeItem* parent = Find(item->parent);
        if (parent) parent->children.erase(std::remove(parent->children.begin(), parent->children.end(), id), parent->children.end());
        if (removed) removed->push_back(id);
        m_items.erase(id);
    }
    return S_OK;
}

HRESULT ScopeTree::Set(const SCOPEDATAITEM& item) {
    ScopeItem* target = Find(item.ID);
    if (target == nullptr) return E_INVALIDARG;
    ApplyFields(*target, item);
    return S_OK;
}

HRESULT ScopeTree::Get(SCOPEDATAITEM* item) const {
    if (item == nullptr) return E_POINTER;
    const ScopeItem* source = Find(item->ID);
    if (source == nullptr) return E_INVALIDARG;
    // The name is the console's own copy, as on Windows: valid while the item is.
    if (item->mask & SDI_STR) item->displayname = source->nameCallback ? MMC_CALLBACK : const_cast<LPOLESTR>(source->name.c_str());
    if (item->mask & SDI_IMAGE) item->nImage = source->image;
    if (item->mask & SDI_OPENIMAGE) item->nOpenImage = source->openImage;
    if (item->mask & SDI_STATE) item->nState = source->state;
    if (item->mask & SDI_PARAM) item->lParam = source->cookie;
    if (item->mask & SDI_CHILDREN) item->cChildren = source->childCount < 0 ? static_cast<int>(source->children.size()) : source->childCount;
    return S_OK;
}

const ScopeItem* ScopeTree::Find(HSCOPEITEM id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : &it->second;
}

ScopeItem* ScopeTree::Find(HSCOPEITEM id) {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : &it->second;
}

const ScopeItem* ScopeTree::FindByCookie(LPARAM cookie) const {
    for (const auto& [id, item] : m_items)
        if (item.cookie == cookie) return &item;
    return nullptr;
}

bool ScopeTree::IsWithin(HSCOPEITEM id, HSCOPEITEM ancestor) const {
    for (const ScopeItem* item = Find(id); item != nullptr; item = item->parent ? Find(item->parent) : nullptr)
        if (item->id == ancestor) return true;
    return false;
}

}  // namespace kv::mmc
