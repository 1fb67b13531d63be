// A small snap-in for the console host's tests: a root with a "Jobs" node
// (its children are jobs made through the context menu, listed in two
// columns, deleted after a question box, renamed in place with "<" refused),
// an "About" node (message view under console 2.0, a res:// page under 1.0)
// and a "Help on the web" node (a web address). It records what the
// console tells it in KESTRAVA_SNAPIN_LOG, one line per event.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/com/Activation.h"
#include "platform/com/Registration.h"
#include "platform/library/Library.h"
#include "platform/mmc/HtmlResource.h"
#include "platform/mmc/SnapIn.h"
#include "platform/mmc/WebAddress.h"
#include "platform/text/CodePage.h"
#include "platform/ui/AfxWin.h"
#include "tests/mmc_fixture/FileListHooks.h"

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

// {6A1C3E52-93D4-4B8E-9E0F-2B7D4C1A5E60}
static const CLSID CLSID_TestSnapin = {0x6A1C3E52, 0x93D4, 0x4B8E, {0x9E, 0x0F, 0x2B, 0x7D, 0x4C, 0x1A, 0x5E, 0x60}};

namespace {

const MMC_COOKIE kRoot = 0, kJobs = 1, kAbout = 2, kWeb = 3, kFiles = 4, kFirstJob = 100;
const long kNewJob = 10, kHello = 11, kOpenHelp = 12;

void Log(const std::string& line) {
    const char* path = std::getenv("KESTRAVA_SNAPIN_LOG");
    if (path == nullptr || *path == '\0') return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::u16string W(const std::string& text) { return kv::platform::Utf8ToUtf16(text); }
std::string N(const char16_t* text) { return text ? kv::platform::Utf16ToUtf8(text, kv::platform::WideLength(text)) : ""; }

struct Job {
    std::u16string name;
    HSCOPEITEM item = 0;
};

struct Shared {
    IConsole2* console = nullptr;
    IConsoleNameSpace2* nameSpace = nullptr;
    std::map<MMC_COOKIE, Job> jobs;
    MMC_COOKIE nextJob = kFirstJob;
    HSCOPEITEM jobsItem = 0;
    std::u16string rootName = u"Test Console";
    long versionMajor = 1, versionMinor = 0;
    std::u16string names[5] = {u"Test Console", u"Jobs", u"About", u"Help on the web", u"Files"};
};
Shared* g_shared = nullptr;

class DataObject : public IDataObject {
public:
    DataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type) : cookie(cookie), type(type) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr) return E_POINTER;
        if (format->cfFormat == RegisterClipboardFormatW(CCF_OBJECT_TYPES_IN_MULTI_SELECT) && cookie == MMC_MULTI_SELECT_COOKIE) {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(SMMCObjectTypes));
            auto* types = static_cast<SMMCObjectTypes*>(GlobalLock(block));
            types->count = 1;
            types->guid[0] = CLSID_TestSnapin;
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = block;
            medium->pUnkForRelease = nullptr;
            return S_OK;
        }
        return DV_E_FORMATETC;
    }
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr) return E_POINTER;
        IStream* stream = nullptr;
        if (medium->tymed != TYMED_HGLOBAL || FAILED(CreateStreamOnHGlobal(medium->hGlobal, FALSE, &stream))) return DV_E_TYMED;
        HRESULT hr = S_OK;
        if (format->cfFormat == RegisterClipboardFormatW(CCF_SNAPIN_CLASSID)) {
            hr = stream->Write(&CLSID_TestSnapin, sizeof CLSID_TestSnapin, nullptr);
        } else if (format->cfFormat == RegisterClipboardFormatW(CCF_DISPLAY_NAME)) {
            std::u16string name = cookie >= kFirstJob && g_shared->jobs.count(cookie) ? g_shared->jobs[cookie].name : u"node";
            hr = stream->Write(name.c_str(), static_cast<ULONG>((name.size() + 1) * 2), nullptr);
        } else {
            hr = DV_E_FORMATETC;
        }
        stream->Release();
        return hr;
    }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return S_FALSE; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    const MMC_COOKIE cookie;
    const DATA_OBJECT_TYPES type;

private:
    kv::platform::ComRefCount m_refs;
};

