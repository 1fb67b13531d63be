#include "console/snapin/Component.h"

#include <algorithm>

#include "common/DebugLog.h"
#include "console/nodes/Node.h"
#include "console/snapin/ComponentData.h"
#include "console/snapin/DataObject.h"
#include "console/snapin/ResultListHooks.h"
#include "console/snapin/SelectionCommands.h"
#include "platform/text/CodePage.h"

std::vector<CComponent*>& OpenComponents() {
    static std::vector<CComponent*> components;
    return components;
}

void RefreshOpenViews() {
    // A refresh may open or close views; the ones open now are refreshed.
    std::vector<CComponent*> views = OpenComponents();
    for (CComponent* view : views) {
        auto& open = OpenComponents();
        if (std::find(open.begin(), open.end(), view) == open.end()) continue;
        // A folder of the file tree reads its entries again first, so the
        // ones the new list hides go and the ones it no longer hides come.
        if (view->m_pShownNode != nullptr) view->m_pShownNode->OnRefresh(view);
    }
}

CComponent::CComponent(CComponentData* componentData) : m_pComponentData(componentData) {
    if (m_pComponentData != nullptr) m_pComponentData->AddRef();
    OpenComponents().push_back(this);
}

CComponent::~CComponent() {
    RemoveResultListHooks(this);
    ReleaseInterfaces();
    auto& open = OpenComponents();
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    if (m_pComponentData != nullptr) m_pComponentData->Release();
}

STDMETHODIMP CComponent::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IComponent) return ReturnInterface<IComponent>(this, object);
    if (riid == IID_IExtendContextMenu) return ReturnInterface<IExtendContextMenu>(this, object);
    if (riid == IID_IExtendPropertySheet) return ReturnInterface<IExtendPropertySheet>(this, object);
    if (riid == IID_IExtendPropertySheet2) return ReturnInterface<IExtendPropertySheet2>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

void CComponent::ReleaseInterfaces() {
    if (m_pVerbs != nullptr) m_pVerbs->Release();
    if (m_pHeader != nullptr) m_pHeader->Release();
    if (m_pResultData != nullptr) m_pResultData->Release();
    if (m_pConsole != nullptr) m_pConsole->Release();
    m_pVerbs = nullptr;
    m_pHeader = nullptr;
    m_pResultData = nullptr;
    m_pConsole = nullptr;
}

STDMETHODIMP CComponent::Initialize(LPCONSOLE console) {
    if (console == nullptr) return E_POINTER;
    console->QueryInterface(IID_IConsole2, reinterpret_cast<void**>(&m_pConsole));
    console->QueryInterface(IID_IResultData, reinterpret_cast<void**>(&m_pResultData));
    console->QueryInterface(IID_IHeaderCtrl, reinterpret_cast<void**>(&m_pHeader));
    if (m_pHeader != nullptr) console->SetHeader(m_pHeader);
    console->QueryConsoleVerb(&m_pVerbs);
    return S_OK;
}

STDMETHODIMP CComponent::Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) {
    try {
        if (event == MMCN_ADD_IMAGES) {
            auto* images = reinterpret_cast<IImageList*>(arg);
            if (images == nullptr) return S_OK;
            HBITMAP strip = KvNamedStrip(kNodeImageNames, IMAGE_COUNT);
            return images->ImageListSetStrip(reinterpret_cast<LONG_PTR*>(strip), reinterpret_cast<LONG_PTR*>(strip), 0,
                                             RGB(255, 0, 255));
        }
        if (event == MMCN_PROPERTY_CHANGE) return S_OK;
        CNode* node = m_pComponentData != nullptr ? m_pComponentData->NodeOf(dataObject) : nullptr;
        if (event == MMCN_VIEW_CHANGE) {
            // Whatever changed, the shown list is rebuilt from the nodes.
            if (m_pShownNode != nullptr) RefreshIfShowing(m_pShownNode);
            return S_OK;
        }
        if (node == nullptr) return S_FALSE;
        switch (event) {
            case MMCN_SHOW:
                m_pShownNode = arg != 0 ? node : (m_pShownNode == node ? nullptr : m_pShownNode);
                // The list hooks live while the pane shows a folder's content.
                if (ShowsFileTree(m_pShownNode))
                    InstallResultListHooks(this);
                else
                    RemoveResultListHooks(this);
                return node->OnShow(this, arg != 0);
            case MMCN_SELECT:
                if (HIWORD(arg) != 0) node->SetVerbs(m_pVerbs, LOWORD(arg) != 0);
                return S_OK;
            case MMCN_DELETE:
                return node->OnDelete(this);
            case MMCN_RENAME: {
                auto* text = reinterpret_cast<LPOLESTR>(param);
                if (text == nullptr) return S_FALSE;
                return node->OnRename(kv::platform::Utf16ToUtf8(text, kv::platform::WideLength(text)), this);
            }
            case MMCN_REFRESH:
                return node->OnRefresh(this);
            case MMCN_INITOCX:
                return node->OnInitOcx(reinterpret_cast<IUnknown*>(param));
            case MMCN_DBLCLICK:
                // A folder of the file tree opens; elsewhere the console's
                // default action applies.
                return OpenFileTreeFolder(this, node) ? S_OK : S_FALSE;
            default:
                return S_FALSE;
        }
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CComponent::Notify");
    }
    return E_FAIL;
}

