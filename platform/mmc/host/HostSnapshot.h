// What the console shows, as the user-interface thread last published it:
// plain data that any thread may read while the snap-in goes on working.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kv::mmc {

struct TreeNodeView {
    int64_t id = 0;
    int depth = 0;
    std::string name;
    std::string icon;
    bool hasChildren = false;
    bool expanded = false;
};

struct ColumnView {
    std::string title;
    int width = 0;
    int format = 0;  // LVCFMT_*
};

struct ResultRowView {
    int64_t id = 0;   // a scope item's handle for scope rows, else the result item
    bool scope = false;
    std::vector<std::string> texts;
    std::string icon;
    int stateImage = 0;  // 0: none; n: ViewSnapshot::stateImages[n - 1]
    bool selected = false;
    int index = 0;       // the row's place in the list control
};

struct MenuItemView {
    std::string command;  // "cmd:<id>", "verb:<name>"; empty for separators and submenus
    std::string text;
    std::string status;
    bool enabled = true;
    bool checked = false;
    bool separator = false;
    bool isDefault = false;
    std::vector<MenuItemView> children;
};

struct VerbView {
    bool visible = false;
    bool enabled = false;
};

enum class ResultKind { None, List, Message, ResourcePage, WebAddress };

struct ViewSnapshot {
    int id = 0;
    bool ready = false;
    std::vector<TreeNodeView> tree;  // visible nodes in tree order
    int64_t selectedScope = 0;
    ResultKind result = ResultKind::None;
    std::vector<ColumnView> columns;
    std::vector<ResultRowView> rows;
    std::vector<std::string> stateImages;  // the list's state image list, by name
    bool multiSelect = true;
    std::string messageTitle, messageBody, messageIcon;
    std::string resourceModule, resourcePage;  // res:// pages
    std::string webAddress;                    // other addresses
    std::string description;
    // The verbs of the current selection (where the focus is).
    std::map<std::string, VerbView> verbs;  // "delete", "rename", "properties", "refresh"
    std::string focus = "scope";             // "scope" or "result"
    uint64_t menuId = 0;                     // 0: no context menu open
    std::vector<MenuItemView> menu;
    std::string renameTarget;                // "scope:<id>" / "result:<id>" while renaming
    std::string status;
};

struct HostSnapshot {
    uint64_t version = 0;
    std::string title;
    bool ready = false;  // the snap-in is initialised
    std::string failure;  // why the snap-in could not be loaded
    std::map<int, ViewSnapshot> views;
    std::vector<std::string> addressesToOpen;  // the latest web addresses the snap-in asked to open
    uint64_t addressesOpenedBefore = 0;        // how many came before the first of them
};

}  // namespace kv::mmc
