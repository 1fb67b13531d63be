#include "platform/mmc/server/RequestDecoding.h"

#include <cstdlib>
#include <algorithm>
#include <map>

namespace kv::mmc {

using nlohmann::json;

namespace {

// Handles travel as decimal strings: JavaScript numbers cannot hold 64 bits.
bool Handle(const json& value, int64_t* out) {
    if (value.is_number_integer()) {
        *out = value.get<int64_t>();
        return true;
    }
    if (!value.is_string()) return false;
    const std::string& text = value.get_ref<const std::string&>();
    if (text.empty() || text.size() > 20) return false;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0') return false;
    *out = static_cast<int64_t>(parsed);
    return true;
}

bool String(const json& body, const char* key, std::string* out, size_t limit = 4096) {
    auto it = body.find(key);
    if (it == body.end()) return true;
    if (!it->is_string() || it->get_ref<const std::string&>().size() > limit) return false;
    *out = it->get<std::string>();
    return true;
}

bool Bounded(const json& body, const char* name, int low, int high, int* out) {
    auto it = body.find(name);
    if (it == body.end()) return true;
    if (!it->is_number_integer() || it->get<int64_t>() < low || it->get<int64_t>() > high) return false;
    *out = static_cast<int>(it->get<int64_t>());
    return true;
}

bool Flag(const json& body, const char* name, bool* out) {
    auto it = body.find(name);
    if (it == body.end()) return true;
    if (!it->is_boolean()) return false;
    *out = it->get<bool>();
    return true;
}

}  // namespace

bool DecodeCommand(const json& body, HostCommand* command, std::string* error) {
    static const std::map<std::string, CommandType> types = {
        {"select-scope", CommandType::SelectScope}, {"expand", CommandType::Expand},
        {"select-results", CommandType::SelectResults}, {"activate", CommandType::ActivateResult},
        {"context-menu", CommandType::ContextMenu}, {"menu-command", CommandType::MenuCommand},
        {"close-menu", CommandType::CloseMenu}, {"verb", CommandType::Verb},
        {"rename", CommandType::Rename}, {"cancel-rename", CommandType::CancelRename},
        {"menu-status", CommandType::MenuStatus}, {"list-input", CommandType::ListInput},
    };
    if (!body.is_object()) return *error = "not an object", false;
    auto type = body.find("type");
    if (type == body.end() || !type->is_string() || types.count(type->get<std::string>()) == 0)
        return *error = "unknown command", false;
    HostCommand decoded;
    decoded.type = types.at(type->get<std::string>());
    auto view = body.find("view");
    if (view == body.end() || !view->is_number_integer()) return *error = "no view", false;
    decoded.view = view->get<int>();
    if (body.contains("item") && !Handle(body["item"], &decoded.item)) return *error = "bad item", false;
    if (body.contains("scope")) {
        if (!body["scope"].is_boolean()) return *error = "bad scope", false;
        decoded.scope = body["scope"].get<bool>();
    }
    if (body.contains("expand")) {
        if (!body["expand"].is_boolean()) return *error = "bad expand", false;
        decoded.flag = body["expand"].get<bool>();
    }
    if (body.contains("items")) {
        const json& items = body["items"];
        if (!items.is_array() || items.size() > 100000) return *error = "bad items", false;
        for (const json& entry : items) {
            int64_t id = 0;
            if (!entry.is_object() || !entry.contains("id") || !Handle(entry["id"], &id)) return *error = "bad items", false;
            decoded.items.push_back(id);
            decoded.itemScopes.push_back(entry.value("scope", false));
        }
    }
    if (body.contains("menu")) {
        int64_t menu = 0;
        if (!Handle(body["menu"], &menu)) return *error = "bad menu", false;
        decoded.menuId = static_cast<uint64_t>(menu);
    }
    if (!String(body, "pane", &decoded.pane, 16) || !String(body, "name", &decoded.name, 32) ||
        !String(body, "text", &decoded.text) || !String(body, "command", &decoded.command, 64))
        return *error = "bad text", false;
    if (decoded.type == CommandType::ListInput) {
        static const char* const kMessages[] = {"lbuttondown", "lbuttonup", "lbuttondblclk", "rbuttondown", "keydown", "char"};
        if (std::find(std::begin(kMessages), std::end(kMessages), decoded.name) == std::end(kMessages))
            return *error = "bad list input", false;
        // Client coordinates stay within what a mouse message carries.
        if (!Bounded(body, "row", -1, 1000000, &decoded.row) || !Bounded(body, "x", 0, 32767, &decoded.x))
            return *error = "bad position", false;
        int key = 0;
        if (!Bounded(body, "key", 0, 255, &key)) return *error = "bad key", false;
        decoded.key = static_cast<unsigned>(key);
        if (!Flag(body, "ctrl", &decoded.ctrl) || !Flag(body, "shift", &decoded.shift)) return *error = "bad modifiers", false;
    }
    *command = decoded;
    return true;
}

bool DecodeWindowInput(const json& body, kv::ui::Input* input, std::string* error) {
    using kv::ui::InputType;
    static const std::map<std::string, InputType> types = {
        {"click", InputType::Click}, {"settext", InputType::SetText}, {"key", InputType::Key},
        {"focus", InputType::Focus}, {"selectitems", InputType::SelectItems}, {"clickitem", InputType::ClickItem},
        {"doubleclickitem", InputType::DoubleClickItem}, {"rightclickitem", InputType::RightClickItem},
        {"clickcolumn", InputType::ClickColumn}, {"spin", InputType::Spin}, {"settime", InputType::SetTime},
        {"selecttab", InputType::SelectTab}, {"close", InputType::Close}, {"command", InputType::Command},
    };
    if (!body.is_object()) return *error = "not an object", false;
    auto type = body.find("type");
    if (type == body.end() || !type->is_string() || types.count(type->get<std::string>()) == 0)
        return *error = "unknown input", false;
    kv::ui::Input decoded;
    decoded.type = types.at(type->get<std::string>());
    int64_t target = 0;
    if (body.contains("target") && !Handle(body["target"], &target)) return *error = "bad target", false;
    decoded.target = static_cast<uint64_t>(target);
    if (!String(body, "text", &decoded.text, 65536)) return *error = "bad text", false;
    decoded.key = body.value("key", 0u);
    decoded.ctrl = body.value("ctrl", false);
    decoded.shift = body.value("shift", false);
    decoded.item = body.value("item", -1);
    decoded.x = body.value("x", 0);
    decoded.value = body.value("value", 0);
    if (body.contains("items")) {
        if (!body["items"].is_array() || body["items"].size() > 100000) return *error = "bad items", false;
        for (const json& entry : body["items"]) {
            if (!entry.is_number_integer()) return *error = "bad items", false;
            decoded.items.push_back(entry.get<int>());
        }
    }
    if (body.contains("time")) {
        const json& t = body["time"];
        if (!t.is_array() || t.size() != 6) return *error = "bad time", false;
        for (const json& part : t)
            if (!part.is_number_integer() || part.get<int>() < 0 || part.get<int>() > 65535) return *error = "bad time", false;
        decoded.time.wYear = t[0].get<WORD>();
        decoded.time.wMonth = t[1].get<WORD>();
        decoded.time.wDay = t[2].get<WORD>();
        decoded.time.wHour = t[3].get<WORD>();
        decoded.time.wMinute = t[4].get<WORD>();
        decoded.time.wSecond = t[5].get<WORD>();
    }
    *input = decoded;
    return true;
}

}  // namespace kv::mmc
