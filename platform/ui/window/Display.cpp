// The display: snapshots of the windows, published by their threads, and the
// input that comes back to those threads.
#include "platform/ui/Display.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/Controls.h"
#include "platform/ui/window/Dialogs.h"
#include "platform/ui/window/Window.h"

namespace kv::ui {
namespace {

struct Part {
    std::vector<std::pair<uint64_t, WindowView>> windows;  // with their z-order
    std::vector<uint64_t> modalChain;
    uint64_t focus = 0;
};

struct DisplayState {
    std::mutex lock;
    std::condition_variable changed;
    std::map<DWORD, Part> parts;  // by thread
    std::shared_ptr<const Snapshot> current = std::make_shared<Snapshot>();
};

DisplayState& State() {
    static auto* state = new DisplayState;
    return *state;
}

std::atomic<int> g_waitCursor{0};
std::atomic<bool> g_displayEnabled{false};

// Under the state's lock.
void Compose(DisplayState& state) {
    auto next = std::make_shared<Snapshot>();
    next->version = state.current->version + 1;
    next->waitCursor = g_waitCursor.load() > 0;
    std::vector<std::pair<uint64_t, const WindowView*>> all;
    std::map<uint64_t, uint64_t> focusOfWindow;
    for (const auto& [thread, part] : state.parts) {
        for (const auto& [z, view] : part.windows) {
            all.emplace_back(z, &view);
            focusOfWindow[view.handle] = part.focus;
        }
        next->modalChain.insert(next->modalChain.end(), part.modalChain.begin(), part.modalChain.end());
    }
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [z, view] : all) next->windows.push_back(*view);
    if (!next->windows.empty()) {
        next->active = next->windows.front().handle;
        next->focus = focusOfWindow[next->active];
    }
    state.current = std::move(next);
    state.changed.notify_all();
}

const WindowView* FindIn(const WindowView& view, uint64_t handle) {
    if (view.handle == handle) return &view;
    for (const WindowView& child : view.children)
        if (const WindowView* hit = FindIn(child, handle)) return hit;
    return nullptr;
}

}  // namespace

const char* WindowKindName(WindowKind kind) {
    switch (kind) {
        case WindowKind::Window: return "window";
        case WindowKind::Dialog: return "dialog";
        case WindowKind::MessageBox: return "messagebox";
        case WindowKind::PropertySheet: return "propertysheet";
        case WindowKind::PropertyPage: return "propertypage";
        case WindowKind::Static: return "static";
        case WindowKind::Icon: return "icon";
        case WindowKind::GroupBox: return "groupbox";
        case WindowKind::PushButton: return "pushbutton";
        case WindowKind::CheckBox: return "checkbox";
        case WindowKind::RadioButton: return "radiobutton";
        case WindowKind::Edit: return "edit";
        case WindowKind::ListView: return "listview";
        case WindowKind::UpDown: return "updown";
        case WindowKind::DateTimePicker: return "datetimepicker";
        case WindowKind::Animation: return "animation";
    }
    return "window";
}

const WindowView* Snapshot::Find(uint64_t handle) const {
    for (const WindowView& window : windows)
        if (const WindowView* hit = FindIn(window, handle)) return hit;
    return nullptr;
}

const WindowView* Snapshot::FindChild(const WindowView& parent, int id) {
    for (const WindowView& child : parent.children) {
        if (child.id == id && child.kind != WindowKind::PropertyPage) return &child;
    }
    for (const WindowView& child : parent.children) {
        if (child.kind == WindowKind::PropertyPage || child.kind == WindowKind::Dialog)
            if (const WindowView* hit = FindChild(child, id)) return hit;
    }
    return nullptr;
}

std::shared_ptr<const Snapshot> CurrentSnapshot() {
    detail::PublishOwnWindows();
    DisplayState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.current;
}

std::shared_ptr<const Snapshot> WaitForSnapshot(uint64_t version, std::chrono::milliseconds timeout) {
    detail::PublishOwnWindows();
    DisplayState& state = State();
    std::unique_lock<std::mutex> guard(state.lock);
    state.changed.wait_for(guard, timeout, [&] { return state.current->version > version; });
    return state.current;
}

