// The console host: loads a snap-in, runs it on one user-interface thread
// and plays the management console for it (scope tree, one view per browser
// tab with its component and result pane, verbs, context menus, property
// sheets, the version object). Other threads only post commands and read the
// snapshots the user-interface thread publishes; they never call the snap-in.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"
#include "platform/mmc/host/HostCommand.h"
#include "platform/mmc/host/HostSnapshot.h"
#include "platform/mmc/host/ResultList.h"
#include "platform/mmc/host/ScopeTree.h"
#include "platform/ui/CommCtrl.h"

namespace kv::ui {
class UiThread;
}

namespace kv::mmc {

class View;
class ViewConsole;
class NameSpace;
class ImageListObject;
class SheetProvider;
class PropertySheets;

struct HostOptions {
    CLSID snapin{};          // the snap-in's ComponentData class
    std::string title;       // empty: the snap-in's NameString
    bool version2 = true;    // false plays console 1.0 (no version object, no IColumnData)
};

class ConsoleHost {
public:
    explicit ConsoleHost(HostOptions options);
    ~ConsoleHost();
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    // Starts the user-interface thread and initialises the snap-in on it;
    // returns at once (a message box the snap-in shows then waits for a user).
    void Start();
    // Releases the snap-in and ends the thread.
    void Stop();

    // --- Any thread ------------------------------------------------------
    std::shared_ptr<const HostSnapshot> Snapshot() const;
    // The latest snapshot once its version differs from `version`, or after
    // the timeout.
    std::shared_ptr<const HostSnapshot> WaitForChange(uint64_t version, std::chrono::milliseconds timeout) const;
    // A new view (browser tab); its component is made as soon as the
    // snap-in is free. Returns its id; 0 when too many views are open.
    int OpenView();
    void CloseView(int view);
    // Queues a command for its view; false for an unknown view.
    bool Post(const HostCommand& command);
    // Whether the thread is done initialising the snap-in.
    bool Ready() const;
    // Wakes every waiter (the display changed).
    void Touch();

    // --- User-interface thread (the console objects call these) -----------
    ScopeTree& Tree() { return m_tree; }
    bool Version2() const { return m_options.version2; }
    HWND MainWindow() const { return m_mainWindow; }
    IComponentData* ComponentData() const { return m_componentData; }
    NameSpace* NameSpaceObject() const { return m_nameSpace.get(); }
    SheetProvider* SheetProviderObject() const { return m_sheetProvider.get(); }
    PropertySheets& Sheets() { return *m_sheets; }
    ImageListObject& ScopeImages() { return *m_scopeImages; }
    View* FindView(int id);
    View* ActiveView();
    // Something the user sees changed: publish a snapshot soon.
    void Changed();
    // fallback: what a view whose selection was removed shows instead.
    void ScopeItemsRemoved(const std::vector<HSCOPEITEM>& removed, HSCOPEITEM fallback);
    void SelectScopeItem(View& view, HSCOPEITEM item);
    void ExpandScopeItem(HSCOPEITEM item);
    void UpdateAllViews(LPDATAOBJECT dataObject, LPARAM data, LONG_PTR hint);
    void SetStatusText(const std::u16string& text);
    void StartRename(View& view, HSCOPEITEM item);
    // Opens the property sheet of a scope item or of the view's result
    // selection (brings an open one to the front).
    void OpenProperties(View& view, bool scopePane, HSCOPEITEM scopeItem);
    // A scope item's display name (asking the snap-in when it calls back).
    std::string ScopeName(HSCOPEITEM item);
    // Data object of a scope item, from the component data.
    HRESULT ScopeDataObject(HSCOPEITEM item, LPDATAOBJECT* dataObject);
    void RequestBrowserOpen(const std::string& address);
    // Runs the call on this thread once the current message is done.
    void DeleteLater(std::function<void()> call);

    // The result list's notifications to its pane (ResultPane.cpp).
    LRESULT ResultListNotify(View& view, NMHDR* header);
    // The list's selection is what the snap-in hears of: MMCN_SELECT for
    // one item or the multi-selection object. Unless `force`, nothing
    // happens while the selection is the one last told.
    void ResultSelectionChanged(View& view, bool force);
    // A snap-in changed the list directly.
    void ListChanged();

private:
    void InitialiseOnThread();
    void ShutdownOnThread();
    void Execute(const HostCommand& command);
    void ExecuteFor(View& view, const HostCommand& command);
    void ServiceViews();
    bool CreateViewComponent(View& view);
    void DestroyView(View& view);
    void Publish();
    bool ModalActive() const;
    void BuildTree(View& view, HSCOPEITEM item, int depth, ViewSnapshot& out);
    void SyncScopeRows(View& view);
    void AnswerDisplayInfo(View& view, NMLVDISPINFO* info);
    void ActivateRow(View& view, int index);
    void OpenContextMenu(View& view, bool scopePane, HSCOPEITEM item);
    void ListInput(View& view, const HostCommand& command);
    // A user's action on the list, carried out as a console command is.
    void UserAction(View& view, const std::function<void()>& action);
    ViewSnapshot BuildView(View& view);

    HostOptions m_options;
    std::unique_ptr<kv::ui::UiThread> m_thread;

    // User-interface thread only.
    ScopeTree m_tree;
    IComponentData* m_componentData = nullptr;
    std::unique_ptr<ViewConsole> m_scopeConsole;
    std::unique_ptr<NameSpace> m_nameSpace;
    std::unique_ptr<ImageListObject> m_scopeImages;
    std::unique_ptr<SheetProvider> m_sheetProvider;
    std::unique_ptr<PropertySheets> m_sheets;
    std::map<int, std::unique_ptr<View>> m_views;
    HWND m_mainWindow = nullptr;
    IUnknown* m_versionFactory = nullptr;
    IUnknown* m_nodeManagerFactory = nullptr;
    DWORD m_versionCookie = 0;
    DWORD m_nodeManagerCookie = 0;
    int m_activeView = 0;
    int m_commandDepth = 0;
    bool m_publishPending = false;
    bool m_drawing = false;  // a snapshot is being drawn: the list asks, nobody acts
    bool m_initialised = false;
    std::string m_failure;
    std::u16string m_status;
    std::vector<std::string> m_opens;
    uint64_t m_opensTotal = 0;
    std::string m_title;

    // Shared.
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::shared_ptr<const HostSnapshot> m_snapshot;
    uint64_t m_version = 1;
    std::set<int> m_pendingViews;   // opened, component not made yet
    std::set<int> m_closingViews;
    std::set<int> m_liveViews;
    int m_nextView = 1;
    bool m_ready = false;
};

}  // namespace kv::mmc
