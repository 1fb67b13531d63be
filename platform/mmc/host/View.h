// One view of the console (one browser tab): its component, its console
// objects, what its result pane shows, its selection, its open context menu
// and in-place rename.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"
#include "platform/mmc/host/ConsoleObjects.h"
#include "platform/mmc/host/HostSnapshot.h"
#include "platform/mmc/host/ResultList.h"

namespace kv::mmc {

class ConsoleHost;

// One entry of an open context menu: what choosing it does.
struct MenuAction {
    std::string command;  // "cmd:<n>" or "verb:<name>"
    long commandId = 0;
    bool fromComponent = false;  // the snap-in command belongs to the component
};

class View {
public:
    View(ConsoleHost& host, int id);
    ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // The data object of the result selection: one item, or the console's
    // multi-selection object; null when nothing is selected.
    HRESULT SelectionDataObject(LPDATAOBJECT* dataObject, bool* scopeItem, HSCOPEITEM* scopeHandle);
    void ReleaseShown();
    ConsoleHost& Host() { return m_host; }

    const int id;
    IComponent* component = nullptr;
    std::unique_ptr<ViewConsole> console;
    std::unique_ptr<ConsoleVerbs> verbs;
    std::unique_ptr<ImageListObject> resultImages;
    std::unique_ptr<MessageViewObject> messageView;
    ResultList list;
    HWND pane = nullptr;  // the result list's parent window

    std::set<HSCOPEITEM> expanded;
    HSCOPEITEM selectedScope = 0;
    LPDATAOBJECT shownDataObject = nullptr;  // the scope item the result pane shows
    ResultKind kind = ResultKind::None;
    long viewOptions = 0;
    std::string resourceModule, resourcePage, webAddress;
    std::u16string description;
    std::vector<HSCOPEITEM> selectedScopeRows;  // scope items selected in the result list
    std::string focus = "scope";

    uint64_t menuId = 0;
    std::vector<MenuItemView> menu;
    std::vector<MenuAction> menuActions;
    LPDATAOBJECT menuDataObject = nullptr;
    IExtendContextMenu* menuTarget = nullptr;
    bool menuScopePane = true;
    HSCOPEITEM menuScopeItem = 0;

    std::string renameTarget;
    // The result selection's data object (one item or the multi-selection).
    LPDATAOBJECT selectionObject = nullptr;
    bool selectionIsScopeItem = false;
    HSCOPEITEM selectionScopeItem = 0;
    MMC_COOKIE selectionCookie = 0;
    int selectionCount = 0;
    // The rows the console last told the snap-in were selected.
    std::vector<std::pair<HRESULTITEM, HSCOPEITEM>> lastSelection;
    // Set when the shown scope item went away; the view moves there next.
    HSCOPEITEM reselect = 0;

private:
    ConsoleHost& m_host;
};

}  // namespace kv::mmc