void EnableDisplay() { g_displayEnabled = true; }
bool DisplayEnabled() { return g_displayEnabled.load(); }

bool PostInput(const Input& input) {
    HWND target = ToHwnd(input.target);
    if (target == nullptr) {
        if (input.type != InputType::Key) return false;
        target = ToHwnd(CurrentSnapshot()->active);
        if (target == nullptr) return false;
    }
    auto* copy = new Input(input);
    if (!PostMessage(target, detail::WM_KV_INPUT, 0, reinterpret_cast<LPARAM>(copy))) {
        delete copy;
        return false;
    }
    return true;
}

namespace detail {
namespace {

WindowView Describe(Window* window) {
    WindowView view;
    view.handle = FromHwnd(window->handle);
    view.id = window->id;
    view.kind = window->kind;
    view.className = window->className;
    view.text = window->text;
    view.style = window->style;
    view.rect = window->rect;
    view.visible = (window->style & WS_VISIBLE) != 0;
    view.enabled = (window->style & WS_DISABLED) == 0;
    view.focused = window->queue->focus == window->handle;
    view.owner = FromHwnd(window->owner);
    view.modal = window->modal;
    view.icon = window->icon;
    HWND handle = window->handle;
    DescribeControl(window, view);
    window = OwnWindow(handle);
    if (window == nullptr) return view;
    if (window->cwnd != nullptr) DescribeClassObject(window->cwnd, view);
    std::vector<HWND> children = window->children;
    for (HWND child : children)
        if (Window* control = OwnWindow(child)) view.children.push_back(Describe(control));
    return view;
}

}  // namespace

void PublishOwnWindows() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue(false);
    if (!queue || !queue->dirty || queue->publishing) return;
    Part part;
    queue->publishing = true;
    for (Window* window : OwnTopLevelWindows()) {
        if ((window->style & WS_VISIBLE) == 0) continue;
        uint64_t z = window->zOrder;
        part.windows.emplace_back(z, Describe(window));
    }
    for (HWND modal : queue->modalStack) part.modalChain.push_back(FromHwnd(modal));
    part.focus = FromHwnd(queue->focus);
    // Changes made while describing (a list asking its parent for texts)
    // are in the views already.
    queue->dirty = false;
    queue->publishing = false;
    DisplayState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (part.windows.empty() && part.modalChain.empty()) {
        state.parts.erase(queue->threadId);
    } else {
        state.parts[queue->threadId] = std::move(part);
    }
    Compose(state);
}

namespace {

bool OwnedBy(Window* window, HWND owner) {
    for (int depth = 0; window != nullptr && depth < 64; ++depth) {
        if (window->owner == owner) return true;
        window = OwnWindow(window->owner);
    }
    return false;
}

// Whether the user can reach the window: it and its parents are visible and
// enabled, and no modal dialog of its thread stands in front of it.
bool Reachable(Window* window) {
    for (Window* w = window; w != nullptr; w = OwnWindow(w->parent)) {
        if ((w->style & WS_VISIBLE) == 0 || (w->style & WS_DISABLED) != 0) return false;
        if ((w->style & WS_CHILD) == 0) break;
    }
    const auto& modal = window->queue->modalStack;
    if (modal.empty()) return true;
    HWND top = TopLevelOf(window->handle);
    return top == modal.back() || OwnedBy(OwnWindow(top), modal.back());
}

bool IsButton(Window* window) {
    return window->kind == WindowKind::PushButton || window->kind == WindowKind::CheckBox ||
           window->kind == WindowKind::RadioButton;
}

}  // namespace