// The cookie a data object of this snap-in carries; -1 for any other.
MMC_COOKIE CookieOf(LPDATAOBJECT object, bool* multi = nullptr) {
    if (multi) *multi = false;
    if (object == nullptr) return -1;
    FORMATETC isMulti = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CCF_MMC_MULTISELECT_DATAOBJECT)), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (SUCCEEDED(object->GetData(&isMulti, &medium))) {
        ReleaseStgMedium(&medium);
        if (multi) *multi = true;
        return MMC_MULTI_SELECT_COOKIE;
    }
    auto* ours = dynamic_cast<DataObject*>(object);
    return ours ? ours->cookie : -1;
}

HRESULT NewDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* out) {
    if (out == nullptr) return E_POINTER;
    auto* object = new DataObject(cookie, type);
    object->AddRef();
    *out = object;
    return S_OK;
}

std::u16string NameOf(MMC_COOKIE cookie) {
    if (cookie >= 0 && cookie < 5) return g_shared->names[cookie];
    if (cookie >= filelist::kFirstFile && cookie < filelist::kFirstFile + filelist::kFileCount) return filelist::Name(cookie);
    auto it = g_shared->jobs.find(cookie);
    return it == g_shared->jobs.end() ? u"?" : it->second.name;
}

void InsertJob(MMC_COOKIE cookie) {
    SCOPEDATAITEM item{};
    item.mask = SDI_STR | SDI_PARAM | SDI_IMAGE | SDI_OPENIMAGE | SDI_CHILDREN;
    item.displayname = MMC_CALLBACK;
    item.lParam = cookie;
    item.nImage = 2;
    item.nOpenImage = 2;
    item.cChildren = 0;
    item.relativeID = g_shared->jobsItem;
    g_shared->nameSpace->InsertItem(&item);
    g_shared->jobs[cookie].item = item.ID;
}

HINSTANCE Module() { return GetModuleHandleA("KvTestSnapin.dll"); }

// The job's two pages: a note (its change marks the page, its apply is
// logged and told to the console) and a page with nothing to set.
class NotePage : public CPropertyPage {
public:
    NotePage(MMC_COOKIE cookie, LONG_PTR notify) : CPropertyPage(Module(), 200), m_cookie(cookie), m_notify(notify) {
        m_bAutoDelete = TRUE;
        OnCommandFrom(1001, EN_CHANGE, [this] { SetModified(TRUE); });
    }
    ~NotePage() override { MMCFreeNotifyHandle(m_notify); }
    BOOL OnApply() override {
        char text[256] = "";
        ::GetDlgItemText(m_hWnd, 1001, text, sizeof text);
        Log(std::string("applied ") + text);
        MMCPropertyChangeNotify(m_notify, m_cookie);
        return CPropertyPage::OnApply();
    }

private:
    MMC_COOKIE m_cookie;
    LONG_PTR m_notify;
};

class DetailsPage : public CPropertyPage {
public:
    DetailsPage() : CPropertyPage(Module(), 201) { m_bAutoDelete = TRUE; }
};

