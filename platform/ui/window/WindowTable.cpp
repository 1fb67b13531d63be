// The handle table, window classes, and the creation and destruction of
// windows.
#include <algorithm>
#include <atomic>
#include <map>
#include <unordered_map>

#include "platform/ui/window/Controls.h"
#include "platform/ui/window/Window.h"

namespace kv::ui::detail {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::unique_ptr<Window>> windows;
    std::map<std::string, WNDCLASSA> classes;  // by lower-case name
    uintptr_t next = 0x10010;
};

Table& TheTable() {
    // Never destroyed: windows of threads that outlive main's return still
    // find it.
    static Table* table = new Table;
    return *table;
}

std::atomic<uint64_t> g_zOrder{1};

std::string Lower(const char* text) {
    std::string out = text != nullptr ? text : "";
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool FindClass(const std::string& name, WNDCLASSA& found) {
    RegisterBuiltinClasses();
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.classes.find(Lower(name.c_str()));
    if (it == table.classes.end()) return false;
    found = it->second;
    return true;
}

}  // namespace

Window* OwnWindow(HWND handle) {
    if (handle == nullptr) return nullptr;
    std::shared_ptr<ThreadQueue> mine = CurrentQueue(false);
    if (!mine) return nullptr;
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.windows.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.windows.end() || it->second->queue != mine) return nullptr;
    return it->second.get();
}

std::shared_ptr<ThreadQueue> QueueOf(HWND handle) {
    if (handle == nullptr) return nullptr;
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.windows.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.windows.end() ? nullptr : it->second->queue;
}

bool OwnedHere(HWND handle) { return OwnWindow(handle) != nullptr; }

std::vector<Window*> OwnTopLevelWindows() {
    std::vector<Window*> out;
    std::shared_ptr<ThreadQueue> mine = CurrentQueue(false);
    if (!mine) return out;
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto& [key, window] : table.windows)
        if (window->queue == mine && (window->style & WS_CHILD) == 0 && !window->destroying)
            out.push_back(window.get());
    std::sort(out.begin(), out.end(), [](Window* a, Window* b) { return a->zOrder > b->zOrder; });
    return out;
}

HWND TopLevelOf(HWND handle) {
    Window* window = OwnWindow(handle);
    while (window != nullptr && (window->style & WS_CHILD) != 0 && window->parent != nullptr) {
        Window* parent = OwnWindow(window->parent);
        if (parent == nullptr) break;
        window = parent;
    }
    return window != nullptr ? window->handle : nullptr;
}

bool IsAncestor(HWND ancestor, HWND handle) {
    for (Window* window = OwnWindow(handle); window != nullptr; window = OwnWindow(window->parent))
        if (window->handle == ancestor) return true;
    return false;
}

void RaiseWindow(Window* window) {
    window->zOrder = g_zOrder.fetch_add(1);
    if ((window->style & WS_CHILD) == 0) window->queue->active = window->handle;
    MarkDirty(window);
}

