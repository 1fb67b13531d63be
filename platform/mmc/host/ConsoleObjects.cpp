#include "platform/mmc/host/ConsoleObjects.h"

#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/host/View.h"
#include "platform/mmc/host/WideText.h"
#include "platform/ui/WinUser.h"
#include "platform/ui/MessageBox.h"

namespace kv::mmc {

// ---- Image lists -----------------------------------------------------------

void* ImageListObject::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IImageList) return static_cast<IImageList*>(this);
    return nullptr;
}

HRESULT ImageListObject::ImageListSetIcon(LONG_PTR* icon, long index) {
    const char* name = KvNamedIconName(reinterpret_cast<HICON>(icon));
    if (name == nullptr) return E_INVALIDARG;
    m_names[index] = name;
    m_host.Changed();
    return S_OK;
}

HRESULT ImageListObject::ImageListSetStrip(LONG_PTR* smallStrip, LONG_PTR* largeStrip, long start, COLORREF) {
    const char* const* names = nullptr;
    int count = 0;
    // The small strip is what the panes draw; the large one only for big icons.
    if (!KvNamedStripNames(reinterpret_cast<HBITMAP>(smallStrip), &names, &count) &&
        !KvNamedStripNames(reinterpret_cast<HBITMAP>(largeStrip), &names, &count))
        return E_INVALIDARG;
    for (int i = 0; i < count; ++i) m_names[start + i] = names[i];
    m_host.Changed();
    return S_OK;
}

std::string ImageListObject::Name(int index) const {
    auto it = m_names.find(index);
    return it == m_names.end() ? std::string() : it->second;
}

// ---- Verbs -----------------------------------------------------------------

void* ConsoleVerbs::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IConsoleVerb) return static_cast<IConsoleVerb*>(this);
    return nullptr;
}

HRESULT ConsoleVerbs::GetVerbState(MMC_CONSOLE_VERB verb, MMC_BUTTON_STATE state, BOOL* value) {
    if (value == nullptr) return E_POINTER;
    auto it = m_states.find(verb);
    *value = it != m_states.end() && (it->second & state) ? TRUE : FALSE;
    return S_OK;
}

HRESULT ConsoleVerbs::SetVerbState(MMC_CONSOLE_VERB verb, MMC_BUTTON_STATE state, BOOL value) {
    if (verb < MMC_VERB_OPEN || verb > MMC_VERB_CUT) return E_INVALIDARG;
    UINT& flags = m_states[verb];
    flags = value ? (flags | state) : (flags & ~static_cast<UINT>(state));
    m_host.Changed();
    return S_OK;
}

HRESULT ConsoleVerbs::SetDefaultVerb(MMC_CONSOLE_VERB verb) {
    m_default = verb;
    return S_OK;
}

HRESULT ConsoleVerbs::GetDefaultVerb(MMC_CONSOLE_VERB* verb) {
    if (verb == nullptr) return E_POINTER;
    *verb = m_default;
    return S_OK;
}

void ConsoleVerbs::Reset() {
    // Disabled, not hidden, until the snap-in enables them: snap-ins enable
    // a verb without un-hiding it, as the console's own default allows.
    m_states.clear();
    m_default = MMC_VERB_NONE;
}

bool ConsoleVerbs::Visible(MMC_CONSOLE_VERB verb) const {
    auto it = m_states.find(verb);
    return it != m_states.end() && !(it->second & HIDDEN) && (it->second & ENABLED);
}

bool ConsoleVerbs::Enabled(MMC_CONSOLE_VERB verb) const {
    auto it = m_states.find(verb);
    return it != m_states.end() && (it->second & ENABLED) != 0;
}

// ---- Message view ------------------------------------------------------------

void* MessageViewObject::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IMessageView) return static_cast<IMessageView*>(this);
    return nullptr;
}

HRESULT MessageViewObject::SetTitleText(LPCOLESTR text) {
    title = text ? std::u16string(text) : std::u16string();
    m_host.Changed();
    return S_OK;
}

HRESULT MessageViewObject::SetBodyText(LPCOLESTR text) {
    body = text ? std::u16string(text) : std::u16string();
    m_host.Changed();
    return S_OK;
}

HRESULT MessageViewObject::SetIcon(IconIdentifier id) {
    if (id != Icon_None && (id < Icon_First || id > Icon_Last)) return E_INVALIDARG;
    icon = id;
    m_host.Changed();
    return S_OK;
}

HRESULT MessageViewObject::Clear() {
    title.clear();
    body.clear();
    icon = Icon_None;
    m_host.Changed();
    return S_OK;
}

// ---- Name space ----------------------------------------------------------------