class Component : public IComponent, public IExtendContextMenu, public IExtendPropertySheet2 {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IComponent) *object = static_cast<IComponent*>(this);
        else if (riid == IID_IExtendContextMenu) *object = static_cast<IExtendContextMenu*>(this);
        else if (riid == IID_IExtendPropertySheet || riid == IID_IExtendPropertySheet2) *object = static_cast<IExtendPropertySheet2*>(this);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }
    ~Component() override {
        if (m_console) m_console->Release();
        if (m_results) m_results->Release();
        if (m_header) m_header->Release();
    }

    STDMETHODIMP Initialize(LPCONSOLE console) override {
        console->QueryInterface(IID_IConsole2, reinterpret_cast<void**>(&m_console));
        console->QueryInterface(IID_IResultData, reinterpret_cast<void**>(&m_results));
        console->QueryInterface(IID_IHeaderCtrl, reinterpret_cast<void**>(&m_header));
        Log("component initialised");
        return m_console && m_results && m_header ? S_OK : E_UNEXPECTED;
    }
    STDMETHODIMP Notify(LPDATAOBJECT object, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) override {
        bool multi = false;
        MMC_COOKIE cookie = CookieOf(object, &multi);
        switch (event) {
            case MMCN_SHOW:
                Log("show " + N(NameOf(cookie).c_str()) + (arg ? " on" : " off"));
                if (arg && cookie == kJobs) {
                    m_header->InsertColumn(0, u"Name", LVCFMT_LEFT, 180);
                    m_header->InsertColumn(1, u"State", LVCFMT_LEFT, 120);
                }
                if (cookie == kFiles && arg) {
                    m_header->InsertColumn(0, u"Name", LVCFMT_LEFT, 180);
                    m_header->InsertColumn(1, u"State", LVCFMT_LEFT, 120);
                    filelist::Show(m_results, Log);
                } else if (cookie == kFiles) {
                    filelist::Hide();
                }
                return S_OK;
            case MMCN_ADD_IMAGES: {
                const char* names[] = {"folder", "folder-open", "x-office-calendar", "help-about"};
                HBITMAP strip = KvNamedStrip(names, 4);
                reinterpret_cast<IImageList*>(arg)->ImageListSetStrip(reinterpret_cast<LONG_PTR*>(strip), reinterpret_cast<LONG_PTR*>(strip), 0, RGB(255, 0, 255));
                return S_OK;
            }
            case MMCN_INITOCX: {
                IMessageView* view = nullptr;
                reinterpret_cast<IUnknown*>(param)->QueryInterface(IID_IMessageView, reinterpret_cast<void**>(&view));
                if (view) {
                    view->SetTitleText(u"About this console");
                    view->SetBodyText(u"Right-click a node and choose Properties.");
                    view->SetIcon(Icon_Information);
                    view->Release();
                }
                return S_OK;
            }
            case MMCN_SELECT: {
                IConsoleVerb* verbs = nullptr;
                m_console->QueryConsoleVerb(&verbs);
                bool select = HIWORD(arg) != 0;
                Log(std::string("select ") + (multi ? "multi" : N(NameOf(cookie).c_str())) + (LOWORD(arg) ? " scope" : " result") + (select ? "" : " off"));
                if (verbs && select && cookie >= kFirstJob) verbs->SetVerbState(MMC_VERB_PROPERTIES, ENABLED, TRUE);
                if (verbs && select && (cookie >= kFirstJob || multi)) {
                    verbs->SetVerbState(MMC_VERB_DELETE, ENABLED, TRUE);
                    verbs->SetVerbState(MMC_VERB_DELETE, HIDDEN, FALSE);
                    if (!multi) {
                        verbs->SetVerbState(MMC_VERB_RENAME, ENABLED, TRUE);
                        verbs->SetVerbState(MMC_VERB_RENAME, HIDDEN, FALSE);
                    }
                }
                if (verbs && select && cookie == kJobs) {
                    verbs->SetVerbState(MMC_VERB_REFRESH, ENABLED, TRUE);
                    verbs->SetVerbState(MMC_VERB_REFRESH, HIDDEN, FALSE);
                }
                if (verbs) verbs->Release();
                return S_OK;
            }
            case MMCN_DELETE: {
                auto it = g_shared->jobs.find(cookie);
                if (it == g_shared->jobs.end()) return S_FALSE;
                std::u16string text = u"Delete the job \"" + it->second.name + u"\"?";
                int answer = 0;
                m_console->MessageBox(text.c_str(), u"Delete job", 0x24 /* MB_YESNO | MB_ICONQUESTION */, &answer);
                Log("delete asked: " + std::to_string(answer));
                if (answer != 6) return S_OK;
                g_shared->nameSpace->DeleteItem(it->second.item, TRUE);
                Log("deleted " + N(it->second.name.c_str()));
                g_shared->jobs.erase(it);
                return S_OK;
            }
            case MMCN_RENAME: {
                std::u16string name = reinterpret_cast<const char16_t*>(param);
                auto it = g_shared->jobs.find(cookie);
                if (it == g_shared->jobs.end()) return S_FALSE;
                if (name.find(u'<') != std::u16string::npos) {
                    int answer = 0;
                    m_console->MessageBox(u"A name must not hold < or >.", u"Rename", 0x10, &answer);
                    return S_FALSE;
                }
                it->second.name = name;
                Log("renamed " + N(name.c_str()));
                return S_OK;
            }
            case MMCN_REFRESH:
                Log("refresh");
                return S_OK;
            case MMCN_VIEW_CHANGE:
                Log("view change " + std::to_string(arg));
                return S_OK;
            default:
                return S_FALSE;
        }
    }
    STDMETHODIMP Destroy(MMC_COOKIE) override { return S_OK; }
    STDMETHODIMP QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* object) override {
        return NewDataObject(cookie, type, object);
    }
    STDMETHODIMP GetResultViewType(MMC_COOKIE cookie, LPOLESTR* viewType, long* options) override {
        *viewType = nullptr;
        *options = MMC_VIEW_OPTIONS_MULTISELECT;
        std::u16string type;
        if (cookie == kAbout) {
            if (g_shared->versionMajor > 1) {
                type = u"{80F94176-FCCC-11D2-B991-00C04F8ECD78}";
                *options = MMC_VIEW_OPTIONS_NOLISTVIEWS;
            } else {
                char module[MAX_PATH * 4];
                GetModuleFileNameA(GetModuleHandleA("KvTestSnapin.dll"), module, sizeof module);
                type = W(std::string("res://") + module + "/about.htm#" + std::to_string(cookie));
            }
        } else if (cookie == kWeb) {
            type = u"https://help.example.invalid/console";
        }
        if (type.empty()) return S_FALSE;
        *viewType = static_cast<LPOLESTR>(CoTaskMemAlloc((type.size() + 1) * 2));
        std::memcpy(*viewType, type.c_str(), (type.size() + 1) * 2);
        return S_OK;
    }
    STDMETHODIMP GetDisplayInfo(RESULTDATAITEM* item) override {
        static thread_local std::u16string text;
        if (item->mask & RDI_STR) {
            text = item->nCol == 0 ? NameOf(item->lParam) : u"Enabled";
            item->str = text.data();
        }
        if (item->mask & RDI_IMAGE) item->nImage = item->lParam >= kFirstJob ? 2 : 0;
        return S_OK;
    }
    STDMETHODIMP CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) override { return CookieOf(a) == CookieOf(b) ? S_OK : S_FALSE; }

    STDMETHODIMP AddMenuItems(LPDATAOBJECT object, LPCONTEXTMENUCALLBACK callback, long* allowed) override {
        if (CookieOf(object) >= kFirstJob && (*allowed & CCM_INSERTIONALLOWED_TOP)) {
            CONTEXTMENUITEM item{};
            item.strName = const_cast<LPWSTR>(u"Say &hello");
            item.strStatusBarText = const_cast<LPWSTR>(u"Writes hello to the log.");
            item.lCommandID = kHello;
            item.lInsertionPointID = CCM_INSERTIONPOINTID_PRIMARY_TOP;
            callback->AddItem(&item);
        }
        return S_OK;
    }
    STDMETHODIMP Command(long id, LPDATAOBJECT) override {
        if (id == kHello) Log("hello");
        return S_OK;
    }
    STDMETHODIMP CreatePropertyPages(LPPROPERTYSHEETCALLBACK, LONG_PTR, LPDATAOBJECT) override { return E_NOTIMPL; }
    STDMETHODIMP QueryPagesFor(LPDATAOBJECT) override { return S_FALSE; }
    STDMETHODIMP GetWatermarks(LPDATAOBJECT, HBITMAP*, HBITMAP*, HPALETTE*, BOOL*) override { return E_NOTIMPL; }

