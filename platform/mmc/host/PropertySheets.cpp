#include "platform/mmc/host/PropertySheets.h"

#include <new>

#include "platform/mmc/NotifyHandle.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/host/WideText.h"
#include "platform/ui/AfxWin.h"

namespace kv::mmc {

// Forwards a page's change notification to the component (data) that made
// the page, on the console's thread. It lives until the sheet is gone and
// the snap-in has freed the handle.
class PropertyNotify : public KvPropertyNotifyTarget {
public:
    PropertyNotify(ConsoleHost& host, IUnknown* owner, bool scopePane) : m_host(host), m_scopePane(scopePane) {
        if (owner) {
            owner->QueryInterface(IID_IComponentData, reinterpret_cast<void**>(&m_componentData));
            if (m_componentData == nullptr) owner->QueryInterface(IID_IComponent, reinterpret_cast<void**>(&m_component));
        }
    }
    ~PropertyNotify() override {
        if (m_componentData) m_componentData->Release();
        if (m_component) m_component->Release();
    }
    HRESULT PropertyChanged(LPARAM param) override {
        // Pages run on the console's thread here, so the call can go at once.
        IComponentData* data = m_componentData;
        IComponent* component = m_component;
        if (data) return data->Notify(nullptr, MMCN_PROPERTY_CHANGE, m_scopePane ? TRUE : FALSE, param);
        if (component) return component->Notify(nullptr, MMCN_PROPERTY_CHANGE, m_scopePane ? TRUE : FALSE, param);
        return E_UNEXPECTED;
    }
    void FreeHandle() override {
        m_freed = true;
        if (m_sheetGone) delete this;
    }
    void SheetGone() {
        m_sheetGone = true;
        if (m_freed) delete this;
    }

private:
    ConsoleHost& m_host;
    bool m_scopePane;
    IComponentData* m_componentData = nullptr;
    IComponent* m_component = nullptr;
    bool m_freed = false;
    bool m_sheetGone = false;
};

namespace {

class PageCollector : public IPropertySheetCallback {
public:
    explicit PageCollector(std::vector<HPROPSHEETPAGE>& pages) : m_pages(pages) {}
    KV_HOST_UNKNOWN
    STDMETHODIMP AddPage(HPROPSHEETPAGE page) override {
        if (page == nullptr) return E_INVALIDARG;
        m_pages.push_back(page);
        return S_OK;
    }
    STDMETHODIMP RemovePage(HPROPSHEETPAGE page) override {
        for (auto it = m_pages.begin(); it != m_pages.end(); ++it) {
            if (*it == page) {
                m_pages.erase(it);
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }

private:
    void* FindInterface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IPropertySheetCallback) return static_cast<IPropertySheetCallback*>(this);
        return nullptr;
    }
    std::vector<HPROPSHEETPAGE>& m_pages;
};

}  // namespace

PropertySheets::PropertySheets(ConsoleHost& host) : m_host(host) {}

PropertySheets::~PropertySheets() {
    Abandon();
    CloseAll();
}

bool PropertySheets::IsOpen(MMC_COOKIE cookie) const {
    for (const OpenSheet& open : m_open)
        if (open.cookie == cookie) return true;
    return false;
}

bool PropertySheets::BringToFront(MMC_COOKIE cookie) {
    for (OpenSheet& open : m_open) {
        if (open.cookie != cookie) continue;
        HWND window = open.sheet->GetSafeHwnd();
        BringWindowToTop(window);
        SetForegroundWindow(window);
        m_host.Changed();
        return true;
    }
    return false;
}

HRESULT PropertySheets::Begin(const std::u16string& title, MMC_COOKIE cookie, LPDATAOBJECT dataObject) {
    if (m_pending.active) return E_UNEXPECTED;  // one sheet at a time is being built
    m_pending = Pending();
    m_pending.active = true;
    m_pending.title = title;
    m_pending.cookie = cookie;
    m_pending.dataObject = dataObject;
    if (dataObject) dataObject->AddRef();
    return S_OK;
}

HRESULT PropertySheets::AddPages(IUnknown* owner, bool scopePane) {
    if (!m_pending.active || owner == nullptr) return E_UNEXPECTED;
    IExtendPropertySheet* extension = nullptr;
    if (FAILED(owner->QueryInterface(IID_IExtendPropertySheet, reinterpret_cast<void**>(&extension))) || extension == nullptr)
        return E_NOINTERFACE;
    if (m_pending.notify == nullptr) m_pending.notify = new PropertyNotify(m_host, owner, scopePane);
    PageCollector collector(m_pending.pages);
    HRESULT hr = extension->CreatePropertyPages(&collector, reinterpret_cast<LONG_PTR>(static_cast<KvPropertyNotifyTarget*>(m_pending.notify)),
                                                m_pending.dataObject);
    extension->Release();
    return hr;
}

HRESULT PropertySheets::Show(int startPage) {
    if (!m_pending.active) return E_UNEXPECTED;
    if (m_pending.pages.empty()) {
        Abandon();
        return E_FAIL;
    }
    auto* sheet = new (std::nothrow) CPropertySheet(Narrow(m_pending.title).c_str(), nullptr,
                                                    static_cast<UINT>(startPage < 0 ? 0 : startPage));
    if (sheet == nullptr) {
        Abandon();
        return E_OUTOFMEMORY;
    }
    for (HPROPSHEETPAGE page : m_pending.pages) sheet->AddPage(page);
    m_pending.pages.clear();
    OpenSheet open;
    open.cookie = m_pending.cookie;
    open.sheet = sheet;
    open.notify = m_pending.notify;
    m_pending.notify = nullptr;
    if (m_pending.dataObject) m_pending.dataObject->Release();
    m_pending = Pending();
    sheet->SetClosedHandler([this](CPropertySheet* closed) { Closed(closed); });
    m_open.push_back(open);
    if (!sheet->Create(CWnd::FromHandle(m_host.MainWindow()))) {
        m_open.pop_back();
        if (open.notify) open.notify->SheetGone();
        delete sheet;
        return E_FAIL;
    }
    m_host.Changed();
    return S_OK;
}

void PropertySheets::Abandon() {
    for (HPROPSHEETPAGE page : m_pending.pages) DestroyPropertySheetPage(page);
    if (m_pending.dataObject) m_pending.dataObject->Release();
    if (m_pending.notify) {
        // The pages that had the handle are gone with the sheet that never was.
        m_pending.notify->SheetGone();
    }
    m_pending = Pending();
}

void PropertySheets::Closed(CPropertySheet* sheet) {
    for (auto it = m_open.begin(); it != m_open.end(); ++it) {
        if (it->sheet != sheet) continue;
        PropertyNotify* notify = it->notify;
        m_open.erase(it);
        if (notify) notify->SheetGone();
        break;
    }
    // The window is gone; the object goes once its handler has returned.
    m_host.DeleteLater([sheet] { delete sheet; });
    m_host.Changed();
}

void PropertySheets::CloseAll() {
    while (!m_open.empty()) {
        OpenSheet open = m_open.front();
        m_open.pop_front();
        open.sheet->SetClosedHandler(nullptr);
        open.sheet->DestroyWindow();
        if (open.notify) open.notify->SheetGone();
        delete open.sheet;
    }
}

// ---- The provider -------------------------------------------------------------

void* SheetProvider::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IPropertySheetProvider) return static_cast<IPropertySheetProvider*>(this);
    return nullptr;
}

