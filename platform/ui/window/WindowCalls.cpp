// The calls that read or change a window: text, state, focus, position and
// the window's long values. Each runs on the window's own thread.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/resource/StringResource.h"
#include "platform/ui/window/Controls.h"
#include "platform/ui/window/Window.h"

namespace kv::ui::detail {

void MarkDirty(Window* window) {
    if (window != nullptr) window->queue->dirty = true;
}

void MarkDirty() {
    if (auto queue = CurrentQueue(false)) queue->dirty = true;
}

LRESULT Notify(Window* control, UINT code, NMHDR* header) {
    header->hwndFrom = control->handle;
    header->idFrom = static_cast<UINT_PTR>(control->id);
    header->code = code;
    HWND parent = control->parent;
    return SendMessage(parent, WM_NOTIFY, static_cast<WPARAM>(control->id), reinterpret_cast<LPARAM>(header));
}

void CommandToParent(Window* control, UINT code) {
    HWND parent = control->parent;
    SendMessage(parent, WM_COMMAND, MAKEWPARAM(control->id, code), reinterpret_cast<LPARAM>(control->handle));
}

std::string LoadModuleString(HINSTANCE module, UINT id) {
    char buffer[4096];
    int length = LoadStringA(module, id, buffer, sizeof buffer);
    return std::string(buffer, static_cast<size_t>(std::max(length, 0)));
}

std::string CutToCharacters(const std::string& text, size_t limit, bool* cut) {
    size_t characters = 0;
    size_t i = 0;
    while (i < text.size()) {
        if (characters == limit) break;
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        i = std::min(text.size(), i + length);
        ++characters;
    }
    if (cut != nullptr) *cut = i < text.size();
    return text.substr(0, i);
}

}  // namespace kv::ui::detail

using namespace kv::ui::detail;

namespace {

// Copies text into a caller's buffer without splitting a character.
int CopyText(const std::string& text, LPSTR buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    size_t length = std::min(text.size(), size - 1);
    while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

bool VisibleChain(Window* window) {
    for (; window != nullptr; window = OwnWindow(window->parent))
        if ((window->style & WS_VISIBLE) == 0) return false;
    return true;
}

}  // namespace

LRESULT DefWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT:
            window->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            MarkDirty(window);
            return TRUE;
        case WM_GETTEXT:
            return CopyText(window->text, reinterpret_cast<LPSTR>(lParam), wParam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->text.size());
        case WM_CLOSE:
            DestroyWindow(handle);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) SendMessage(handle, WM_CLOSE, 0, 0);
            return 0;
        case WM_CONTEXTMENU:
            if ((window->style & WS_CHILD) != 0 && window->parent != nullptr)
                return SendMessage(window->parent, message, wParam, lParam);
            return 0;
        default:
            return 0;
    }
}

LRESULT CallWindowProc(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
}

LONG_PTR GetWindowLongPtr(HWND handle, int index) {
    return OnOwnerThread(handle, [handle, index]() -> LRESULT {
        Window* window = OwnWindow(handle);
        if (window->isDialog) {
            if (index == DWLP_MSGRESULT) return window->msgResult;
            if (index == DWLP_DLGPROC) return reinterpret_cast<LRESULT>(window->dlgProc);
            if (index == DWLP_USER) return window->dlgUser;
        }
        switch (index) {
            case GWLP_WNDPROC: return reinterpret_cast<LRESULT>(window->proc);
            case GWLP_HINSTANCE: return reinterpret_cast<LRESULT>(window->instance);
            case GWLP_ID: return window->id;
            case GWL_STYLE: return static_cast<LRESULT>(window->style);
            case GWL_EXSTYLE: return static_cast<LRESULT>(window->exStyle);
            case GWLP_USERDATA: return window->userData;
            default: return 0;
        }
    });
}

LONG_PTR SetWindowLongPtr(HWND handle, int index, LONG_PTR value) {
    return OnOwnerThread(handle, [handle, index, value]() -> LRESULT {
        Window* window = OwnWindow(handle);
        LONG_PTR old = 0;
        if (window->isDialog && (index == DWLP_MSGRESULT || index == DWLP_DLGPROC || index == DWLP_USER)) {
            if (index == DWLP_MSGRESULT) old = std::exchange(window->msgResult, value);
            if (index == DWLP_DLGPROC)
                old = reinterpret_cast<LONG_PTR>(std::exchange(window->dlgProc, reinterpret_cast<DLGPROC>(value)));
            if (index == DWLP_USER) old = std::exchange(window->dlgUser, value);
            return old;
        }
        switch (index) {
            case GWLP_WNDPROC:
                if (value == 0) return 0;
                return reinterpret_cast<LRESULT>(std::exchange(window->proc, reinterpret_cast<WNDPROC>(value)));
            case GWLP_ID: old = std::exchange(window->id, static_cast<int>(value)); break;
            case GWL_STYLE: old = std::exchange(window->style, static_cast<DWORD>(value)); break;
            case GWL_EXSTYLE: old = std::exchange(window->exStyle, static_cast<DWORD>(value)); break;
            case GWLP_USERDATA: old = std::exchange(window->userData, value); break;
            default: return 0;
        }
        MarkDirty(window);
        return old;
    });
}