private:
    kv::platform::ComRefCount m_refs;
    IConsole2* m_console = nullptr;
    IResultData* m_results = nullptr;
    IHeaderCtrl* m_header = nullptr;
};

class ComponentData : public IComponentData, public IExtendContextMenu, public IExtendPropertySheet2 {
public:
    ComponentData() {
        if (g_shared == nullptr) g_shared = new Shared;
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IComponentData) *object = static_cast<IComponentData*>(this);
        else if (riid == IID_IExtendContextMenu) *object = static_cast<IExtendContextMenu*>(this);
        else if (riid == IID_IExtendPropertySheet || riid == IID_IExtendPropertySheet2) *object = static_cast<IExtendPropertySheet2*>(this);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR notify, LPDATAOBJECT object) override {
        MMC_COOKIE cookie = CookieOf(object);
        Log("pages for " + N(NameOf(cookie).c_str()));
        auto* note = new NotePage(cookie, notify);
        auto* details = new DetailsPage;
        callback->AddPage(CreatePropertySheetPage(&note->m_psp));
        callback->AddPage(CreatePropertySheetPage(&details->m_psp));
        return S_OK;
    }
    STDMETHODIMP QueryPagesFor(LPDATAOBJECT object) override { return CookieOf(object) >= kFirstJob ? S_OK : S_FALSE; }
    STDMETHODIMP GetWatermarks(LPDATAOBJECT, HBITMAP*, HBITMAP*, HPALETTE*, BOOL*) override { return E_NOTIMPL; }

    STDMETHODIMP Initialize(LPUNKNOWN console) override {
        console->QueryInterface(IID_IConsole2, reinterpret_cast<void**>(&g_shared->console));
        console->QueryInterface(IID_IConsoleNameSpace2, reinterpret_cast<void**>(&g_shared->nameSpace));
        IMMCVersionInfo* version = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_MMCVersionInfo, nullptr, CLSCTX_INPROC_SERVER, IID_IMMCVersionInfo, reinterpret_cast<void**>(&version))) && version) {
            version->GetMMCVersion(&g_shared->versionMajor, &g_shared->versionMinor);
            version->Release();
        }
        IUnknown* console3 = nullptr;
        bool hasConsole3 = SUCCEEDED(console->QueryInterface(IID_IConsole3, reinterpret_cast<void**>(&console3)));
        if (console3) console3->Release();
        IUnknown* columns = nullptr;
        bool hasColumns = SUCCEEDED(console->QueryInterface(IID_IColumnData, reinterpret_cast<void**>(&columns)));
        if (columns) columns->Release();
        Log("initialised version " + std::to_string(g_shared->versionMajor) + "." + std::to_string(g_shared->versionMinor) +
            (hasConsole3 ? " console3" : "") + (hasColumns ? " columns" : ""));
        if (std::getenv("KESTRAVA_SNAPIN_ASK_AT_START")) {
            int answer = 0;
            g_shared->console->MessageBox(u"The test snap-in starts.", u"Test snap-in", 0x40, &answer);
            Log("start box answered " + std::to_string(answer));
        }
        return g_shared->console && g_shared->nameSpace ? S_OK : E_UNEXPECTED;
    }
    STDMETHODIMP CreateComponent(LPCOMPONENT* component) override {
        auto* created = new Component;
        created->AddRef();
        *component = created;
        return S_OK;
    }
    STDMETHODIMP Notify(LPDATAOBJECT object, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) override {
        if (event == MMCN_PROPERTY_CHANGE) {
            Log("property change " + std::to_string(param));
            return S_OK;
        }
        if (event != MMCN_EXPAND || !arg) return S_FALSE;
        MMC_COOKIE cookie = CookieOf(object);
        Log("expand " + N(NameOf(cookie).c_str()));
        if (cookie == kRoot) {
            std::vector<MMC_COOKIE> children = {kJobs, kAbout, kWeb};
            if (std::getenv("KESTRAVA_SNAPIN_FILES")) children.push_back(kFiles);
            for (MMC_COOKIE child : children) {
                SCOPEDATAITEM item{};
                item.mask = SDI_STR | SDI_PARAM | SDI_IMAGE | SDI_OPENIMAGE | SDI_CHILDREN;
                item.displayname = MMC_CALLBACK;
                item.lParam = child;
                item.nImage = child == kJobs ? 0 : 3;
                item.nOpenImage = child == kJobs ? 1 : 3;
                item.cChildren = child == kJobs ? 1 : 0;
                item.relativeID = static_cast<HSCOPEITEM>(param);
                g_shared->nameSpace->InsertItem(&item);
                if (child == kJobs) g_shared->jobsItem = item.ID;
            }
        } else if (cookie == kJobs) {
            for (auto& [id, job] : g_shared->jobs) InsertJob(id);
        }
        return S_OK;
    }
    STDMETHODIMP Destroy() override {
        if (g_shared->console) g_shared->console->Release();
        if (g_shared->nameSpace) g_shared->nameSpace->Release();
        g_shared->console = nullptr;
        g_shared->nameSpace = nullptr;
        return S_OK;
    }
    STDMETHODIMP QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* object) override {
        return NewDataObject(cookie, type, object);
    }
    STDMETHODIMP GetDisplayInfo(SCOPEDATAITEM* item) override {
        static thread_local std::u16string text;
        if (item->mask & SDI_STR) {
            text = NameOf(item->lParam);
            item->displayname = text.data();
        }
        return S_OK;
    }
    STDMETHODIMP CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) override { return CookieOf(a) == CookieOf(b) ? S_OK : S_FALSE; }

    STDMETHODIMP AddMenuItems(LPDATAOBJECT object, LPCONTEXTMENUCALLBACK callback, long* allowed) override {
        MMC_COOKIE cookie = CookieOf(object);
        if (cookie == kWeb && (*allowed & CCM_INSERTIONALLOWED_TOP)) {
            CONTEXTMENUITEM item{};
            item.strName = const_cast<LPWSTR>(u"&Open help");
            item.strStatusBarText = const_cast<LPWSTR>(u"Opens the help pages in the browser.");
            item.lCommandID = kOpenHelp;
            item.lInsertionPointID = CCM_INSERTIONPOINTID_PRIMARY_TOP;
            callback->AddItem(&item);
        }
        if (cookie == kJobs && (*allowed & CCM_INSERTIONALLOWED_NEW)) {
            CONTEXTMENUITEM item{};
            item.strName = const_cast<LPWSTR>(u"&Job");
            item.strStatusBarText = const_cast<LPWSTR>(u"Creates a new job.");
            item.lCommandID = kNewJob;
            item.lInsertionPointID = CCM_INSERTIONPOINTID_PRIMARY_NEW;
            callback->AddItem(&item);
        }
        return S_OK;
    }
    STDMETHODIMP Command(long id, LPDATAOBJECT) override {
        if (id == kOpenHelp) Log(KvOpenWebAddress("https://help.example.invalid/console") ? "help opened" : "help not opened");
        if (id != kNewJob) return S_OK;
        MMC_COOKIE cookie = g_shared->nextJob++;
        g_shared->jobs[cookie].name = W("Job " + std::to_string(cookie - kFirstJob + 1));
        InsertJob(cookie);
        g_shared->console->SelectScopeItem(g_shared->jobs[cookie].item);
        Log("created " + N(g_shared->jobs[cookie].name.c_str()));
        return S_OK;
    }

