#include "console/nodes/ProfilesNode.h"

#include "common/ResourceModule.h"
#include "console/data/Profiles.h"
#include "console/dialogs/NewProfileDlg.h"
#include "console/module/ConsoleGuids.h"
#include "console/nodes/ProfileNode.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "platform/text/CodePage.h"
#include "platform/ui/MessageBox.h"

const GUID& CProfilesNode::NodeType() const { return NODETYPE_Profiles; }

std::string CProfilesNode::DisplayName() const { return ResourceText(3); }

void CProfilesNode::ReadProfiles() {
    DeleteChildren();
    std::vector<CProfileRecord> records;
    ReadProfileRecords(m_pComponentData->m_data, records);
    for (const CProfileRecord& record : records) m_children.push_back(new CProfileNode(m_pComponentData, this, record));
}

HRESULT CProfilesNode::OnExpand(IConsoleNameSpace2* nameSpace) {
    ReadProfiles();
    for (CNode* child : m_children) {
        HRESULT hr = InsertScopeChild(nameSpace, child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CProfilesNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    if (viewType != nullptr) *viewType = nullptr;
    // The list is filled with the jobs themselves, in three columns.
    if (viewOptions != nullptr) *viewOptions = MMC_VIEW_OPTIONS_EXCLUDE_SCOPE_ITEMS_FROM_LIST;
    return S_FALSE;
}

HRESULT CProfilesNode::OnShow(CComponent* view, bool selecting) {
    if (!selecting || view == nullptr) return S_OK;
    if (!m_bExpanded) {
        m_bExpanded = true;
        OnExpand(m_pComponentData->m_pNameSpace);
    }
    if (view->m_pHeader != nullptr) {
        const std::u16string name = kv::platform::Utf8ToUtf16(ResourceText(7));
        const std::u16string mailTo = kv::platform::Utf8ToUtf16(ResourceText(8));
        const std::u16string status = kv::platform::Utf8ToUtf16(ResourceText(9));
        view->m_pHeader->InsertColumn(0, name.c_str(), LVCFMT_LEFT, 160);
        view->m_pHeader->InsertColumn(1, mailTo.c_str(), LVCFMT_LEFT, 220);
        view->m_pHeader->InsertColumn(2, status.c_str(), LVCFMT_LEFT, 90);
    }
    FillResults(view);
    return S_OK;
}

void CProfilesNode::FillResults(CComponent* view) {
    if (view->m_pResultData != nullptr) {
        view->m_pResultData->DeleteAllRsltItems();
        for (CNode* child : m_children) {
            RESULTDATAITEM item{};
            item.mask = RDI_STR | RDI_IMAGE | RDI_PARAM;
            item.str = MMC_CALLBACK;
            item.nImage = child->Image();
            item.lParam = static_cast<LPARAM>(child->Cookie());
            view->m_pResultData->InsertItem(&item);
        }
    }
}

HRESULT CProfilesNode::AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed) {
    if (callback == nullptr) return E_POINTER;
    if (insertionAllowed != nullptr && !(*insertionAllowed & CCM_INSERTIONALLOWED_NEW)) return S_OK;
    const std::string caption = ResourceText(14);
    return AddMenuCommand(callback, caption, caption, IDM_NEW_PROFILE, CCM_INSERTIONPOINTID_PRIMARY_NEW);
}

HRESULT CProfilesNode::Command(long commandId, CComponent*) {
    if (commandId != IDM_NEW_PROFILE) return S_FALSE;
    std::string name;
    if (!AskNewProfileName(name)) return S_OK;
    CreateProfile(name);
    return S_OK;
}

CProfileNode* CProfilesNode::FindProfile(const std::string& name) const {
    for (CNode* child : m_children)
        if (static_cast<CProfileNode*>(child)->m_record.name == name) return static_cast<CProfileNode*>(child);
    return nullptr;
}

CProfileNode* CProfilesNode::CreateProfile(const std::string& name) {
    if (!m_bExpanded) {
        // The new job must not appear twice once the node reads the table.
        m_bExpanded = true;
        OnExpand(m_pComponentData->m_pNameSpace);
    }
    std::vector<std::string> names;
    for (CNode* child : m_children) names.push_back(static_cast<CProfileNode*>(child)->m_record.name);
    UINT refusal = CheckProfileName(name, names);
    if (refusal != 0) {
        m_pComponentData->ConsoleMessageBox(refusal, 59, MB_OK | MB_ICONSTOP);
        return nullptr;
    }
    const std::string subject = ResourceText(62);
    CProfileRecord record;
    record.id = InsertProfile(m_pComponentData->m_data, name, subject);
    record.name = name;
    record.mailTo = g_strDefaultMailTo;
    record.mailFrom = g_strDefaultMailFrom;
    record.subject = subject;
    record.priority = 1;
    record.enabled = false;
    auto* node = new CProfileNode(m_pComponentData, this, record);
    m_children.push_back(node);
    if (m_pComponentData->m_pNameSpace != nullptr) {
        InsertScopeChild(m_pComponentData->m_pNameSpace, node);
        if (m_pComponentData->m_pConsole != nullptr && node->m_hScopeItem != 0)
            m_pComponentData->m_pConsole->SelectScopeItem(node->m_hScopeItem);
    }
    InitProfiles(m_pComponentData->m_data);
    m_pComponentData->UpdateAllViews(this);
    node->OpenPropertySheet();
    return node;
}

void CProfilesNode::RemoveProfile(CProfileNode* node) {
    for (auto it = m_children.begin(); it != m_children.end(); ++it) {
        if (*it == node) {
            for (CComponent* view : OpenComponents())
                if (view->m_pShownNode == node) view->m_pShownNode = nullptr;
            m_children.erase(it);
            delete node;
            return;
        }
    }
}
