#include "console/nodes/ProfileNode.h"

#include "common/ResourceModule.h"
#include "console/data/Profiles.h"
#include "console/module/ConsoleGuids.h"
#include "console/nodes/ProfilesNode.h"
#include "console/nodes/ResultPages.h"
#include "console/pages/EmailPage.h"
#include "console/pages/MonFilesPage.h"
#include "console/pages/SchedulePage.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/ProfileChange.h"
#include "platform/text/CodePage.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/afx/Wnd.h"

CProfileNode::CProfileNode(CComponentData* componentData, CProfilesNode* parent, const CProfileRecord& record)
    : CNode(componentData), m_pParent(parent), m_record(record) {
    if (m_record.id == 1) {
        g_strDefaultMailTo = m_record.mailTo;
        g_strDefaultMailFrom = m_record.mailFrom;
    }
    m_task.InitDefaults(m_record.id);
    m_task.Load();
}

const GUID& CProfileNode::NodeType() const { return NODETYPE_Profile; }

HRESULT CProfileNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    return InformationViewType(m_pComponentData, PAGE_PROFILE, this, viewType, viewOptions);
}

HRESULT CProfileNode::OnInitOcx(IUnknown* control) {
    return FillMessageView(control, "Scheduled scan",
                           "To change the e-mail, schedule and monitored files of this scan job, right-click the "
                           "scheduled-scan node and choose Properties.");
}

std::string CProfileNode::ResultColumnText(int column) const {
    switch (column) {
        case 0: return m_record.name;
        case 1: return m_record.mailTo;
        case 2: return ResourceText(m_record.enabled ? 10 : 11);
        default: return std::string();
    }
}

void CProfileNode::SetVerbs(IConsoleVerb* verbs, bool scopePane) {
    CNode::SetVerbs(verbs, scopePane);
    if (verbs == nullptr) return;
    ShowVerb(verbs, MMC_VERB_DELETE);
    ShowVerb(verbs, MMC_VERB_RENAME);
    ShowVerb(verbs, MMC_VERB_PROPERTIES);
}

HRESULT CProfileNode::AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed) {
    if (callback == nullptr) return E_POINTER;
    if (insertionAllowed != nullptr && !(*insertionAllowed & CCM_INSERTIONALLOWED_TOP)) return S_OK;
    const std::string caption = ResourceText(68);
    return AddMenuCommand(callback, caption, caption, IDM_SCAN_NOW, CCM_INSERTIONPOINTID_PRIMARY_TOP);
}

HRESULT CProfileNode::Command(long commandId, CComponent*) {
    if (commandId != IDM_SCAN_NOW) return S_FALSE;
    ScanNow();
    return S_OK;
}

void CProfileNode::ScanNow() {
    HWND mainWindow = nullptr;
    if (m_pComponentData->m_pConsole != nullptr) m_pComponentData->m_pConsole->GetMainWindow(&mainWindow);
    m_task.ScanNow(mainWindow);
}

void CProfileNode::OpenPropertySheet() {
    CComponentData* owner = m_pComponentData;
    if (owner->m_pConsole == nullptr) return;
    IPropertySheetProvider* provider = nullptr;
    if (FAILED(owner->m_pConsole->QueryInterface(IID_IPropertySheetProvider, reinterpret_cast<void**>(&provider))) ||
        provider == nullptr)
        return;
    IDataObject* dataObject = nullptr;
    if (SUCCEEDED(owner->QueryDataObject(Cookie(), CCT_SCOPE, &dataObject)) && dataObject != nullptr) {
        std::u16string title = kv::platform::Utf8ToUtf16(m_record.name + " Properties");
        if (SUCCEEDED(provider->CreatePropertySheet(title.c_str(), TRUE, Cookie(), dataObject, 0))) {
            HWND mainWindow = nullptr;
            owner->m_pConsole->GetMainWindow(&mainWindow);
            if (SUCCEEDED(provider->AddPrimaryPages(static_cast<IComponentData*>(owner), TRUE, nullptr, TRUE)))
                provider->Show(reinterpret_cast<LONG_PTR>(mainWindow), 0);
        }
        dataObject->Release();
    }
    provider->Release();
}