private:
    kv::platform::ComRefCount m_refs;
};

const kv::platform::ComClassRegistration kComponentData = {&CLSID_TestSnapin, "Test Snap-in", "KvTest.Snapin.1", "KvTest.Snapin", "Both", nullptr};

const char kAboutPage[] = "<html><body><h3>About</h3><p>Right-click the node and choose Properties.</p></body></html>";
const char kDot[] = "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'><circle cx='8' cy='8' r='6' fill='#2f6db5'/></svg>";
const KvHtmlResource kPages[] = {{"ABOUT.HTM", kAboutPage, sizeof kAboutPage - 1}, {"DOT.SVG", kDot, sizeof kDot - 1}};
const KvHtmlResourceTable kPageTable = {2, kPages};

}  // namespace

KV_EXPORT const KvHtmlResourceTable* kv_html_table() { return &kPageTable; }

KV_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TestSnapin) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new kv::platform::ClassFactory<ComponentData>;
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

KV_EXPORT HRESULT DllCanUnloadNow() { return S_FALSE; }

KV_EXPORT HRESULT DllRegisterServer() {
    char path[MAX_PATH * 4];
    if (GetModuleFileNameA(GetModuleHandleA("KvTestSnapin.dll"), path, sizeof path) == 0) return E_FAIL;
    HRESULT hr = kv::platform::RegisterComClass(kComponentData, path);
    if (FAILED(hr)) return hr;
    std::string key = "SOFTWARE\\Microsoft\\MMC\\SnapIns\\" + kv::platform::GuidText(CLSID_TestSnapin);
    LONG result = kv::platform::SetRegistryText(reinterpret_cast<void*>(static_cast<uintptr_t>(0x80000002u)), key, "NameString", "Test Snap-in");
    return result == 0 ? S_OK : HRESULT_FROM_WIN32(result);
}

KV_EXPORT HRESULT DllUnregisterServer() { return kv::platform::UnregisterComClass(kComponentData); }