void* NameSpace::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IConsoleNameSpace || riid == IID_IConsoleNameSpace2)
        return static_cast<IConsoleNameSpace2*>(this);
    return nullptr;
}

HRESULT NameSpace::InsertItem(LPSCOPEDATAITEM item) {
    HRESULT hr = m_host.Tree().Insert(item);
    if (SUCCEEDED(hr)) m_host.Changed();
    return hr;
}

HRESULT NameSpace::DeleteItem(HSCOPEITEM item, long deleteThis) {
    const ScopeItem* target = m_host.Tree().Find(item);
    if (target == nullptr) return E_INVALIDARG;
    HSCOPEITEM fallback = deleteThis ? target->parent : item;
    std::vector<HSCOPEITEM> removed;
    HRESULT hr = m_host.Tree().Delete(item, deleteThis != 0, &removed);
    if (SUCCEEDED(hr)) m_host.ScopeItemsRemoved(removed, fallback);
    return hr;
}

HRESULT NameSpace::SetItem(LPSCOPEDATAITEM item) {
    if (item == nullptr) return E_POINTER;
    HRESULT hr = m_host.Tree().Set(*item);
    if (SUCCEEDED(hr)) m_host.Changed();
    return hr;
}

HRESULT NameSpace::GetItem(LPSCOPEDATAITEM item) { return m_host.Tree().Get(item); }

HRESULT NameSpace::GetChildItem(HSCOPEITEM item, HSCOPEITEM* child, MMC_COOKIE* cookie) {
    if (child == nullptr || cookie == nullptr) return E_POINTER;
    *child = 0;
    *cookie = 0;
    const ScopeItem* parent = m_host.Tree().Find(item);
    if (parent == nullptr) return E_INVALIDARG;
    if (parent->children.empty()) return S_FALSE;
    *child = parent->children.front();
    *cookie = m_host.Tree().Find(*child)->cookie;
    return S_OK;
}