HRESULT CProfileNode::CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR notifyHandle) {
    if (callback == nullptr) return E_POINTER;
    CPropertyPage* pages[] = {new CEmailPage(this, notifyHandle), new CSchedulePage(this), new CMonFilesPage(this)};
    HRESULT result = S_OK;
    for (CPropertyPage* page : pages) {
        page->m_bAutoDelete = TRUE;
        HPROPSHEETPAGE handle = CreatePropertySheetPage(&page->m_psp);
        if (handle == nullptr || FAILED(callback->AddPage(handle))) {
            if (handle != nullptr) DestroyPropertySheetPage(handle);
            else delete page;
            result = E_UNEXPECTED;
        }
    }
    return result;
}

HRESULT CProfileNode::OnDelete(CComponent* view) { return DeleteProfile(view); }

HRESULT CProfileNode::DeleteProfile(CComponent* view) {
    CComponentData* owner = m_pComponentData;
    const UINT question = IsProfileInUse(owner->m_data, m_record.id) ? 17 : 15;
    if (owner->ConsoleMessageBox(question, 16, MB_YESNO | MB_ICONQUESTION) != IDYES) return S_FALSE;

    // Open pages would write to a job that no longer exists.
    if (owner->m_pConsole != nullptr) {
        IPropertySheetProvider* provider = nullptr;
        if (SUCCEEDED(owner->m_pConsole->QueryInterface(IID_IPropertySheetProvider, reinterpret_cast<void**>(&provider))) &&
            provider != nullptr) {
            IComponent* component = view;
            HRESULT open = provider->FindPropertySheet(Cookie(), component, nullptr);
            provider->Release();
            if (open == S_OK) {
                owner->ConsoleMessageBox(65, 57344, MB_OK | MB_ICONSTOP);
                return S_FALSE;
            }
        }
    }

    {
        CWaitCursor wait;
        RunProfileRemoval(owner, m_record.id);
    }
    DeleteProfileRow(owner->m_data, m_record.id);
    if (owner->m_pNameSpace != nullptr && m_hScopeItem != 0) owner->m_pNameSpace->DeleteItem(m_hScopeItem, TRUE);
    m_task.Delete();
    CProfilesNode* parent = m_pParent;
    parent->RemoveProfile(this);  // deletes this node
    InitProfiles(owner->m_data);
    owner->UpdateAllViews(parent);
    return S_OK;
}

HRESULT CProfileNode::OnRename(const std::string& newName, CComponent*) {
    if (newName.empty() || newName == m_record.name) return S_FALSE;
    std::vector<std::string> others;
    for (CNode* sibling : m_pParent->m_children)
        if (sibling != this) others.push_back(static_cast<CProfileNode*>(sibling)->m_record.name);
    UINT refusal = CheckProfileName(newName, others);
    if (refusal != 0) {
        m_pComponentData->ConsoleMessageBox(refusal, 59, MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    RenameProfile(m_pComponentData->m_data, m_record.id, newName);
    m_record.name = newName;
    if (m_pComponentData->m_pNameSpace != nullptr && m_hScopeItem != 0) {
        SCOPEDATAITEM item{};
        item.mask = SDI_STR;
        item.displayname = MMC_CALLBACK;
        item.ID = m_hScopeItem;
        m_pComponentData->m_pNameSpace->SetItem(&item);
    }
    m_pComponentData->UpdateAllViews(m_pParent);
    InitProfiles(m_pComponentData->m_data);
    return S_OK;
}

void CProfileNode::ToggleEnabled() {
    ToggleProfileEnabled(m_pComponentData->m_data, m_record.id, m_record.enabled);
    m_record.enabled = !m_record.enabled;
    if (m_record.enabled)
        m_task.Activate();
    else
        m_task.Delete();
    if (m_pComponentData->m_pNameSpace != nullptr && m_hScopeItem != 0) {
        SCOPEDATAITEM item{};
        item.mask = SDI_IMAGE | SDI_OPENIMAGE;
        item.nImage = Image();
        item.nOpenImage = OpenImage();
        item.ID = m_hScopeItem;
        m_pComponentData->m_pNameSpace->SetItem(&item);
    }
    m_pComponentData->UpdateAllViews(m_pParent);
    InitProfiles(m_pComponentData->m_data);
}
