#include "platform/mmc/host/ConsoleHost.h"

#include <algorithm>
#include <cstdio>

#include "platform/com/Activation.h"
#include "platform/com/ComInit.h"
#include "platform/mmc/host/ConsoleObjects.h"
#include "platform/mmc/host/ContextMenu.h"
#include "platform/mmc/host/MultiSelectData.h"
#include "platform/mmc/host/PropertySheets.h"
#include "platform/mmc/host/ResultPane.h"
#include "platform/mmc/host/ResourcePages.h"
#include "platform/mmc/host/VersionInfo.h"
#include "platform/mmc/host/View.h"
#include "platform/mmc/host/WideText.h"
#include "platform/mmc/WebAddress.h"
#include "platform/ui/Display.h"
#include "platform/ui/UiThread.h"
#include "platform/ui/WinUser.h"

namespace kv::mmc {

namespace {

// Far more tabs than anyone works with; a page reloading in a loop must not
// pile up components without end.
constexpr size_t kMaxViews = 16;

const char* const kMainFrameClass = "MMCMainFrame";

LRESULT CALLBACK_MainFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(window, message, wParam, lParam);
}

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

const char* MessageIconName(IconIdentifier icon) {
    switch (icon) {
        case Icon_Error: return "error";
        case Icon_Question: return "question";
        case Icon_Warning: return "warning";
        case Icon_Information: return "information";
        default: return "";
    }
}

}  // namespace

ConsoleHost::ConsoleHost(HostOptions options) : m_options(std::move(options)) {
    auto first = std::make_shared<HostSnapshot>();
    first->version = m_version;
    first->title = m_options.title;
    m_snapshot = first;
}

ConsoleHost::~ConsoleHost() { Stop(); }

void ConsoleHost::Start() {
    if (m_thread) return;
    // Message boxes of this process become windows the browser shows.
    kv::ui::EnableDisplay();
    m_thread = std::make_unique<kv::ui::UiThread>();
    KvSetWebAddressHandler(
        [](const char* address, void* context) {
            auto* host = static_cast<ConsoleHost*>(context);
            std::string copy(address);
            host->DeleteLater([host, copy] { host->RequestBrowserOpen(copy); });
        },
        this);
    m_thread->Post([this] { InitialiseOnThread(); });
}

void ConsoleHost::Stop() {
    if (!m_thread) return;
    KvSetWebAddressHandler(nullptr, nullptr);
    m_thread->Invoke([this] { ShutdownOnThread(); });
    m_thread->Stop();
    m_thread.reset();
}

// ---- Any thread ----------------------------------------------------------------

std::shared_ptr<const HostSnapshot> ConsoleHost::Snapshot() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_snapshot;
}

std::shared_ptr<const HostSnapshot> ConsoleHost::WaitForChange(uint64_t version, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait_for(guard, timeout, [&] { return m_snapshot->version != version; });
    return m_snapshot;
}

void ConsoleHost::Touch() {
    std::lock_guard<std::mutex> guard(m_lock);
    auto copy = std::make_shared<HostSnapshot>(*m_snapshot);
    copy->version = ++m_version;
    m_snapshot = copy;
    m_changed.notify_all();
}

bool ConsoleHost::Ready() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ready;
}

int ConsoleHost::OpenView() {
    int id;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_liveViews.size() + m_pendingViews.size() >= kMaxViews) return 0;
        id = m_nextView++;
        m_pendingViews.insert(id);
    }
    if (m_thread) m_thread->Post([this] { ServiceViews(); });
    return id;
}

void ConsoleHost::CloseView(int view) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_pendingViews.erase(view) == 0 && m_liveViews.count(view) == 0) return;
        if (m_liveViews.count(view)) m_closingViews.insert(view);
    }
    if (m_thread) m_thread->Post([this] { ServiceViews(); });
}

bool ConsoleHost::Post(const HostCommand& command) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_liveViews.count(command.view) == 0 && m_pendingViews.count(command.view) == 0) return false;
    }
    if (!m_thread) return false;
    m_thread->Post([this, command] { Execute(command); });
    return true;
}

// ---- User-interface thread ---------------------------------------------------------

