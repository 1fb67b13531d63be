#include "platform/browser/WebBrowser.h"

#include <new>

#include "platform/browser/BrowserWindows.h"
#include "platform/com/Activation.h"

namespace kv::browser {

namespace {

#ifndef E_INVALIDARG
#define E_INVALIDARG ((HRESULT)0x80070057L)
#endif

// The largest document taken from a stream: far above any report, far
// below what would exhaust the console's memory.
constexpr uint64_t kMaxDocument = 1ull << 30;

// The document of one window. Loading replaces the window's text, which
// the host reads from then on.
class HtmlDocument : public IPersistStreamInit {
public:
    explicit HtmlDocument(std::shared_ptr<BrowserWindow> window) : m_window(std::move(window)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPersistStreamInit || riid == IID_IPersist) {
            *object = static_cast<IPersistStreamInit*>(this);
        } else if (riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(&m_dispatch);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP GetClassID(CLSID* clsid) override {
        if (clsid == nullptr) return E_POINTER;
        *clsid = CLSID_InternetExplorer;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP InitNew() override {
        std::lock_guard<std::mutex> guard(m_window->lock);
        m_window->content.clear();
        return S_OK;
    }
    STDMETHODIMP Load(LPSTREAM stream) override {
        if (stream == nullptr) return E_POINTER;
        std::string text;
        char buffer[65536];
        for (;;) {
            ULONG read = 0;
            HRESULT hr = stream->Read(buffer, sizeof buffer, &read);
            if (FAILED(hr)) return hr;
            if (read == 0) break;
            if (text.size() + read > kMaxDocument) return E_OUTOFMEMORY;
            text.append(buffer, read);
        }
        std::lock_guard<std::mutex> guard(m_window->lock);
        m_window->content.swap(text);
        return S_OK;
    }
    STDMETHODIMP Save(LPSTREAM stream, BOOL) override {
        if (stream == nullptr) return E_POINTER;
        std::string text;
        {
            std::lock_guard<std::mutex> guard(m_window->lock);
            text = m_window->content;
        }
        ULONG written = 0;
        HRESULT hr = stream->Write(text.data(), static_cast<ULONG>(text.size()), &written);
        return FAILED(hr) ? hr : (written == text.size() ? S_OK : STG_E_MEDIUMFULL);
    }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
        if (size == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(m_window->lock);
        size->QuadPart = m_window->content.size();
        return S_OK;
    }

private:
    // The document's IDispatch face: the same object, as on Windows.
    struct Dispatch : IDispatch {
        explicit Dispatch(HtmlDocument* outer) : m_outer(outer) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override { return m_outer->QueryInterface(riid, object); }
        STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }
        HtmlDocument* m_outer;
    };

    virtual ~HtmlDocument() = default;

    kv::platform::ComRefCount m_refs;
    std::shared_ptr<BrowserWindow> m_window;

public:
    Dispatch m_dispatch{this};
};

class WebBrowser : public kv::platform::SingleInterfaceObject<IWebBrowser2, IID_IWebBrowser2> {
public:
    WebBrowser() : m_window(NewBrowserWindow()) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object != nullptr && riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return SingleInterfaceObject::QueryInterface(riid, object);
    }

    STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
        if (url == nullptr) return E_POINTER;
        // Only the empty page: what a program writes into it comes through
        // the document's stream.
        if (std::u16string(url) != u"about:blank") return E_INVALIDARG;
        std::lock_guard<std::mutex> guard(m_window->lock);
        m_window->content.clear();
        m_navigated = true;
        return S_OK;
    }
    STDMETHODIMP get_Busy(VARIANT_BOOL* busy) override {
        if (busy == nullptr) return E_POINTER;
        *busy = VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP get_Document(IDispatch** document) override {
        if (document == nullptr) return E_POINTER;
        *document = nullptr;
        if (!m_navigated) return S_FALSE;
        auto* created = new (std::nothrow) HtmlDocument(m_window);
        if (created == nullptr) return E_OUTOFMEMORY;
        *document = &created->m_dispatch;
        created->AddRef();
        return S_OK;
    }
    STDMETHODIMP put_Visible(VARIANT_BOOL visible) override {
        bool announce = false;
        {
            std::lock_guard<std::mutex> guard(m_window->lock);
            announce = visible != VARIANT_FALSE && !m_window->visible;
            m_window->visible = visible != VARIANT_FALSE;
        }
        if (announce) AnnounceBrowserWindow(m_window->number);
        return S_OK;
    }
    STDMETHODIMP get_Visible(VARIANT_BOOL* visible) override {
        if (visible == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(m_window->lock);
        *visible = m_window->visible ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP Quit() override {
        std::lock_guard<std::mutex> guard(m_window->lock);
        m_window->visible = false;
        return S_OK;
    }

private:
    std::shared_ptr<BrowserWindow> m_window;
    bool m_navigated = false;
};

std::mutex g_classLock;
DWORD g_classCookie = 0;

}  // namespace

HRESULT RegisterBrowserClass() {
    std::lock_guard<std::mutex> guard(g_classLock);
    if (g_classCookie != 0) return S_OK;
    auto* factory = new (std::nothrow) kv::platform::ClassFactory<WebBrowser>;
    if (factory == nullptr) return E_OUTOFMEMORY;
    factory->AddRef();
    HRESULT hr = CoRegisterClassObject(CLSID_InternetExplorer, factory, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &g_classCookie);
    factory->Release();
    return hr;
}

void RevokeBrowserClass() {
    std::lock_guard<std::mutex> guard(g_classLock);
    if (g_classCookie != 0) CoRevokeClassObject(g_classCookie);
    g_classCookie = 0;
}

}  // namespace kv::browser