void CComponent::RefreshIfShowing(CNode* node) {
    if (node == nullptr || node != m_pShownNode) return;
    if (m_pResultData != nullptr) m_pResultData->DeleteAllRsltItems();
    node->FillResults(this);
}

STDMETHODIMP CComponent::Destroy(MMC_COOKIE) {
    RemoveResultListHooks(this);
    m_pShownNode = nullptr;
    ReleaseInterfaces();
    return S_OK;
}

STDMETHODIMP CComponent::QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) {
    if (cookie == MMC_MULTI_SELECT_COOKIE) {
        HRESULT hr = CreateDataObject(m_pShownNode, type, dataObject);
        if (SUCCEEDED(hr))
            if (CDataObject* own = ExtractOwnDataObject(*dataObject)) own->m_bMultiSelect = true;
        return hr;
    }
    if (m_pComponentData != nullptr) return m_pComponentData->QueryDataObject(cookie, type, dataObject);
    return E_UNEXPECTED;
}

STDMETHODIMP CComponent::GetResultViewType(MMC_COOKIE cookie, LPOLESTR* viewType, long* viewOptions) {
    CNode* node = cookie == 0 && m_pComponentData != nullptr ? reinterpret_cast<CNode*>(m_pComponentData->m_pRoot)
                                                              : reinterpret_cast<CNode*>(cookie);
    if (node == nullptr) return S_FALSE;
    return node->GetResultViewType(viewType, viewOptions);
}

STDMETHODIMP CComponent::GetDisplayInfo(RESULTDATAITEM* item) {
    if (item == nullptr) return E_POINTER;
    auto* node = reinterpret_cast<CNode*>(item->lParam);
    if (node == nullptr) return E_UNEXPECTED;
    if (item->mask & RDI_STR) {
        m_displayText = kv::platform::Utf8ToUtf16(item->bScopeItem && item->nCol == 0 ? node->DisplayName()
                                                                                      : node->ResultColumnText(item->nCol));
        item->str = m_displayText.data();
    }
    if (item->mask & RDI_IMAGE) item->nImage = node->Image();
    return S_OK;
}

STDMETHODIMP CComponent::CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) {
    if (m_pComponentData == nullptr) return S_FALSE;
    return m_pComponentData->CompareObjects(a, b);
}

STDMETHODIMP CComponent::AddMenuItems(LPDATAOBJECT dataObject, LPCONTEXTMENUCALLBACK callback, long* insertionAllowed) {
    CNode* node = m_pComponentData != nullptr ? m_pComponentData->NodeOf(dataObject) : nullptr;
    if (IsMultiSelection(dataObject, node)) return AddSelectionMenuItems(callback, insertionAllowed);
    return node != nullptr ? node->AddMenuItems(callback, insertionAllowed) : S_OK;
}

STDMETHODIMP CComponent::Command(long commandId, LPDATAOBJECT dataObject) {
    CNode* node = m_pComponentData != nullptr ? m_pComponentData->NodeOf(dataObject) : nullptr;
    if (IsMultiSelection(dataObject, node)) return SelectionCommand(this, commandId);
    return node != nullptr ? node->Command(commandId, this) : S_FALSE;
}

bool CComponent::IsMultiSelection(LPDATAOBJECT dataObject, CNode* node) const {
    // The host wraps the selection in a data object of its own, or hands back
    // the one this view made for the multi-selection cookie.
    // Only the file tree's lists have commands for a selection.
    if (!ShowsFileTree(m_pShownNode)) return false;
    if (node == nullptr) return dataObject != nullptr;
    CDataObject* own = ExtractOwnDataObject(dataObject);
    return own != nullptr && own->m_bMultiSelect;
}

STDMETHODIMP CComponent::CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle, LPDATAOBJECT dataObject) {
    if (m_pComponentData == nullptr) return S_FALSE;
    return m_pComponentData->CreatePropertyPages(callback, handle, dataObject);
}

STDMETHODIMP CComponent::QueryPagesFor(LPDATAOBJECT dataObject) {
    if (m_pComponentData == nullptr) return S_FALSE;
    return m_pComponentData->QueryPagesFor(dataObject);
}
