// One user action on the console (not on a dialog), as the front end sends
// it: carried to the user-interface thread and carried out there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::mmc {

enum class CommandType {
    SelectScope,      // item
    Expand,           // item, flag = expand
    SelectResults,    // items (result rows by id; scope rows by handle with scope)
    ActivateResult,   // item, scope: double click / Enter
    ContextMenu,      // pane "scope" (item) or "result" (the selection)
    MenuCommand,      // menuId, command
    CloseMenu,
    Verb,             // pane, name: "delete", "rename", "properties", "refresh"
    Rename,           // pane, item, scope, text: the in-place edit's new text
    CancelRename,
    MenuStatus,       // text: the status text of the menu item under the pointer
    ListInput,        // name: the mouse or key message on the result list ("lbuttondown",
                      // "lbuttonup", "lbuttondblclk", "rbuttondown", "keydown", "char"),
                      // row (-1: below the rows), x in the row, key, ctrl, shift
};

struct HostCommand {
    CommandType type = CommandType::SelectScope;
    int view = 0;
    int64_t item = 0;
    bool scope = false;
    bool flag = false;
    std::vector<int64_t> items;
    std::vector<bool> itemScopes;
    std::string pane;
    std::string name;
    std::string text;
    uint64_t menuId = 0;
    std::string command;
    int row = -1;
    int x = 0;
    unsigned key = 0;
    bool ctrl = false;
    bool shift = false;
};

}  // namespace kv::mmc