void ConsoleHost::DeleteLater(std::function<void()> call) {
    if (m_thread) m_thread->Post(std::move(call));
}

void ConsoleHost::InitialiseOnThread() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WNDCLASSA frameClass{};
    frameClass.lpfnWndProc = CALLBACK_MainFrame;
    frameClass.lpszClassName = kMainFrameClass;
    RegisterClass(&frameClass);
    // The frame is never shown: the browser page is the console's window.
    // Message boxes and sheets are owned by it, as by the console's window.
    m_mainWindow = CreateWindowEx(0, kMainFrameClass, m_options.title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 1024, 768,
                                  nullptr, 0, nullptr, nullptr);

    m_scopeConsole = std::make_unique<ViewConsole>(*this, nullptr);
    m_nameSpace = std::make_unique<NameSpace>(*this);
    m_scopeImages = std::make_unique<ImageListObject>(*this);
    m_sheetProvider = std::make_unique<SheetProvider>(*this);
    m_sheets = std::make_unique<PropertySheets>(*this);

    if (m_options.version2) {
        IClassFactory* factory = CreateVersionInfoFactory(2, 0);
        if (factory && SUCCEEDED(CoRegisterClassObject(CLSID_MMCVersionInfo, factory, CLSCTX_INPROC_SERVER,
                                                       REGCLS_MULTIPLEUSE, &m_versionCookie)))
            m_versionFactory = factory;
        else if (factory)
            factory->Release();
    }
    IClassFactory* sheets = CreateSheetProviderFactory(m_sheetProvider.get());
    if (sheets && SUCCEEDED(CoRegisterClassObject(CLSID_NodeManager, sheets, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                                  &m_nodeManagerCookie)))
        m_nodeManagerFactory = sheets;
    else if (sheets)
        sheets->Release();

    HRESULT hr = CoCreateInstance(m_options.snapin, nullptr, CLSCTX_INPROC_SERVER, IID_IComponentData,
                                  reinterpret_cast<void**>(&m_componentData));
    if (FAILED(hr) || m_componentData == nullptr) {
        m_componentData = nullptr;
        m_failure = "The snap-in could not be created (" + HexResult(hr) + ").";
    } else {
        // As the console opening a document: the snap-in initialises before
        // anyone looks, and what it shows meanwhile waits for a browser.
        hr = m_componentData->Initialize(static_cast<IConsole3*>(m_scopeConsole.get()));
        if (FAILED(hr)) {
            m_failure = "The snap-in failed to initialize (" + HexResult(hr) + ").";
            m_componentData->Release();
            m_componentData = nullptr;
        } else {
            ExpandScopeItem(m_tree.Root());
        }
    }
    if (m_title.empty()) m_title = m_options.title.empty() && m_componentData ? ScopeName(m_tree.Root()) : m_options.title;
    if (m_title.empty()) m_title = "Console Root";
    if (m_mainWindow) SetWindowText(m_mainWindow, m_title.c_str());
    m_initialised = true;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ready = true;
    }
    ServiceViews();
    Publish();
}

void ConsoleHost::ShutdownOnThread() {
    if (m_sheets) {
        m_sheets->Abandon();
        m_sheets->CloseAll();
    }
    for (auto& [id, view] : m_views) DestroyView(*view);
    m_views.clear();
    if (m_componentData) {
        m_componentData->Destroy();
        m_componentData->Release();
        m_componentData = nullptr;
    }
    if (m_versionFactory) {
        CoRevokeClassObject(m_versionCookie);
        m_versionFactory->Release();
        m_versionFactory = nullptr;
    }
    if (m_nodeManagerFactory) {
        CoRevokeClassObject(m_nodeManagerCookie);
        m_nodeManagerFactory->Release();
        m_nodeManagerFactory = nullptr;
    }
    if (m_mainWindow) DestroyWindow(m_mainWindow);
    m_mainWindow = nullptr;
    CoUninitialize();
}

bool ConsoleHost::ModalActive() const { return !kv::ui::CurrentSnapshot()->modalChain.empty(); }

View* ConsoleHost::FindView(int id) {
    auto it = m_views.find(id);
    return it == m_views.end() ? nullptr : it->second.get();
}