HRESULT SheetProvider::CreatePropertySheet(LPCWSTR title, boolean type, MMC_COOKIE cookie, LPDATAOBJECT dataObject, DWORD) {
    if (!type) return E_NOTIMPL;  // wizards are not offered
    return m_host.Sheets().Begin(title ? std::u16string(title) : std::u16string(), cookie, dataObject);
}

HRESULT SheetProvider::FindPropertySheet(MMC_COOKIE cookie, LPCOMPONENT, LPDATAOBJECT) {
    return m_host.Sheets().BringToFront(cookie) ? S_OK : S_FALSE;
}

HRESULT SheetProvider::AddPrimaryPages(LPUNKNOWN unknown, BOOL, HWND, BOOL scopePane) {
    return m_host.Sheets().AddPages(unknown, scopePane != FALSE);
}

HRESULT SheetProvider::AddExtensionPages() { return S_OK; }

HRESULT SheetProvider::Show(LONG_PTR, int page) { return m_host.Sheets().Show(page); }

namespace {

class SheetProviderFactory : public kv::platform::SingleInterfaceObject<IClassFactory, IID_IClassFactory> {
public:
    explicit SheetProviderFactory(SheetProvider* provider) : m_provider(provider) {}
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return m_provider->QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    SheetProvider* m_provider;
};

}  // namespace

IClassFactory* CreateSheetProviderFactory(SheetProvider* provider) {
    auto* factory = new (std::nothrow) SheetProviderFactory(provider);
    if (factory) factory->AddRef();
    return factory;
}

}  // namespace kv::mmc