void ApplyInput(const Input& input) {
    HWND target = ToHwnd(input.target);
    if (input.type == InputType::Key) {
        HWND focus = GetFocus();
        if (focus != nullptr && (target == nullptr || IsAncestor(target, focus))) target = focus;
    }
    Window* window = OwnWindow(target);
    if (window == nullptr || !Reachable(window)) return;
    SetKeyModifiers(input.ctrl, input.shift);
    switch (input.type) {
        case InputType::Click:
            if (IsButton(window)) {
                if ((window->style & WS_TABSTOP) != 0) SetFocus(target);
                SendMessage(target, BM_CLICK, 0, 0);
            } else if ((window->style & WS_CHILD) != 0) {
                SetFocus(target);
            }
            break;
        case InputType::SetText:
            if (window->kind == WindowKind::Edit) {
                SetFocus(target);
                if (Window* edit = OwnWindow(target)) EditTypedByUser(edit, input.text);
            }
            break;
        case InputType::Key: {
            MSG msg{target, WM_KEYDOWN, input.key, 0, 0, {0, 0}};
            HWND top = TopLevelOf(target);
            if (IsDialogWindow(top) && IsDialogMessage(top, &msg)) break;
            DispatchMessage(&msg);
            break;
        }
        case InputType::Focus:
            SetFocus(target);
            break;
        case InputType::SelectItems:
            if (window->kind == WindowKind::ListView) {
                SetFocus(target);
                if (Window* list = OwnWindow(target)) ListSelectByUser(list, input.items);
            }
            break;
        case InputType::ClickItem:
        case InputType::DoubleClickItem:
        case InputType::RightClickItem:
            if (window->kind == WindowKind::ListView) {
                UINT code = input.type == InputType::ClickItem         ? NM_CLICK
                            : input.type == InputType::DoubleClickItem ? NM_DBLCLK
                                                                       : NM_RCLICK;
                ListClickByUser(window, input.item, input.x, input.ctrl, input.shift, code);
            }
            break;
        case InputType::ClickColumn:
            if (window->kind == WindowKind::ListView) ListColumnClickByUser(window, input.item);
            break;
        case InputType::Spin:
            if (window->kind == WindowKind::UpDown && input.value != 0) SpinByUser(window, input.value > 0 ? 1 : -1);
            break;
        case InputType::SetTime:
            if (window->kind == WindowKind::DateTimePicker) {
                SetFocus(target);
                if (Window* picker = OwnWindow(target)) SetTimeByUser(picker, input.time);
            }
            break;
        case InputType::SelectTab:
            if (window->kind == WindowKind::PropertySheet) SendMessage(target, PSM_SETCURSEL, static_cast<WPARAM>(input.item), 0);
            break;
        case InputType::Close:
            if ((window->style & WS_CHILD) == 0) SendMessage(target, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case InputType::Command: {
            // A command that a control of the window also gives counts as
            // that control's click: refused while the control is out of reach.
            bool refused = false;
            for (HWND child : window->children) {
                Window* control = OwnWindow(child);
                if (control != nullptr && control->id == input.value && !Reachable(control)) refused = true;
            }
            if (!refused) SendMessage(target, WM_COMMAND, MAKEWPARAM(input.value, 0), 0);
            break;
        }
    }
    SetKeyModifiers(false, false);
}

}  // namespace detail
}  // namespace kv::ui

void BeginWaitCursor() {
    kv::ui::g_waitCursor.fetch_add(1);
    kv::ui::detail::MarkDirty();
    // Shown at once: the thread that asks for it is about to be busy.
    kv::ui::DisplayState& state = kv::ui::State();
    std::shared_ptr<kv::ui::detail::ThreadQueue> queue = kv::ui::detail::CurrentQueue(false);
    if (queue) {
        kv::ui::detail::PublishOwnWindows();
    } else {
        std::lock_guard<std::mutex> guard(state.lock);
        kv::ui::Compose(state);
    }
}

void EndWaitCursor() {
    int count = kv::ui::g_waitCursor.load();
    while (count > 0 && !kv::ui::g_waitCursor.compare_exchange_weak(count, count - 1)) {
    }
    std::shared_ptr<kv::ui::detail::ThreadQueue> queue = kv::ui::detail::CurrentQueue(false);
    if (queue) {
        queue->dirty = true;
    } else {
        kv::ui::DisplayState& state = kv::ui::State();
        std::lock_guard<std::mutex> guard(state.lock);
        kv::ui::Compose(state);
    }
}