View* ConsoleHost::ActiveView() {
    View* view = FindView(m_activeView);
    if (view == nullptr && !m_views.empty()) view = m_views.begin()->second.get();
    return view;
}

void ConsoleHost::Changed() {
    if (m_publishPending || !m_thread) return;
    m_publishPending = true;
    m_thread->Post([this] {
        m_publishPending = false;
        Publish();
    });
}

void ConsoleHost::ServiceViews() {
    // Components are made and dropped only while the snap-in is not inside
    // one of its own calls (a modal dialog of the initialisation or of a command).
    if (!m_initialised || m_commandDepth > 0 || ModalActive()) return;
    std::set<int> pending, closing;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        pending.swap(m_pendingViews);
        closing.swap(m_closingViews);
    }
    bool changed = false;
    for (int id : closing) {
        auto it = m_views.find(id);
        if (it == m_views.end()) continue;
        DestroyView(*it->second);
        m_views.erase(it);
        std::lock_guard<std::mutex> guard(m_lock);
        m_liveViews.erase(id);
        changed = true;
    }
    for (int id : pending) {
        auto view = std::make_unique<View>(*this, id);
        View& created = *view;
        m_views[id] = std::move(view);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_liveViews.insert(id);
        }
        if (!CreateViewComponent(created)) {
            // The view stays, showing the tree without a result pane.
        }
        changed = true;
    }
    if (changed) Changed();
}

bool ConsoleHost::CreateViewComponent(View& view) {
    if (m_componentData == nullptr) return false;
    ++m_commandDepth;
    HRESULT hr = m_componentData->CreateComponent(&view.component);
    if (SUCCEEDED(hr) && view.component) hr = view.component->Initialize(static_cast<IConsole3*>(view.console.get()));
    --m_commandDepth;
    if (FAILED(hr) || view.component == nullptr) {
        if (view.component) view.component->Release();
        view.component = nullptr;
        return false;
    }
    view.expanded.insert(m_tree.Root());
    ++m_commandDepth;
    SelectScopeItem(view, m_tree.Root());
    --m_commandDepth;
    return true;
}

void ConsoleHost::DestroyView(View& view) {
    if (view.component && view.shownDataObject) view.component->Notify(view.shownDataObject, MMCN_SHOW, FALSE, view.selectedScope);
    view.ReleaseShown();
    if (view.component) {
        view.component->Destroy(0);
        view.component->Release();
        view.component = nullptr;
    }
    if (m_activeView == view.id) m_activeView = 0;
}

HRESULT ConsoleHost::ScopeDataObject(HSCOPEITEM item, LPDATAOBJECT* dataObject) {
    if (dataObject == nullptr) return E_POINTER;
    *dataObject = nullptr;
    const ScopeItem* scope = m_tree.Find(item);
    if (scope == nullptr || m_componentData == nullptr) return E_INVALIDARG;
    return m_componentData->QueryDataObject(scope->cookie, CCT_SCOPE, dataObject);
}

std::string ConsoleHost::ScopeName(HSCOPEITEM item) {
    const ScopeItem* scope = m_tree.Find(item);
    if (scope == nullptr) return std::string();
    if (!scope->nameCallback) return Narrow(scope->name);
    if (m_componentData == nullptr) return std::string();
    SCOPEDATAITEM request{};
    request.mask = SDI_STR;
    request.lParam = scope->cookie;
    request.ID = item;
    if (FAILED(m_componentData->GetDisplayInfo(&request)) || request.displayname == nullptr ||
        request.displayname == MMC_CALLBACK)
        return std::string();
    return Narrow(request.displayname);
}

void ConsoleHost::ExpandScopeItem(HSCOPEITEM item) {
    ScopeItem* scope = m_tree.Find(item);
    if (scope == nullptr || scope->expandedOnce || m_componentData == nullptr) return;
    scope->expandedOnce = true;
    LPDATAOBJECT dataObject = nullptr;
    if (SUCCEEDED(ScopeDataObject(item, &dataObject))) {
        m_componentData->Notify(dataObject, MMCN_EXPAND, TRUE, item);
        if (dataObject) dataObject->Release();
    }
    Changed();
}

