#include "console/snapin/ComponentData.h"

#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "console/module/ConsoleGuids.h"
#include "console/nodes/RootNode.h"
#include "console/snapin/Component.h"
#include "console/snapin/DataObject.h"
#include "console/snapin/Startup.h"
#include "console/tree/SystemImageList.h"
#include "platform/com/Activation.h"
#include "platform/text/CodePage.h"
#include "platform/ui/MessageBox.h"

CComponentData::CComponentData() { CDataObject::RegisterFormats(); }

CComponentData::~CComponentData() {
    Destroy();
}

STDMETHODIMP CComponentData::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IComponentData) return ReturnInterface<IComponentData>(this, object);
    if (riid == IID_IExtendContextMenu) return ReturnInterface<IExtendContextMenu>(this, object);
    if (riid == IID_IExtendPropertySheet) return ReturnInterface<IExtendPropertySheet>(this, object);
    if (riid == IID_IExtendPropertySheet2) return ReturnInterface<IExtendPropertySheet2>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CComponentData::Initialize(LPUNKNOWN console) {
    if (console == nullptr) return E_POINTER;
    try {
        console->QueryInterface(IID_IConsole2, reinterpret_cast<void**>(&m_pConsole));
        console->QueryInterface(IID_IConsoleNameSpace2, reinterpret_cast<void**>(&m_pNameSpace));

        // The tree shows even without a database; later statements retry.
        if (!OpenConsoleDatabase(m_data)) ConsoleMessageBox(45, 59, MB_OK | MB_ICONSTOP);
        ApplyFirstStartDefaults(m_data);

        m_pRoot = new CRootNode(this);
        DetectConsoleVersion();
        if (m_mmcMajor > 1 && m_pConsole != nullptr)
            m_pConsole->QueryInterface(IID_IConsole3, reinterpret_cast<void**>(&m_pConsole3));

        BuildSystemImageList();
        LoadConsoleLists(m_data);

        if (m_pConsole != nullptr) {
            IImageList* images = nullptr;
            if (SUCCEEDED(m_pConsole->QueryScopeImageList(&images)) && images != nullptr) {
                HBITMAP strip = KvNamedStrip(kNodeImageNames, IMAGE_COUNT);
                images->ImageListSetStrip(reinterpret_cast<LONG_PTR*>(strip), reinterpret_cast<LONG_PTR*>(strip), 0,
                                          RGB(255, 0, 255));
                images->Release();
            }
        }
        return S_OK;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CComponentData::Initialize");
    }
    return E_FAIL;
}

void CComponentData::DetectConsoleVersion() {
    // A console without the version object is version 1.0.
    m_mmcMajor = 1;
    m_mmcMinor = 0;
    IMMCVersionInfo* info = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_MMCVersionInfo, nullptr, CLSCTX_INPROC_SERVER, IID_IMMCVersionInfo,
                                   reinterpret_cast<void**>(&info))) &&
        info != nullptr) {
        long major = 1, minor = 0;
        if (SUCCEEDED(info->GetMMCVersion(&major, &minor))) {
            m_mmcMajor = major;
            m_mmcMinor = minor;
        }
        info->Release();
    }
}

void CComponentData::BuildSystemImageList() { GetSystemImageList(); }

STDMETHODIMP CComponentData::CreateComponent(LPCOMPONENT* component) {
    if (component == nullptr) return E_POINTER;
    *component = nullptr;
    auto* view = new (std::nothrow) CComponent(this);
    if (view == nullptr) return E_OUTOFMEMORY;
    return view->QueryInterface(IID_IComponent, reinterpret_cast<void**>(component));
}

CNode* CComponentData::NodeOf(LPDATAOBJECT dataObject) {
    CNode* node = ExtractNode(dataObject);
    return node;
}

STDMETHODIMP CComponentData::Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) {
    try {
        CNode* node = NodeOf(dataObject);
        switch (event) {
            case MMCN_EXPAND:
                if (node == nullptr || arg == 0) return S_OK;
                if (node == m_pRoot) {
                    node->m_hScopeItem = static_cast<HSCOPEITEM>(param);
                    if (m_pNameSpace != nullptr) {
                        SCOPEDATAITEM root{};
                        root.mask = SDI_IMAGE | SDI_OPENIMAGE;
                        root.ID = node->m_hScopeItem;
                        root.nImage = node->Image();
                        root.nOpenImage = node->OpenImage();
                        m_pNameSpace->SetItem(&root);
                    }
                }
                if (node->m_bExpanded) return S_OK;
                node->m_bExpanded = true;
                return node->OnExpand(m_pNameSpace);
            case MMCN_REMOVE_CHILDREN:
            case MMCN_PROPERTY_CHANGE:
            case MMCN_PRELOAD:
                return S_OK;
            default:
                return S_FALSE;
        }
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CComponentData::Notify");
    }
    return E_FAIL;
}

