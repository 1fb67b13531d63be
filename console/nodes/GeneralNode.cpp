#include "console/nodes/GeneralNode.h"

#include "common/ResourceModule.h"
#include "console/module/ConsoleGuids.h"
#include "console/nodes/ResultPages.h"
#include "console/pages/ExtListPage.h"
#include "console/pages/GenSetPage.h"
#include "console/report/VersionPage.h"

namespace {

struct LinkStrings {
    UINT name;
    UINT address;
};
const LinkStrings kLinks[] = {{84, 81}, {27, 56}, {28, 57}, {29, 58}};

}  // namespace

const GUID& CGeneralNode::NodeType() const { return NODETYPE_General; }

std::string CGeneralNode::DisplayName() const { return ResourceText(12); }

HRESULT CGeneralNode::OnExpand(IConsoleNameSpace2* nameSpace) {
    DeleteChildren();
    m_children.push_back(new CVersionNode(m_pComponentData));
    for (const LinkStrings& link : kLinks) m_children.push_back(new CLinkNode(m_pComponentData, link.name, link.address));
    for (CNode* child : m_children) {
        HRESULT hr = InsertScopeChild(nameSpace, child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CGeneralNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    return InformationViewType(m_pComponentData, PAGE_GENERAL, this, viewType, viewOptions);
}

HRESULT CGeneralNode::OnInitOcx(IUnknown* control) {
    return FillMessageView(control, "General",
                           "To change the general settings, right-click the \"General\" node and choose Properties.");
}

void CGeneralNode::SetVerbs(IConsoleVerb* verbs, bool scopePane) {
    CNode::SetVerbs(verbs, scopePane);
    ShowVerb(verbs, MMC_VERB_PROPERTIES);
}

HRESULT CGeneralNode::CreatePropertyPages(IPropertySheetCallback* callback, LONG_PTR notifyHandle) {
    // These pages report nothing back to the view. The console keeps the
    // handle, and the snap-in that holds it, until it is freed.
    if (notifyHandle != 0) MMCFreeNotifyHandle(notifyHandle);
    for (int which = 0; which < 2; ++which) {
        CPropertyPage* page = which == 0 ? static_cast<CPropertyPage*>(new CGenSetPage()) : new CExtListPage();
        page->m_bAutoDelete = TRUE;
        HPROPSHEETPAGE handle = CreatePropertySheetPage(&page->m_psp);
        if (handle == nullptr || FAILED(callback->AddPage(handle))) {
            if (handle != nullptr) DestroyPropertySheetPage(handle);
            else delete page;
            return E_UNEXPECTED;
        }
    }
    return S_OK;
}

const GUID& CVersionNode::NodeType() const { return NODETYPE_Version; }

std::string CVersionNode::DisplayName() const { return ResourceText(55); }

HRESULT CVersionNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    return PageViewType(ResourcePageAddress(PAGE_VERSION, this), viewType, viewOptions);
}

void CVersionNode::SetVerbs(IConsoleVerb* verbs, bool scopePane) {
    CNode::SetVerbs(verbs, scopePane);
    ShowVerb(verbs, MMC_VERB_PROPERTIES);
    if (verbs != nullptr) verbs->SetDefaultVerb(MMC_VERB_PROPERTIES);
}

HRESULT CVersionNode::CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR notifyHandle) {
    if (notifyHandle != 0) MMCFreeNotifyHandle(notifyHandle);
    if (callback == nullptr) return E_POINTER;
    auto* page = new CVersionPage;
    page->m_bAutoDelete = TRUE;
    HPROPSHEETPAGE handle = CreatePropertySheetPage(&page->m_psp);
    HRESULT result = callback->AddPage(handle);
    if (FAILED(result)) DestroyPropertySheetPage(handle);
    return result;
}

const GUID& CLinkNode::NodeType() const { return NODETYPE_Link; }

std::string CLinkNode::DisplayName() const { return ResourceText(m_nameId); }

std::string CLinkNode::Address() const { return ResourceText(m_addressId); }

HRESULT CLinkNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    return PageViewType(Address(), viewType, viewOptions);
}