void ConsoleHost::ScopeItemsRemoved(const std::vector<HSCOPEITEM>& removed, HSCOPEITEM fallback) {
    for (auto& [id, view] : m_views) {
        for (HSCOPEITEM gone : removed) {
            view->expanded.erase(gone);
            view->selectedScopeRows.erase(std::remove(view->selectedScopeRows.begin(), view->selectedScopeRows.end(), gone),
                                          view->selectedScopeRows.end());
            if (view->selectedScope == gone) {
                // The snap-in may still be in the middle of removing the
                // item's node: the view moves once the current call is done.
                view->selectedScope = 0;
                view->reselect = fallback;
                if (view->shownDataObject) view->shownDataObject->Release();
                view->shownDataObject = nullptr;
            }
            if (view->menuScopeItem == gone) view->menuScopeItem = 0;
            if (view->renameTarget == "scope:" + std::to_string(gone)) view->renameTarget.clear();
        }
        if (view->reselect != 0) {
            HSCOPEITEM target = view->reselect;
            int viewId = id;
            m_thread->Post([this, viewId, target] {
                View* v = FindView(viewId);
                if (v == nullptr || v->reselect != target) return;
                v->reselect = 0;
                if (m_tree.Find(target) && v->selectedScope == 0) SelectScopeItem(*v, target);
            });
        }
    }
    Changed();
}

void ConsoleHost::SelectScopeItem(View& view, HSCOPEITEM item) {
    if (view.component == nullptr || m_tree.Find(item) == nullptr) return;
    view.menu.clear();
    view.menuId = 0;
    view.renameTarget.clear();
    if (view.shownDataObject) {
        view.component->Notify(view.shownDataObject, MMCN_SELECT, MAKELONG(TRUE, FALSE), 0);
        view.component->Notify(view.shownDataObject, MMCN_SHOW, FALSE, view.selectedScope);
    }
    view.ReleaseShown();
    // The result pane lists an item's children: the snap-in enumerates them now.
    ExpandScopeItem(item);
    if (m_tree.Find(item) == nullptr) return;
    // Its ancestors open in the tree, so the selection can be seen.
    for (const ScopeItem* up = m_tree.Find(m_tree.Find(item)->parent); up != nullptr; up = up->parent ? m_tree.Find(up->parent) : nullptr)
        view.expanded.insert(up->id);
    view.selectedScope = item;
    view.focus = "scope";
    view.selectedScopeRows.clear();
    view.list.Reset();
    view.lastSelection.clear();
    view.description.clear();
    view.resultImages->Clear();
    view.messageView->title.clear();
    view.messageView->body.clear();
    view.messageView->icon = Icon_None;
    view.kind = ResultKind::List;
    view.resourceModule.clear();
    view.resourcePage.clear();
    view.webAddress.clear();
    if (FAILED(ScopeDataObject(item, &view.shownDataObject))) view.shownDataObject = nullptr;

    LPOLESTR viewType = nullptr;
    long options = MMC_VIEW_OPTIONS_NONE;
    HRESULT hr = view.component->GetResultViewType(m_tree.Find(item)->cookie, &viewType, &options);
    std::u16string type = viewType ? std::u16string(viewType) : std::u16string();
    if (viewType) CoTaskMemFree(viewType);
    view.viewOptions = options;
    if (hr == S_FALSE || FAILED(hr) || type.empty()) {
        view.kind = ResultKind::List;
    } else if (type[0] == u'{') {
        CLSID control{};
        if (SUCCEEDED(CLSIDFromString(type.c_str(), &control)) && control == CLSID_MessageView) {
            view.kind = ResultKind::Message;
        } else {
            view.kind = ResultKind::Message;
            view.messageView->title = u"This view cannot be shown";
            view.messageView->body = u"The snap-in asked for a control that this console does not have: " + type;
            view.messageView->icon = Icon_Warning;
        }
    } else {
        std::string address = Narrow(type);
        std::string module, page;
        if (ParseResourceAddress(address, &module, &page)) {
            view.kind = ResultKind::ResourcePage;
            view.resourceModule = module;
            view.resourcePage = page;
        } else {
            view.kind = ResultKind::WebAddress;
            view.webAddress = address;
        }
    }
    LPDATAOBJECT shown = view.shownDataObject;
    if (view.kind == ResultKind::List) view.component->Notify(shown, MMCN_ADD_IMAGES, reinterpret_cast<LPARAM>(static_cast<IImageList*>(view.resultImages.get())), item);
    if (view.kind == ResultKind::Message && type[0] == u'{')
        view.component->Notify(shown, MMCN_INITOCX, 0, reinterpret_cast<LPARAM>(static_cast<IUnknown*>(view.messageView.get())));
    if (HWND list = view.list.Control()) {
        LONG_PTR style = GetWindowLongPtr(list, GWL_STYLE) & ~static_cast<LONG_PTR>(LVS_SINGLESEL);
        if ((options & MMC_VIEW_OPTIONS_MULTISELECT) == 0) style |= LVS_SINGLESEL;
        SetWindowLongPtr(list, GWL_STYLE, style);
    }
    view.component->Notify(shown, MMCN_SHOW, TRUE, item);
    SyncScopeRows(view);
    view.list.SyncColumns();
    view.verbs->Reset();
    view.component->Notify(shown, MMCN_SELECT, MAKELONG(TRUE, TRUE), 0);
    m_activeView = view.id;
    Changed();
}