STDMETHODIMP CComponentData::Destroy() {
    delete m_pRoot;
    m_pRoot = nullptr;
    if (m_pConsole3 != nullptr) m_pConsole3->Release();
    if (m_pConsole != nullptr) m_pConsole->Release();
    if (m_pNameSpace != nullptr) m_pNameSpace->Release();
    m_pConsole3 = nullptr;
    m_pConsole = nullptr;
    m_pNameSpace = nullptr;
    return S_OK;
}

STDMETHODIMP CComponentData::QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) {
    CNode* node = cookie == 0 ? static_cast<CNode*>(m_pRoot) : reinterpret_cast<CNode*>(cookie);
    return CreateDataObject(node, type, dataObject);
}

STDMETHODIMP CComponentData::GetDisplayInfo(SCOPEDATAITEM* item) {
    if (item == nullptr) return E_POINTER;
    CNode* node = item->lParam == 0 ? static_cast<CNode*>(m_pRoot) : reinterpret_cast<CNode*>(item->lParam);
    if (node == nullptr) return E_UNEXPECTED;
    if (item->mask & SDI_STR) {
        m_displayText = kv::platform::Utf8ToUtf16(node->DisplayName());
        item->displayname = m_displayText.data();
    }
    if (item->mask & SDI_IMAGE) item->nImage = node->Image();
    if (item->mask & SDI_OPENIMAGE) item->nOpenImage = node->OpenImage();
    return S_OK;
}

STDMETHODIMP CComponentData::CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) {
    CNode* first = NodeOf(a);
    return first != nullptr && first == NodeOf(b) ? S_OK : S_FALSE;
}

STDMETHODIMP CComponentData::AddMenuItems(LPDATAOBJECT dataObject, LPCONTEXTMENUCALLBACK callback,
                                          long* insertionAllowed) {
    CNode* node = NodeOf(dataObject);
    return node != nullptr ? node->AddMenuItems(callback, insertionAllowed) : S_OK;
}

STDMETHODIMP CComponentData::Command(long commandId, LPDATAOBJECT dataObject) {
    CNode* node = NodeOf(dataObject);
    return node != nullptr ? node->Command(commandId, nullptr) : S_FALSE;
}

STDMETHODIMP CComponentData::CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle,
                                                 LPDATAOBJECT dataObject) {
    CNode* node = NodeOf(dataObject);
    return node != nullptr && callback != nullptr ? node->CreatePropertyPages(callback, handle) : S_FALSE;
}

STDMETHODIMP CComponentData::QueryPagesFor(LPDATAOBJECT dataObject) {
    CNode* node = NodeOf(dataObject);
    return node != nullptr ? node->QueryPagesFor() : S_FALSE;
}

int CComponentData::ConsoleMessageBox(UINT textId, UINT captionId, UINT style) {
    std::string text;
    LoadResourceString(textId, text);
    return ConsoleMessageBoxText(text, captionId, style);
}

int CComponentData::ConsoleMessageBoxText(const std::string& text, UINT captionId, UINT style) {
    std::string caption;
    LoadResourceString(captionId, caption);
    int result = 0;
    if (m_pConsole != nullptr) {
        std::u16string wideText = kv::platform::Utf8ToUtf16(text);
        std::u16string wideCaption = kv::platform::Utf8ToUtf16(caption);
        if (SUCCEEDED(m_pConsole->MessageBox(wideText.c_str(), wideCaption.c_str(), style, &result))) return result;
    }
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

bool CComponentData::UsesMessageView() {
    if (m_pConsole == nullptr) return false;
    IUnknown* columns = nullptr;
    if (FAILED(m_pConsole->QueryInterface(IID_IColumnData, reinterpret_cast<void**>(&columns))) || columns == nullptr)
        return false;
    columns->Release();
    return true;
}

void CComponentData::UpdateAllViews(CNode* node) {
    if (m_pConsole == nullptr) return;
    IDataObject* dataObject = nullptr;
    if (FAILED(QueryDataObject(node != nullptr ? node->Cookie() : 0, CCT_SCOPE, &dataObject))) return;
    m_pConsole->UpdateAllViews(dataObject, 0, 0);
    dataObject->Release();
}