HWND CreateWindowRecord(DWORD exStyle, const char* className, const char* text, DWORD style, RECT rect,
                        HWND parentOrOwner, int id, HINSTANCE instance,
                        const std::function<void(Window*)>& created, LPVOID param) {
    WNDCLASSA windowClass{};
    if (className == nullptr || !FindClass(className, windowClass)) return nullptr;
    if ((style & WS_CHILD) != 0 && OwnWindow(parentOrOwner) == nullptr) return nullptr;
    auto record = std::make_unique<Window>();
    Window* window = record.get();
    window->queue = CurrentQueue();
    window->className = windowClass.lpszClassName;
    window->proc = windowClass.lpfnWndProc;
    window->text = text != nullptr ? text : "";
    window->style = style;
    window->exStyle = exStyle;
    window->rect = rect;
    window->instance = instance;
    window->id = (style & WS_CHILD) != 0 ? id : 0;
    if ((style & WS_CHILD) != 0) {
        window->parent = parentOrOwner;
    } else if (parentOrOwner != nullptr) {
        window->owner = TopLevelOf(parentOrOwner);
    }
    window->kind = KindOfClass(window->className, style);
    {
        Table& table = TheTable();
        std::lock_guard<std::mutex> guard(table.lock);
        window->handle = reinterpret_cast<HWND>(table.next);
        table.next += 4;
        table.windows.emplace(reinterpret_cast<uintptr_t>(window->handle), std::move(record));
    }
    HWND handle = window->handle;
    if (Window* parent = OwnWindow(window->parent)) parent->children.push_back(handle);
    if ((style & WS_CHILD) == 0) window->zOrder = g_zOrder.fetch_add(1);
    if (created) created(window);
    MarkDirty(window);
    Deliver(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(param));
    if (Deliver(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

void TearDownThread(bool callProcedures) {
    std::shared_ptr<ThreadQueue> mine = CurrentQueue(false);
    if (!mine) return;
    while (callProcedures) {
        std::vector<Window*> windows = OwnTopLevelWindows();
        if (windows.empty()) break;
        DestroyWindow(windows.front()->handle);
    }
    std::vector<std::unique_ptr<Window>> left;
    {
        Table& table = TheTable();
        std::lock_guard<std::mutex> guard(table.lock);
        for (auto it = table.windows.begin(); it != table.windows.end();) {
            if (it->second->queue == mine) {
                left.push_back(std::move(it->second));
                it = table.windows.erase(it);
            } else {
                ++it;
            }
        }
    }
    left.clear();
    mine->focus = nullptr;
    mine->active = nullptr;
    mine->modalStack.clear();
    mine->dirty = true;
    PublishOwnWindows();
    std::deque<PostedMessage> posted;
    std::deque<std::shared_ptr<SentCall>> sent;
    {
        std::lock_guard<std::mutex> guard(mine->lock);
        mine->alive = false;
        posted.swap(mine->posted);
        sent.swap(mine->sent);
    }
    for (const PostedMessage& entry : posted) {
        const MSG& msg = entry.msg;
        if (msg.message == WM_KV_INPUT) delete reinterpret_cast<Input*>(msg.lParam);
        if (msg.message == WM_KV_CALL) delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    }
    for (auto& call : sent) {
        std::lock_guard<std::mutex> guard(call->sender->lock);
        call->done = true;
        call->sender->wake.notify_all();
    }
}

}  // namespace kv::ui::detail

using namespace kv::ui::detail;

ATOM RegisterClass(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr)
        return 0;
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    std::string key = Lower(windowClass->lpszClassName);
    if (table.classes.count(key)) return 0;
    // The name must outlive the caller's copy.
    static std::deque<std::string>* names = new std::deque<std::string>;
    names->push_back(windowClass->lpszClassName);
    WNDCLASSA copy = *windowClass;
    copy.lpszClassName = names->back().c_str();
    table.classes.emplace(key, copy);
    return static_cast<ATOM>(0xC000 + table.classes.size());
}

HWND CreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, UINT_PTR menuOrId, HINSTANCE instance,
                    LPVOID param) {
    RECT rect{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    return CreateWindowRecord(exStyle, className, windowName, style, rect, parent,
                              static_cast<int>(menuOrId), instance, nullptr, param);
}

BOOL DestroyWindow(HWND handle) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) {
        // Windows refuses this from another thread; here the window's own
        // thread does it, so a worker cannot leave a window half torn down.
        if (!QueueOf(handle)) return FALSE;
        return static_cast<BOOL>(
            OnOwnerThread(handle, [handle] { return static_cast<LRESULT>(DestroyWindow(handle)); }));
    }
    if (window->destroying) return TRUE;
    window->destroying = true;
    std::shared_ptr<ThreadQueue> queue = window->queue;
    // Owned windows go first, as they would on Windows.
    if ((window->style & WS_CHILD) == 0) {
        for (Window* other : OwnTopLevelWindows())
            if (other->owner == handle) DestroyWindow(other->handle);
    }
    if (queue->focus != nullptr && IsAncestor(handle, queue->focus)) {
        HWND focus = queue->focus;
        queue->focus = nullptr;
        Deliver(focus, WM_KILLFOCUS, 0, 0);
    }
    if (queue->active == handle) queue->active = nullptr;
    Deliver(handle, WM_DESTROY, 0, 0);
    if (Window* still = OwnWindow(handle)) {
        std::vector<HWND> children = still->children;
        for (HWND child : children) DestroyWindow(child);
    }
    Deliver(handle, WM_NCDESTROY, 0, 0);
    window = OwnWindow(handle);
    if (window == nullptr) return TRUE;
    if (Window* parent = OwnWindow(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
        if (parent->lastFocus == handle) parent->lastFocus = nullptr;
    }
    auto& stack = queue->modalStack;
    stack.erase(std::remove(stack.begin(), stack.end(), handle), stack.end());
    queue->dirty = true;
    std::unique_ptr<Window> record;
    {
        Table& table = TheTable();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.windows.find(reinterpret_cast<uintptr_t>(handle));
        if (it != table.windows.end()) {
            record = std::move(it->second);
            table.windows.erase(it);
        }
    }
    // The record (and its control data) goes outside the table's lock.
    record.reset();
    return TRUE;
}

BOOL IsWindow(HWND handle) { return QueueOf(handle) != nullptr; }