void ConsoleHost::UpdateAllViews(LPDATAOBJECT dataObject, LPARAM data, LONG_PTR hint) {
    std::vector<int> ids;
    for (auto& [id, view] : m_views) ids.push_back(id);
    for (int id : ids) {
        View* view = FindView(id);
        if (view && view->component) view->component->Notify(dataObject, MMCN_VIEW_CHANGE, data, hint);
    }
    Changed();
}

void ConsoleHost::SetStatusText(const std::u16string& text) {
    m_status = text;
    Changed();
}

void ConsoleHost::StartRename(View& view, HSCOPEITEM item) {
    view.renameTarget = "scope:" + std::to_string(item);
    Changed();
}

void ConsoleHost::RequestBrowserOpen(const std::string& address) {
    // The latest few are kept; a page counts them all, so none shows twice.
    m_opens.push_back(address);
    if (m_opens.size() > 16) m_opens.erase(m_opens.begin());
    ++m_opensTotal;
    Changed();
}

void ConsoleHost::OpenProperties(View& view, bool scopePane, HSCOPEITEM scopeItem) {
    LPDATAOBJECT dataObject = nullptr;
    IUnknown* owner = nullptr;
    MMC_COOKIE cookie = 0;
    std::string name;
    if (scopePane || (view.selectionIsScopeItem && view.selectionCount == 1)) {
        HSCOPEITEM item = scopePane ? scopeItem : view.selectionScopeItem;
        const ScopeItem* scope = m_tree.Find(item);
        if (scope == nullptr || FAILED(ScopeDataObject(item, &dataObject))) return;
        cookie = scope->cookie;
        owner = m_componentData;
        name = ScopeName(item);
        scopePane = true;
    } else {
        if (view.selectionCount != 1 || view.SelectionDataObject(&dataObject, nullptr, nullptr) != S_OK) return;
        cookie = view.selectionCookie;
        owner = view.component;
        for (int index : view.list.Selected())
            if (view.list.RowAt(index).id != 0 && view.list.ParamAt(index) == cookie) name = view.list.TextAt(index, nullptr);
    }
    if (m_sheets->BringToFront(cookie)) {
        dataObject->Release();
        return;
    }
    IExtendPropertySheet* extension = nullptr;
    if (owner == nullptr || FAILED(owner->QueryInterface(IID_IExtendPropertySheet, reinterpret_cast<void**>(&extension))) ||
        extension == nullptr) {
        dataObject->Release();
        return;
    }
    HRESULT pages = extension->QueryPagesFor(dataObject);
    extension->Release();
    if (pages == S_OK && SUCCEEDED(m_sheets->Begin(Widen(name + " Properties"), cookie, dataObject))) {
        if (SUCCEEDED(m_sheets->AddPages(owner, scopePane)))
            m_sheets->Show(0);
        else
            m_sheets->Abandon();
    }
    dataObject->Release();
}

// ---- Commands ----------------------------------------------------------------------

