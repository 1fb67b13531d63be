#include "console/nodes/Node.h"

#include <cstring>

#include "console/snapin/Component.h"
#include "platform/text/CodePage.h"

const char* const kNodeImageNames[IMAGE_COUNT] = {
    "network-server",              // root
    "drive-harddisk",              // monitored files
    "x-office-calendar",           // scan job, enabled
    "folder",                      // scan jobs
    "x-office-calendar-symbolic",  // scan job, disabled
    "preferences-system-symbolic", // general
    "help-about-symbolic",         // version
    "text-html",                   // links
};

CNode::~CNode() { DeleteChildren(); }

void CNode::DeleteChildren() {
    for (CNode* child : m_children) delete child;
    m_children.clear();
}

HRESULT CNode::OnExpand(IConsoleNameSpace2*) { return S_OK; }

HRESULT CNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    if (viewType != nullptr) *viewType = nullptr;
    if (viewOptions != nullptr) *viewOptions = MMC_VIEW_OPTIONS_NONE;
    return S_FALSE;
}

HRESULT CNode::OnShow(CComponent*, bool) { return S_OK; }

void CNode::FillResults(CComponent*) {}

std::string CNode::ResultColumnText(int column) const { return column == 0 ? DisplayName() : std::string(); }

HRESULT CNode::OnInitOcx(IUnknown*) { return S_OK; }

void CNode::SetVerbs(IConsoleVerb* verbs, bool) {
    if (verbs != nullptr) ShowVerb(verbs, MMC_VERB_REFRESH);
}

void ShowVerb(IConsoleVerb* verbs, MMC_CONSOLE_VERB verb) {
    if (verbs == nullptr) return;
    verbs->SetVerbState(verb, HIDDEN, FALSE);
    verbs->SetVerbState(verb, ENABLED, TRUE);
}

HRESULT AddMenuCommand(IContextMenuCallback* callback, const std::string& caption, const std::string& status,
                       long commandId, long insertionPoint) {
    std::u16string name = kv::platform::Utf8ToUtf16(caption);
    std::u16string statusText = kv::platform::Utf8ToUtf16(status);
    CONTEXTMENUITEM item{};
    item.strName = name.data();
    item.strStatusBarText = statusText.data();
    item.lCommandID = commandId;
    item.lInsertionPointID = insertionPoint;
    return callback->AddItem(&item);
}

HRESULT CNode::AddMenuItems(IContextMenuCallback*, long*) { return S_OK; }

HRESULT CNode::Command(long, CComponent*) { return S_FALSE; }

HRESULT CNode::OnDelete(CComponent*) { return S_FALSE; }

HRESULT CNode::OnRename(const std::string&, CComponent*) { return S_FALSE; }

HRESULT CNode::OnRefresh(CComponent* view) {
    if (view != nullptr) view->RefreshIfShowing(this);
    return S_OK;
}

HRESULT CNode::InsertScopeChild(IConsoleNameSpace2* nameSpace, CNode* child) {
    if (nameSpace == nullptr || child == nullptr) return E_POINTER;
    SCOPEDATAITEM item{};
    item.mask = SDI_STR | SDI_IMAGE | SDI_OPENIMAGE | SDI_PARAM | SDI_CHILDREN | SDI_PARENT;
    item.displayname = MMC_CALLBACK;
    item.nImage = child->Image();
    item.nOpenImage = child->OpenImage();
    item.cChildren = child->HasScopeChildren() ? 1 : 0;
    item.lParam = static_cast<LPARAM>(child->Cookie());
    item.relativeID = m_hScopeItem;
    HRESULT hr = nameSpace->InsertItem(&item);
    if (SUCCEEDED(hr)) child->m_hScopeItem = item.ID;
    return hr;
}

LPOLESTR AllocHostText(const std::string& text) {
    std::u16string wide = kv::platform::Utf8ToUtf16(text);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
    return copy;
}
