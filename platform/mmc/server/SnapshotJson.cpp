#include "platform/mmc/server/SnapshotJson.h"

namespace kv::mmc {

using nlohmann::json;

namespace {

// Texts go out as they are; bytes that are not UTF-8 are replaced when the
// answer is written (see WebServer), so they never fail the whole answer.
const std::string& Text(const std::string& text) { return text; }

json MenuJson(const std::vector<MenuItemView>& items) {
    json out = json::array();
    for (const MenuItemView& item : items) {
        json entry;
        if (item.separator) {
            entry["separator"] = true;
        } else {
            entry["text"] = Text(item.text);
            entry["command"] = item.command;
            entry["status"] = Text(item.status);
            entry["enabled"] = item.enabled;
            entry["checked"] = item.checked;
            entry["default"] = item.isDefault;
            if (!item.children.empty()) entry["children"] = MenuJson(item.children);
        }
        out.push_back(entry);
    }
    return out;
}

const char* KindName(ResultKind kind) {
    switch (kind) {
        case ResultKind::List: return "list";
        case ResultKind::Message: return "message";
        case ResultKind::ResourcePage: return "resource";
        case ResultKind::WebAddress: return "web";
        default: return "none";
    }
}

json WindowJson(const kv::ui::WindowView& window) {
    json out;
    out["handle"] = std::to_string(window.handle);
    out["id"] = window.id;
    out["kind"] = kv::ui::WindowKindName(window.kind);
    out["className"] = Text(window.className);
    out["text"] = Text(window.text);
    out["style"] = window.style;
    out["rect"] = {window.rect.left, window.rect.top, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
    out["visible"] = window.visible;
    out["enabled"] = window.enabled;
    out["focused"] = window.focused;
    switch (window.kind) {
        case kv::ui::WindowKind::PushButton:
        case kv::ui::WindowKind::CheckBox:
        case kv::ui::WindowKind::RadioButton:
            out["check"] = window.check;
            out["defaultButton"] = window.defaultButton;
            break;
        case kv::ui::WindowKind::Edit:
            out["textLimit"] = window.textLimit;
            out["readOnly"] = window.readOnly;
            out["password"] = window.password;
            out["numeric"] = window.numeric;
            out["multiline"] = window.multiline;
            break;
        case kv::ui::WindowKind::UpDown:
            out["range"] = {window.rangeMin, window.rangeMax};
            out["position"] = window.position;
            out["buddy"] = std::to_string(window.buddy);
            break;
        case kv::ui::WindowKind::DateTimePicker: {
            const SYSTEMTIME& t = window.time;
            out["time"] = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
            out["timeFormat"] = window.timeFormat;
            break;
        }
        case kv::ui::WindowKind::Animation:
            out["clip"] = Text(window.clip);
            out["playing"] = window.playing;
            break;
        default:
            break;
    }
    if (!window.icon.empty()) out["icon"] = Text(window.icon);
    if (window.list) {
        const kv::ui::ListViewState& list = *window.list;
        json columns = json::array();
        for (const auto& column : list.columns) columns.push_back({{"text", Text(column.text)}, {"width", column.width}, {"format", column.format}});
        json items = json::array();
        for (const auto& item : list.items) {
            json texts = json::array();
            for (const auto& text : item.texts) texts.push_back(Text(text));
            json entry = {{"texts", texts}, {"selected", item.selected}, {"focused", item.focused}};
            if (item.image >= 0 && static_cast<size_t>(item.image) < list.smallImages.size()) entry["icon"] = Text(list.smallImages[static_cast<size_t>(item.image)]);
            if (item.stateImage > 0 && static_cast<size_t>(item.stateImage) <= list.stateImages.size())
                entry["stateIcon"] = Text(list.stateImages[static_cast<size_t>(item.stateImage - 1)]);
            items.push_back(entry);
        }
        out["list"] = {{"columns", columns}, {"items", items}, {"multiSelect", list.multiSelect}, {"report", list.report}};
    }
    if (window.kind == kv::ui::WindowKind::PropertySheet) {
        json tabs = json::array();
        for (const auto& tab : window.tabs) tabs.push_back(Text(tab));
        out["tabs"] = tabs;
        out["activeTab"] = window.activeTab;
    }
    if (window.kind == kv::ui::WindowKind::PropertyPage) out["modified"] = window.modified;
    if (window.owner) out["owner"] = std::to_string(window.owner);
    out["modal"] = window.modal;
    json children = json::array();
    for (const auto& child : window.children) children.push_back(WindowJson(child));
    out["children"] = children;
    return out;
}

}  // namespace

json ViewJson(const HostSnapshot& host, int viewId) {
    json out;
    out["title"] = Text(host.title);
    out["ready"] = host.ready;
    out["failure"] = Text(host.failure);
    json opens = json::array();
    for (const auto& address : host.addressesToOpen) opens.push_back(Text(address));
    out["opens"] = opens;
    out["opensBefore"] = host.addressesOpenedBefore;
    auto it = host.views.find(viewId);
    if (it == host.views.end()) {
        out["view"] = nullptr;
        return out;
    }
    const ViewSnapshot& view = it->second;
    json tree = json::array();
    for (const TreeNodeView& node : view.tree)
        tree.push_back({{"id", std::to_string(node.id)}, {"depth", node.depth}, {"name", Text(node.name)}, {"icon", Text(node.icon)},
                        {"hasChildren", node.hasChildren}, {"expanded", node.expanded}});
    json columns = json::array();
    for (const ColumnView& column : view.columns)
        columns.push_back({{"title", Text(column.title)}, {"width", column.width}, {"format", column.format}});
    json rows = json::array();
    for (const ResultRowView& row : view.rows) {
        json texts = json::array();
        for (const auto& text : row.texts) texts.push_back(Text(text));
        rows.push_back({{"id", std::to_string(row.id)}, {"scope", row.scope}, {"texts", texts}, {"icon", Text(row.icon)},
                        {"stateImage", row.stateImage}, {"selected", row.selected}, {"index", row.index}});
    }
    json verbs = json::object();
    for (const auto& [name, verb] : view.verbs) verbs[name] = {{"visible", verb.visible}, {"enabled", verb.enabled}};
    json v;
    v["id"] = view.id;
    v["ready"] = view.ready;
    v["tree"] = tree;
    v["selected"] = std::to_string(view.selectedScope);
    v["result"] = KindName(view.result);
    v["columns"] = columns;
    v["rows"] = rows;
    json stateImages = json::array();
    for (const std::string& name : view.stateImages) stateImages.push_back(Text(name));
    v["stateImages"] = stateImages;
    v["multiSelect"] = view.multiSelect;
    v["message"] = {{"title", Text(view.messageTitle)}, {"body", Text(view.messageBody)}, {"icon", view.messageIcon}};
    v["resourcePage"] = Text(view.resourcePage);
    v["webAddress"] = Text(view.webAddress);
    v["description"] = Text(view.description);
    v["verbs"] = verbs;
    v["focus"] = view.focus;
    v["menuId"] = std::to_string(view.menuId);
    v["menu"] = MenuJson(view.menu);
    v["rename"] = view.renameTarget;
    v["status"] = Text(view.status);
    out["view"] = v;
    return out;
}

json DisplayJson(const kv::ui::Snapshot& display, uint64_t hiddenWindow) {
    json out;
    out["version"] = std::to_string(display.version);
    json windows = json::array();
    for (const auto& window : display.windows) {
        if (window.handle == hiddenWindow || window.kind == kv::ui::WindowKind::Window) continue;
        windows.push_back(WindowJson(window));
    }
    out["windows"] = windows;
    json modal = json::array();
    for (uint64_t handle : display.modalChain) modal.push_back(std::to_string(handle));
    out["modal"] = modal;
    out["focus"] = std::to_string(display.focus);
    out["active"] = std::to_string(display.active);
    out["waitCursor"] = display.waitCursor;
    return out;
}

}  // namespace kv::mmc