HRESULT NameSpace::GetNextItem(HSCOPEITEM item, HSCOPEITEM* next, MMC_COOKIE* cookie) {
    if (next == nullptr || cookie == nullptr) return E_POINTER;
    *next = 0;
    *cookie = 0;
    const ScopeItem* current = m_host.Tree().Find(item);
    if (current == nullptr) return E_INVALIDARG;
    const ScopeItem* parent = m_host.Tree().Find(current->parent);
    if (parent == nullptr) return S_FALSE;
    for (size_t i = 0; i + 1 < parent->children.size(); ++i) {
        if (parent->children[i] == item) {
            *next = parent->children[i + 1];
            *cookie = m_host.Tree().Find(*next)->cookie;
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT NameSpace::GetParentItem(HSCOPEITEM item, HSCOPEITEM* parent, MMC_COOKIE* cookie) {
    if (parent == nullptr || cookie == nullptr) return E_POINTER;
    const ScopeItem* current = m_host.Tree().Find(item);
    if (current == nullptr || current->parent == 0) return E_INVALIDARG;
    *parent = current->parent;
    *cookie = m_host.Tree().Find(current->parent)->cookie;
    return S_OK;
}

HRESULT NameSpace::Expand(HSCOPEITEM item) {
    if (m_host.Tree().Find(item) == nullptr) return E_INVALIDARG;
    m_host.ExpandScopeItem(item);
    return S_OK;
}

HRESULT NameSpace::AddExtension(HSCOPEITEM, LPCLSID) { return E_NOTIMPL; }

// ---- The console of a view -----------------------------------------------------

void* ViewConsole::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IConsole || riid == IID_IConsole2) return static_cast<IConsole3*>(this);
    // Console 1.x has neither of these; snap-ins tell the versions apart by them.
    if (riid == IID_IConsole3 && m_host.Version2()) return static_cast<IConsole3*>(this);
    if (riid == IID_IColumnData && m_host.Version2()) return static_cast<IColumnData*>(this);
    if (riid == IID_IConsoleNameSpace || riid == IID_IConsoleNameSpace2) {
        m_host.NameSpaceObject()->AddRef();
        m_hostRefs.fetch_sub(1);  // the caller's reference is the name space's
        return static_cast<IConsoleNameSpace2*>(m_host.NameSpaceObject());
    }
    if (riid == IID_IPropertySheetProvider) {
        auto* provider = reinterpret_cast<IUnknown*>(m_host.SheetProviderObject());
        provider->AddRef();
        m_hostRefs.fetch_sub(1);
        return provider;
    }
    if (m_view != nullptr && riid == IID_IResultData) return static_cast<IResultData*>(this);
    if (m_view != nullptr && riid == IID_IHeaderCtrl) return static_cast<IHeaderCtrl*>(this);
    return nullptr;
}

HRESULT ViewConsole::SetHeader(LPHEADERCTRL) { return S_OK; }
HRESULT ViewConsole::SetToolbar(LPTOOLBAR) { return S_OK; }

HRESULT ViewConsole::QueryResultView(LPUNKNOWN* unknown) {
    if (unknown == nullptr) return E_POINTER;
    *unknown = nullptr;
    if (m_view == nullptr) return E_UNEXPECTED;
    if (m_view->kind == ResultKind::Message) {
        m_view->messageView->AddRef();
        *unknown = m_view->messageView.get();
        return S_OK;
    }
    if (m_view->kind == ResultKind::List) {
        AddRef();
        *unknown = static_cast<IResultData*>(this);
        return S_OK;
    }
    return E_FAIL;
}

HRESULT ViewConsole::QueryScopeImageList(LPIMAGELIST* imageList) {
    if (imageList == nullptr) return E_POINTER;
    m_host.ScopeImages().AddRef();
    *imageList = &m_host.ScopeImages();
    return S_OK;
}

HRESULT ViewConsole::QueryResultImageList(LPIMAGELIST* imageList) {
    if (imageList == nullptr) return E_POINTER;
    *imageList = nullptr;
    if (m_view == nullptr) return E_UNEXPECTED;
    m_view->resultImages->AddRef();
    *imageList = m_view->resultImages.get();
    return S_OK;
}

HRESULT ViewConsole::UpdateAllViews(LPDATAOBJECT dataObject, LPARAM data, LONG_PTR hint) {
    m_host.UpdateAllViews(dataObject, data, hint);
    return S_OK;
}

HRESULT ViewConsole::MessageBox(LPCWSTR text, LPCWSTR title, UINT style, int* result) {
    int answer = ::MessageBoxA(m_host.MainWindow(), Narrow(text).c_str(), Narrow(title).c_str(), style);
    if (result) *result = answer;
    return answer == 0 ? E_FAIL : S_OK;
}

HRESULT ViewConsole::QueryConsoleVerb(LPCONSOLEVERB* verb) {
    if (verb == nullptr) return E_POINTER;
    *verb = nullptr;
    View* view = m_view != nullptr ? m_view : m_host.ActiveView();
    if (view == nullptr) return E_UNEXPECTED;
    view->verbs->AddRef();
    *verb = view->verbs.get();
    return S_OK;
}

HRESULT ViewConsole::SelectScopeItem(HSCOPEITEM item) {
    if (m_host.Tree().Find(item) == nullptr) return E_INVALIDARG;
    View* view = m_view != nullptr ? m_view : m_host.ActiveView();
    if (view == nullptr) return S_OK;  // no view yet: nothing shows a selection
    m_host.SelectScopeItem(*view, item);
    return S_OK;
}

HRESULT ViewConsole::GetMainWindow(HWND* window) {
    if (window == nullptr) return E_POINTER;
    *window = m_host.MainWindow();
    return S_OK;
}

HRESULT ViewConsole::NewWindow(HSCOPEITEM, DWORD) { return E_NOTIMPL; }

HRESULT ViewConsole::Expand(HSCOPEITEM item, BOOL expand) {
    if (m_host.Tree().Find(item) == nullptr) return E_INVALIDARG;
    m_host.ExpandScopeItem(item);
    View* view = m_view != nullptr ? m_view : m_host.ActiveView();
    if (view != nullptr) {
        if (expand)
            view->expanded.insert(item);
        else
            view->expanded.erase(item);
    }
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::IsTaskpadViewPreferred() { return S_FALSE; }

HRESULT ViewConsole::SetStatusText(LPOLESTR text) {
    m_host.SetStatusText(text ? std::u16string(text) : std::u16string());
    return S_OK;
}

HRESULT ViewConsole::RenameScopeItem(HSCOPEITEM item) {
    if (m_host.Tree().Find(item) == nullptr) return E_INVALIDARG;
    View* view = m_view != nullptr ? m_view : m_host.ActiveView();
    if (view == nullptr) return E_UNEXPECTED;
    m_host.StartRename(*view, item);
    return S_OK;
}

HRESULT ViewConsole::InsertItem(LPRESULTDATAITEM item) {
    if (item != nullptr && item->bScopeItem) return E_INVALIDARG;  // scope items list themselves
    HRESULT hr = m_view->list.Insert(item);
    if (SUCCEEDED(hr)) m_host.Changed();
    return hr;
}

HRESULT ViewConsole::DeleteItem(HRESULTITEM item, int) {
    HRESULT hr = m_view->list.Delete(item);
    if (SUCCEEDED(hr)) m_host.Changed();
    return hr;
}

HRESULT ViewConsole::FindItemByLParam(LPARAM lParam, HRESULTITEM* item) { return m_view->list.FindByLParam(lParam, item); }

HRESULT ViewConsole::DeleteAllRsltItems() {
    m_view->list.Clear();
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::SetItem(LPRESULTDATAITEM item) {
    if (item == nullptr) return E_POINTER;
    HRESULT hr = m_view->list.Set(*item);
    if (SUCCEEDED(hr)) m_host.Changed();
    return hr;
}

HRESULT ViewConsole::GetItem(LPRESULTDATAITEM item) { return m_view->list.Get(item); }
HRESULT ViewConsole::GetNextItem(LPRESULTDATAITEM item) { return m_view->list.Next(item); }

HRESULT ViewConsole::ModifyItemState(int index, HRESULTITEM item, UINT add, UINT remove) {
    HRESULT hr = m_view->list.ModifyState(index, item, add, remove);
    if (SUCCEEDED(hr)) m_host.Changed();
    return hr;
}

HRESULT ViewConsole::ModifyViewStyle(MMC_RESULT_VIEW_STYLE, MMC_RESULT_VIEW_STYLE) { return S_OK; }

HRESULT ViewConsole::SetViewMode(long mode) {
    m_viewMode = mode;
    return S_OK;
}

HRESULT ViewConsole::GetViewMode(long* mode) {
    if (mode == nullptr) return E_POINTER;
    *mode = m_viewMode;
    return S_OK;
}

HRESULT ViewConsole::UpdateItem(HRESULTITEM) {
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::Sort(int, DWORD, LPARAM) {
    // The front end sorts by the column the user clicked.
    return S_OK;
}

HRESULT ViewConsole::SetDescBarText(LPOLESTR text) {
    m_view->description = text ? std::u16string(text) : std::u16string();
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::SetItemCount(int, DWORD) { return S_OK; }

HRESULT ViewConsole::InsertColumn(int column, LPCWSTR title, int format, int width) {
    auto& columns = m_view->list.columns;
    if (column < 0 || column > static_cast<int>(columns.size())) return E_INVALIDARG;
    ResultColumn created;
    created.title = title ? std::u16string(title) : std::u16string();
    created.format = format;
    created.width = width == MMCLV_AUTO || width <= 0 ? 160 : width;
    columns.insert(columns.begin() + column, created);
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::DeleteColumn(int column) {
    auto& columns = m_view->list.columns;
    if (column < 0 || column >= static_cast<int>(columns.size())) return E_INVALIDARG;
    columns.erase(columns.begin() + column);
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::SetColumnText(int column, LPCWSTR title) {
    auto& columns = m_view->list.columns;
    if (column < 0 || column >= static_cast<int>(columns.size())) return E_INVALIDARG;
    columns[static_cast<size_t>(column)].title = title ? std::u16string(title) : std::u16string();
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::GetColumnText(int column, LPOLESTR* title) {
    if (title == nullptr) return E_POINTER;
    auto& columns = m_view->list.columns;
    if (column < 0 || column >= static_cast<int>(columns.size())) return E_INVALIDARG;
    *title = TaskCopy(columns[static_cast<size_t>(column)].title);
    return *title ? S_OK : E_OUTOFMEMORY;
}

HRESULT ViewConsole::SetColumnWidth(int column, int width) {
    auto& columns = m_view->list.columns;
    if (column < 0 || column >= static_cast<int>(columns.size())) return E_INVALIDARG;
    columns[static_cast<size_t>(column)].width = width;
    m_host.Changed();
    return S_OK;
}

HRESULT ViewConsole::GetColumnWidth(int column, int* width) {
    if (width == nullptr) return E_POINTER;
    auto& columns = m_view->list.columns;
    if (column < 0 || column >= static_cast<int>(columns.size())) return E_INVALIDARG;
    *width = columns[static_cast<size_t>(column)].width;
    return S_OK;
}

HRESULT ViewConsole::SetColumnConfigData(void*, void*) { return S_FALSE; }
HRESULT ViewConsole::GetColumnConfigData(void*, void** data) {
    if (data) *data = nullptr;
    return S_FALSE;
}
HRESULT ViewConsole::SetColumnSortData(void*, void*) { return S_FALSE; }
HRESULT ViewConsole::GetColumnSortData(void*, void** data) {
    if (data) *data = nullptr;
    return S_FALSE;
}

}  // namespace kv::mmc