void ConsoleHost::Execute(const HostCommand& command) {
    if (!m_initialised) return;
    View* view = FindView(command.view);
    if (view == nullptr || view->component == nullptr) return;
    if (command.type == CommandType::MenuStatus) {
        m_status = Widen(command.text);
        Changed();
        return;
    }
    // Behind a modal dialog the console takes no input, as its window is
    // disabled on Windows; nor while a command of its own is still running.
    if (m_commandDepth > 0 || ModalActive()) return;
    m_activeView = view->id;
    ++m_commandDepth;
    ExecuteFor(*view, command);
    --m_commandDepth;
    ServiceViews();
    Changed();
}

namespace {

MMC_CONSOLE_VERB VerbByName(const std::string& name) {
    if (name == "delete") return MMC_VERB_DELETE;
    if (name == "rename") return MMC_VERB_RENAME;
    if (name == "properties") return MMC_VERB_PROPERTIES;
    if (name == "refresh") return MMC_VERB_REFRESH;
    return MMC_VERB_NONE;
}

}  // namespace

void ConsoleHost::ExecuteFor(View& view, const HostCommand& command) {
    switch (command.type) {
        case CommandType::SelectScope:
            if (m_tree.Find(command.item)) SelectScopeItem(view, command.item);
            break;
        case CommandType::Expand:
            if (m_tree.Find(command.item) == nullptr) break;
            if (command.flag) {
                ExpandScopeItem(command.item);
                view.expanded.insert(command.item);
            } else {
                view.expanded.erase(command.item);
                // Collapsing over the selection moves it up, as a tree does.
                if (view.selectedScope != command.item && m_tree.IsWithin(view.selectedScope, command.item))
                    SelectScopeItem(view, command.item);
            }
            break;
        case CommandType::SelectResults: {
            SyncScopeRows(view);
            std::vector<int> rows;
            for (size_t i = 0; i < command.items.size(); ++i) {
                bool isScope = i < command.itemScopes.size() && command.itemScopes[i];
                int index = isScope ? view.list.IndexOfScope(command.items[i]) : view.list.IndexOfItem(command.items[i]);
                if (index >= 0) rows.push_back(index);
            }
            // A single-selection list keeps the item clicked last.
            bool multi = (view.viewOptions & MMC_VIEW_OPTIONS_MULTISELECT) != 0;
            if (!multi && rows.size() > 1) rows = {rows.back()};
            view.list.SelectOnly(rows);
            ResultSelectionChanged(view, true);
            break;
        }
        case CommandType::ActivateResult: {
            if (command.scope) {
                if (m_tree.Find(command.item)) {
                    view.expanded.insert(view.selectedScope);
                    SelectScopeItem(view, command.item);
                }
                break;
            }
            int index = view.list.IndexOfItem(command.item);
            if (index >= 0) ActivateRow(view, index);
            break;
        }
        case CommandType::ContextMenu:
            OpenContextMenu(view, command.pane != "result", command.item);
            break;
        case CommandType::ListInput:
            ListInput(view, command);
            break;
        case CommandType::CloseMenu:
            view.menu.clear();
            view.menuId = 0;
            break;
        case CommandType::MenuCommand: {
            if (command.menuId == 0 || command.menuId != view.menuId) break;
            view.menu.clear();
            view.menuId = 0;
            LPDATAOBJECT object = view.menuDataObject;
            IExtendContextMenu* target = view.menuTarget;
            view.menuDataObject = nullptr;
            view.menuTarget = nullptr;
            if (command.command.rfind("cmd:", 0) == 0 && target && object) {
                long id = std::strtol(command.command.c_str() + 4, nullptr, 10);
                target->Command(id, object);
            } else if (command.command.rfind("verb:", 0) == 0) {
                HostCommand verb;
                verb.type = CommandType::Verb;
                verb.view = view.id;
                verb.pane = view.menuScopePane ? "scope" : "result";
                verb.name = command.command.substr(5);
                if (view.menuScopePane && view.menuScopeItem == view.selectedScope) ExecuteFor(view, verb);
                else if (!view.menuScopePane) ExecuteFor(view, verb);
            }
            if (object) object->Release();
            if (target) target->Release();
            break;
        }
        case CommandType::Verb: {
            MMC_CONSOLE_VERB verb = VerbByName(command.name);
            if (verb == MMC_VERB_NONE || !view.verbs->Visible(verb)) break;
            bool scopePane = command.pane != "result" || view.focus == "scope";
            LPDATAOBJECT object = nullptr;
            if (scopePane)
                ScopeDataObject(view.selectedScope, &object);
            else
                view.SelectionDataObject(&object, nullptr, nullptr);
            if (object == nullptr) break;
            if (verb == MMC_VERB_DELETE)
                view.component->Notify(object, MMCN_DELETE, 0, 0);
            else if (verb == MMC_VERB_REFRESH)
                view.component->Notify(object, MMCN_REFRESH, 0, 0);
            else if (verb == MMC_VERB_PROPERTIES)
                OpenProperties(view, scopePane, view.selectedScope);
            else if (verb == MMC_VERB_RENAME) {
                if (scopePane)
                    view.renameTarget = "scope:" + std::to_string(view.selectedScope);
                else if (view.selectionCount == 1)
                    view.renameTarget = view.selectionIsScopeItem ? "scope:" + std::to_string(view.selectionScopeItem)
                                                                  : "result:" + std::to_string([&] {
                                                                        for (int index : view.list.Selected())
                                                                            if (view.list.RowAt(index).id != 0) return view.list.RowAt(index).id;
                                                                        return HRESULTITEM(0);
                                                                    }());
            }
            object->Release();
            break;
        }
        case CommandType::Rename: {
            std::string target = (command.scope ? "scope:" : "result:") + std::to_string(command.item);
            if (view.renameTarget != target) break;
            view.renameTarget.clear();
            std::u16string name = Widen(command.text);
            LPDATAOBJECT object = nullptr;
            if (command.scope) {
                if (m_tree.Find(command.item) == nullptr || FAILED(ScopeDataObject(command.item, &object))) break;
            } else {
                int index = view.list.IndexOfItem(command.item);
                if (index < 0) break;
                view.component->QueryDataObject(view.list.ParamAt(index), CCT_RESULT, &object);
            }
            if (object == nullptr) break;
            HRESULT hr = view.component->Notify(object, MMCN_RENAME, 0, reinterpret_cast<LPARAM>(name.c_str()));
            if (hr == E_NOTIMPL && command.scope) hr = m_componentData->Notify(object, MMCN_RENAME, 0, reinterpret_cast<LPARAM>(name.c_str()));
            object->Release();
            if (hr == S_OK) {
                // An accepted name shows at once where the console keeps it.
                if (command.scope) {
                    ScopeItem* item = m_tree.Find(command.item);
                    if (item && !item->nameCallback) item->name = name;
                } else if (int index = view.list.IndexOfItem(command.item); index >= 0) {
                    bool callback = false;
                    view.list.TextAt(index, &callback);
                    if (!callback) view.list.SetTextAt(index, command.text);
                }
            }
            break;
        }
        case CommandType::CancelRename:
            view.renameTarget.clear();
            break;
        case CommandType::MenuStatus:
            break;
    }
}