HWND GetParent(HWND handle) {
    return reinterpret_cast<HWND>(OnOwnerThread(handle, [handle]() -> LRESULT {
        Window* window = OwnWindow(handle);
        return reinterpret_cast<LRESULT>((window->style & WS_CHILD) != 0 ? window->parent : window->owner);
    }));
}

HWND GetWindowOwner(HWND handle) {
    return reinterpret_cast<HWND>(OnOwnerThread(
        handle, [handle]() -> LRESULT { return reinterpret_cast<LRESULT>(OwnWindow(handle)->owner); }));
}

int GetClassName(HWND handle, LPSTR buffer, int size) {
    return static_cast<int>(OnOwnerThread(handle, [handle, buffer, size]() -> LRESULT {
        return CopyText(OwnWindow(handle)->className, buffer, static_cast<size_t>(std::max(size, 0)));
    }));
}

BOOL SetWindowText(HWND window, LPCSTR text) {
    return static_cast<BOOL>(SendMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetWindowText(HWND window, LPSTR buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    return static_cast<int>(SendMessage(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND window) { return static_cast<int>(SendMessage(window, WM_GETTEXTLENGTH, 0, 0)); }

BOOL EnableWindow(HWND handle, BOOL enable) {
    return static_cast<BOOL>(OnOwnerThread(handle, [handle, enable]() -> LRESULT {
        Window* window = OwnWindow(handle);
        bool wasDisabled = (window->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) return wasDisabled;
        if (enable) {
            window->style &= ~WS_DISABLED;
        } else {
            window->style |= WS_DISABLED;
            if (window->queue->focus == handle) SetFocus(nullptr);
        }
        MarkDirty(window);
        Deliver(handle, WM_ENABLE, enable ? TRUE : FALSE, 0);
        return wasDisabled;
    }));
}

BOOL IsWindowEnabled(HWND handle) {
    return static_cast<BOOL>(OnOwnerThread(
        handle, [handle]() -> LRESULT { return (OwnWindow(handle)->style & WS_DISABLED) == 0; }));
}

BOOL ShowWindow(HWND handle, int command) {
    return static_cast<BOOL>(OnOwnerThread(handle, [handle, command]() -> LRESULT {
        Window* window = OwnWindow(handle);
        bool wasVisible = (window->style & WS_VISIBLE) != 0;
        bool show = command != SW_HIDE;
        if (show) {
            window->style |= WS_VISIBLE;
            if ((window->style & WS_CHILD) == 0) RaiseWindow(window);
        } else {
            window->style &= ~WS_VISIBLE;
            if (window->queue->focus != nullptr && IsAncestor(handle, window->queue->focus)) SetFocus(nullptr);
        }
        MarkDirty(window);
        if (wasVisible != show) Deliver(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        return wasVisible;
    }));
}

BOOL IsWindowVisible(HWND handle) {
    return static_cast<BOOL>(
        OnOwnerThread(handle, [handle]() -> LRESULT { return VisibleChain(OwnWindow(handle)); }));
}

HWND SetFocus(HWND handle) {
    if (handle != nullptr && OwnWindow(handle) == nullptr) {
        return reinterpret_cast<HWND>(OnOwnerThread(
            handle, [handle]() -> LRESULT { return reinterpret_cast<LRESULT>(SetFocus(handle)); }));
    }
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    HWND old = queue->focus;
    if (old == handle) return old;
    if (handle != nullptr) {
        Window* window = OwnWindow(handle);
        if ((window->style & WS_DISABLED) != 0) return nullptr;
        HWND top = TopLevelOf(handle);
        if (Window* topWindow = OwnWindow(top)) {
            if (queue->active != top) RaiseWindow(topWindow);
            topWindow->lastFocus = handle;
        }
    }
    queue->focus = handle;
    MarkDirty();
    if (old != nullptr) Deliver(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle), 0);
    if (handle != nullptr && queue->focus == handle) Deliver(handle, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue(false);
    return queue ? queue->focus : nullptr;
}

HWND GetActiveWindow() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue(false);
    return queue ? queue->active : nullptr;
}

BOOL BringWindowToTop(HWND handle) {
    return static_cast<BOOL>(OnOwnerThread(handle, [handle]() -> LRESULT {
        HWND top = TopLevelOf(handle);
        Window* window = OwnWindow(top);
        if (window == nullptr) return FALSE;
        RaiseWindow(window);
        return TRUE;
    }));
}

BOOL SetForegroundWindow(HWND handle) { return BringWindowToTop(handle); }

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
    return static_cast<BOOL>(OnOwnerThread(handle, [=]() -> LRESULT {
        Window* window = OwnWindow(handle);
        window->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        MarkDirty(window);
        Deliver(handle, WM_SIZE, 0, MAKELPARAM(std::max(width, 0), std::max(height, 0)));
        return TRUE;
    }));
}

BOOL GetWindowRect(HWND handle, LPRECT rect) {
    if (rect == nullptr) return FALSE;
    return static_cast<BOOL>(OnOwnerThread(handle, [handle, rect]() -> LRESULT {
        RECT out = OwnWindow(handle)->rect;
        for (Window* parent = OwnWindow(OwnWindow(handle)->parent); parent != nullptr;
             parent = OwnWindow(parent->parent)) {
            out.left += parent->rect.left;
            out.right += parent->rect.left;
            out.top += parent->rect.top;
            out.bottom += parent->rect.top;
        }
        *rect = out;
        return TRUE;
    }));
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
    if (rect == nullptr) return FALSE;
    return static_cast<BOOL>(OnOwnerThread(handle, [handle, rect]() -> LRESULT {
        const RECT& r = OwnWindow(handle)->rect;
        *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
        return TRUE;
    }));
}

BOOL InvalidateRect(HWND handle, const RECT*, BOOL) {
    return static_cast<BOOL>(OnOwnerThread(handle, [handle]() -> LRESULT {
        MarkDirty(OwnWindow(handle));
        return TRUE;
    }));
}

BOOL UpdateWindow(HWND handle) { return IsWindow(handle); }

HWND GetDlgItem(HWND dialog, int id) {
    return reinterpret_cast<HWND>(OnOwnerThread(dialog, [dialog, id]() -> LRESULT {
        for (HWND child : OwnWindow(dialog)->children)
            if (Window* window = OwnWindow(child); window != nullptr && window->id == id)
                return reinterpret_cast<LRESULT>(child);
        return 0;
    }));
}

int GetDlgCtrlID(HWND handle) {
    return static_cast<int>(OnOwnerThread(handle, [handle]() -> LRESULT {
        Window* window = OwnWindow(handle);
        return (window->style & WS_CHILD) != 0 ? window->id : 0;
    }));
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? SendMessage(item, message, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, LPCSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr && SetWindowText(item, text);
}

UINT GetDlgItemText(HWND dialog, int id, LPSTR buffer, int size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? static_cast<UINT>(GetWindowText(item, buffer, size)) : 0;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    if (isSigned) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    } else {
        std::snprintf(text, sizeof text, "%u", value);
    }
    return SetDlgItemText(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated != nullptr) *translated = FALSE;
    char text[64];
    if (GetDlgItemText(dialog, id, text, sizeof text) == 0 && GetDlgItem(dialog, id) == nullptr) return 0;
    const char* p = text;
    while (*p == ' ') ++p;
    bool negative = false;
    if (isSigned && *p == '-') {
        negative = true;
        ++p;
    }
    if (*p < '0' || *p > '9') return 0;
    unsigned long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > (isSigned ? 0x80000000ull : 0xFFFFFFFFull)) return 0;
    }
    while (*p == ' ') ++p;
    if (*p != '\0') return 0;
    if (isSigned && !negative && value > 0x7FFFFFFFull) return 0;
    if (translated != nullptr) *translated = TRUE;
    return negative ? static_cast<UINT>(-static_cast<long long>(value)) : static_cast<UINT>(value);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) return FALSE;
    SendMessage(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? static_cast<UINT>(SendMessage(item, BM_GETCHECK, 0, 0)) : 0;
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
    if (!IsWindow(dialog)) return FALSE;
    for (int id = firstId; id <= lastId; ++id)
        if (HWND item = GetDlgItem(dialog, id))
            SendMessage(item, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}