// ---- Snapshots ---------------------------------------------------------------------

void ConsoleHost::BuildTree(View& view, HSCOPEITEM id, int depth, ViewSnapshot& out) {
    const ScopeItem* item = m_tree.Find(id);
    if (item == nullptr || out.tree.size() > 20000) return;
    TreeNodeView node;
    node.id = item->id;
    node.depth = depth;
    node.name = ScopeName(id);
    bool expanded = view.expanded.count(id) != 0;
    int image = expanded && item->openImage >= 0 ? item->openImage : item->image;
    node.icon = m_scopeImages->Name(image);
    if (node.icon.empty()) node.icon = depth == 0 ? "text-x-generic-template" : "folder";
    node.hasChildren = !item->children.empty() || (!item->expandedOnce && item->childCount != 0);
    node.expanded = expanded && node.hasChildren;
    out.tree.push_back(node);
    if (expanded) {
        std::vector<HSCOPEITEM> children = item->children;
        for (HSCOPEITEM child : children) BuildTree(view, child, depth + 1, out);
    }
}

ViewSnapshot ConsoleHost::BuildView(View& view) {
    ViewSnapshot out;
    out.id = view.id;
    out.ready = view.component != nullptr;
    BuildTree(view, m_tree.Root(), 0, out);
    out.selectedScope = view.selectedScope;
    out.result = view.kind;
    out.multiSelect = (view.viewOptions & MMC_VIEW_OPTIONS_MULTISELECT) != 0;
    out.description = Narrow(view.description);
    out.status = Narrow(m_status);
    out.focus = view.focus;
    out.menuId = view.menuId;
    out.menu = view.menu;
    out.renameTarget = view.renameTarget;
    const char* verbNames[] = {"delete", "rename", "properties", "refresh"};
    for (const char* name : verbNames) {
        VerbView verb;
        verb.visible = view.verbs->Visible(VerbByName(name));
        verb.enabled = view.verbs->Enabled(VerbByName(name));
        out.verbs[name] = verb;
    }
    if (!out.ready) return out;
    switch (view.kind) {
        case ResultKind::Message:
            out.messageTitle = Narrow(view.messageView->title);
            out.messageBody = Narrow(view.messageView->body);
            out.messageIcon = MessageIconName(view.messageView->icon);
            break;
        case ResultKind::ResourcePage:
            out.resourceModule = view.resourceModule;
            out.resourcePage = view.resourcePage;
            break;
        case ResultKind::WebAddress:
            out.webAddress = view.webAddress;
            break;
        case ResultKind::List: {
            SyncScopeRows(view);
            view.list.SyncColumns();
            for (const ResultColumn& column : view.list.columns)
                out.columns.push_back(ColumnView{Narrow(column.title), column.width, column.format});
            size_t columns = std::max<size_t>(1, view.list.columns.size());
            // Each row is drawn as the list draws it: what the snap-in
            // supplies is asked of the list's parent. Long lists are cut for
            // the display; the snap-in keeps them whole.
            for (int index = 0; index < view.list.Count() && out.rows.size() < 5000; ++index) {
                ResultRow shownRow = view.list.RowAt(index);
                kv::ui::ListItemView drawn;
                if (!kv::ui::DrawListItem(view.list.Control(), index, &drawn)) break;
                if (index >= view.list.Count()) break;
                ResultRowView row;
                row.scope = shownRow.scopeItem != 0;
                row.id = row.scope ? static_cast<int64_t>(shownRow.scopeItem) : static_cast<int64_t>(shownRow.id);
                row.index = index;
                row.texts = drawn.texts;
                row.texts.resize(columns);
                row.icon = view.resultImages->Name(drawn.image);
                if (row.scope) {
                    const ScopeItem* child = m_tree.Find(shownRow.scopeItem);
                    if (row.icon.empty() && child) row.icon = m_scopeImages->Name(child->image);
                    if (row.icon.empty()) row.icon = "folder";
                }
                row.stateImage = drawn.stateImage;
                row.selected = drawn.selected;
                out.rows.push_back(row);
            }
            // After the rows: the snap-in may set its state images while it answers.
            if (HIMAGELIST states = reinterpret_cast<HIMAGELIST>(SendMessage(view.list.Control(), LVM_GETIMAGELIST, LVSIL_STATE, 0))) {
                for (int i = 0; i < ImageList_GetImageCount(states); ++i) {
                    char name[1024] = {};
                    ImageList_GetName(states, i, name, sizeof name);
                    out.stateImages.push_back(name);
                }
            }
            break;
        }
        case ResultKind::None:
            break;
    }
    return out;
}

void ConsoleHost::Publish() {
    auto snapshot = std::make_shared<HostSnapshot>();
    snapshot->title = m_title.empty() ? m_options.title : m_title;
    snapshot->ready = m_initialised && m_componentData != nullptr;
    snapshot->failure = m_failure;
    snapshot->addressesToOpen = m_opens;
    snapshot->addressesOpenedBefore = m_opensTotal - m_opens.size();
    m_drawing = true;
    for (auto& [id, view] : m_views) snapshot->views[id] = BuildView(*view);
    m_drawing = false;
    std::lock_guard<std::mutex> guard(m_lock);
    snapshot->version = ++m_version;
    m_snapshot = snapshot;
    m_changed.notify_all();
}

}  // namespace kv::mmc
