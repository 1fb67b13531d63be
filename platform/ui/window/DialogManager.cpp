// Dialogs: creation from templates, the default dialog procedure, the dialog
// keys, and the modal loop.
#include <algorithm>
#include <cmath>

#include "platform/ui/window/Controls.h"
#include "platform/ui/window/Dialogs.h"

namespace kv::ui::detail {
namespace {

constexpr double kBaseX = 1.5;    // pixels per horizontal dialog unit
constexpr double kBaseY = 1.625;  // pixels per vertical dialog unit

void CollectTabStops(HWND parent, std::vector<HWND>& out) {
    Window* window = OwnWindow(parent);
    if (window == nullptr) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) {
        Window* control = OwnWindow(child);
        if (control == nullptr || (control->style & WS_VISIBLE) == 0 || (control->style & WS_DISABLED) != 0)
            continue;
        if (control->isDialog || (control->exStyle & WS_EX_CONTROLPARENT) != 0) {
            CollectTabStops(child, out);
        } else if ((control->style & WS_TABSTOP) != 0) {
            out.push_back(child);
        }
    }
}

// A direct or nested control of the dialog with that id (a sheet's pages
// hold their controls one level down).
HWND FindControl(HWND dialog, int id) {
    Window* window = OwnWindow(dialog);
    if (window == nullptr) return nullptr;
    for (HWND child : window->children) {
        Window* control = OwnWindow(child);
        if (control != nullptr && !control->isDialog && control->id == id) return child;
    }
    return nullptr;
}

int DefaultId(Window* dialog) {
    if (dialog->defaultId != 0) return dialog->defaultId;
    for (HWND child : dialog->children) {
        Window* control = OwnWindow(child);
        if (control != nullptr && control->kind == WindowKind::PushButton &&
            (control->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return control->id;
    }
    return IDOK;
}

// Sends the dialog the command of a button as its click would; nothing for
// a button that is there but disabled.
void PressDialogButton(HWND dialog, int id) {
    HWND button = FindControl(dialog, id);
    if (button != nullptr && !IsWindowEnabled(button)) return;
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

RECT DialogUnitsToPixels(int x, int y, int cx, int cy) {
    auto px = [](int units, double base) { return static_cast<LONG>(std::lround(units * base)); };
    return RECT{px(x, kBaseX), px(y, kBaseY), px(x + cx, kBaseX), px(y + cy, kBaseY)};
}

bool IsDialogWindow(HWND handle) {
    Window* window = OwnWindow(handle);
    return window != nullptr && window->isDialog;
}

HWND CreateEmptyDialog(const char* caption, DWORD style, RECT rect, HWND owner, WindowKind kind, DLGPROC proc,
                       const std::function<void(Window*)>& created) {
    return CreateWindowRecord(0, WC_DIALOG, caption, style & ~WS_VISIBLE, rect, owner, 0, nullptr,
                              [&](Window* window) {
                                  window->isDialog = true;
                                  window->dlgProc = proc;
                                  window->kind = kind;
                                  if (created) created(window);
                              },
                              nullptr);
}

HWND CreateDialogFromTemplate(const KvDialogTemplate* dialogTemplate, HINSTANCE module, HWND parentOrOwner,
                              DLGPROC proc, LPARAM initParam, const std::function<void(Window*)>& created,
                              bool asChild) {
    if (dialogTemplate == nullptr) return nullptr;
    DWORD style = dialogTemplate->style;
    if (asChild) {
        style = (style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE | WS_THICKFRAME)) |
                WS_CHILD | DS_CONTROL;
    }
    RECT rect = DialogUnitsToPixels(dialogTemplate->x, dialogTemplate->y, dialogTemplate->cx, dialogTemplate->cy);
    HWND dialog = CreateWindowRecord(0, WC_DIALOG, dialogTemplate->caption, style & ~WS_VISIBLE, rect,
                                     parentOrOwner, 0, module,
                                     [&](Window* window) {
                                         window->isDialog = true;
                                         window->dlgProc = proc;
                                         window->kind = asChild ? WindowKind::PropertyPage : WindowKind::Dialog;
                                         if (created) created(window);
                                     },
                                     nullptr);
    if (dialog == nullptr) return nullptr;
    for (uint32_t i = 0; i < dialogTemplate->itemCount; ++i) {
        const KvDialogItem& item = dialogTemplate->items[i];
        RECT itemRect = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy);
        HWND control = CreateWindowRecord(item.exStyle, item.className, item.text, item.style | WS_CHILD,
                                          itemRect, dialog, item.id, module, nullptr, nullptr);
        if (control == nullptr) {
            DestroyWindow(dialog);
            return nullptr;
        }
    }
    std::vector<HWND> stops;
    CollectTabStops(dialog, stops);
    HWND first = stops.empty() ? nullptr : stops.front();
    LRESULT focusDefault = SendMessage(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    if (!IsWindow(dialog)) return nullptr;
    if ((dialogTemplate->style & WS_VISIBLE) != 0 && !asChild) ShowWindow(dialog, SW_SHOW);
    if (focusDefault != 0 && !asChild && first != nullptr && IsWindow(first) && !IsAncestor(dialog, GetFocus()))
        SetFocus(first);
    return dialog;
}

LRESULT DialogClassProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefDlgProc(handle, message, wParam, lParam);
}

INT_PTR RunModalLoop(HWND dialog) {
    Window* window = OwnWindow(dialog);
    if (window == nullptr) return -1;
    std::shared_ptr<ThreadQueue> queue = window->queue;
    HWND owner = window->owner;
    bool reenable = owner != nullptr && IsWindowEnabled(owner);
    if (reenable) EnableWindow(owner, FALSE);
    window->modal = true;
    queue->modalStack.push_back(dialog);
    MarkDirty(window);
    if (!window->ended) {
        ShowWindow(dialog, SW_SHOW);
        if (!IsAncestor(dialog, GetFocus())) {
            std::vector<HWND> stops;
            CollectTabStops(dialog, stops);
            SetFocus(stops.empty() ? dialog : stops.front());
        }
    }
    INT_PTR result = IDCANCEL;
    for (;;) {
        window = OwnWindow(dialog);
        if (window == nullptr) break;
        if (window->ended) {
            result = window->endResult;
            break;
        }
        MSG msg;
        if (!GetMessage(&msg, nullptr, 0, 0)) {
            // The thread is asked to end: the dialog ends as cancelled and
            // the request stays for the loops outside.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessage(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    auto& stack = queue->modalStack;
    stack.erase(std::remove(stack.begin(), stack.end(), dialog), stack.end());
    if (reenable) EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) DestroyWindow(dialog);
    if (Window* ownerWindow = OwnWindow(owner)) {
        RaiseWindow(ownerWindow);
        if (ownerWindow->lastFocus != nullptr && IsWindow(ownerWindow->lastFocus)) SetFocus(ownerWindow->lastFocus);
    }
    return result;
}

}  // namespace kv::ui::detail

using namespace kv::ui::detail;

LRESULT DefDlgProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    if (DLGPROC proc = window->dlgProc) {
        window->msgResult = 0;
        INT_PTR handled = proc(handle, message, wParam, lParam);
        if (message == WM_INITDIALOG) return handled;
        window = OwnWindow(handle);
        if (window == nullptr) return 0;
        if (handled != 0) return window->msgResult;
    }
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_CLOSE:
            PressDialogButton(handle, IDCANCEL);
            return 0;
        case DM_GETDEFID: {
            int id = DefaultId(window);
            return id != 0 ? MAKELONG(id, DC_HASDEFID) : 0;
        }
        case DM_SETDEFID: {
            int old = DefaultId(window);
            window->defaultId = static_cast<int>(wParam);
            if (HWND previous = FindControl(handle, old))
                SendMessage(previous, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            if (HWND next = FindControl(handle, static_cast<int>(wParam)))
                SendMessage(next, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            return TRUE;
        }
        case WM_NOTIFY:
        case WM_COMMAND:
            return 0;
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

BOOL IsDialogMessage(HWND dialog, LPMSG msg) {
    if (msg == nullptr || msg->message != WM_KEYDOWN || OwnWindow(dialog) == nullptr) return FALSE;
    if (msg->hwnd != dialog && !IsAncestor(dialog, msg->hwnd)) return FALSE;
    LRESULT code = msg->hwnd != dialog ? SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, 0) : 0;
    if ((code & DLGC_WANTALLKEYS) != 0) return FALSE;
    switch (msg->wParam) {
        case VK_TAB: {
            if ((code & DLGC_WANTTAB) != 0) return FALSE;
            HWND next = GetNextDlgTabItem(dialog, GetFocus(), GetKeyState(VK_SHIFT) < 0);
            if (next != nullptr) SetFocus(next);
            return TRUE;
        }
        case VK_RETURN: {
            Window* focus = OwnWindow(GetFocus());
            if (focus != nullptr && focus->kind == kv::ui::WindowKind::PushButton && IsAncestor(dialog, focus->handle)) {
                SendMessage(focus->handle, BM_CLICK, 0, 0);
                return TRUE;
            }
            LRESULT defId = SendMessage(dialog, DM_GETDEFID, 0, 0);
            PressDialogButton(dialog, HIWORD(defId) == DC_HASDEFID ? LOWORD(defId) : IDOK);
            return TRUE;
        }
        case VK_ESCAPE:
            PressDialogButton(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    return reinterpret_cast<HWND>(OnOwnerThread(dialog, [=]() -> LRESULT {
        std::vector<HWND> stops;
        CollectTabStops(dialog, stops);
        if (stops.empty()) return 0;
        auto it = std::find(stops.begin(), stops.end(), control);
        if (it == stops.end()) return reinterpret_cast<LRESULT>(previous ? stops.back() : stops.front());
        size_t index = static_cast<size_t>(it - stops.begin());
        size_t next = previous ? (index + stops.size() - 1) % stops.size() : (index + 1) % stops.size();
        return reinterpret_cast<LRESULT>(stops[next]);
    }));
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    if (rect == nullptr || !IsWindow(dialog)) return FALSE;
    *rect = DialogUnitsToPixels(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    return TRUE;
}

INT_PTR DialogBoxParam(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam) {
    const KvDialogTemplate* dialogTemplate = FindDialogTemplate(instance, templateName);
    if (dialogTemplate == nullptr) return -1;
    HWND dialog = CreateDialogFromTemplate(dialogTemplate, instance, owner, proc, initParam, nullptr, false);
    if (dialog == nullptr) return -1;
    return RunModalLoop(dialog);
}

HWND CreateDialogParam(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM initParam) {
    const KvDialogTemplate* dialogTemplate = FindDialogTemplate(instance, templateName);
    if (dialogTemplate == nullptr) return nullptr;
    return CreateDialogFromTemplate(dialogTemplate, instance, owner, proc, initParam, nullptr, false);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    return static_cast<BOOL>(OnOwnerThread(dialog, [dialog, result]() -> LRESULT {
        Window* window = OwnWindow(dialog);
        if (!window->isDialog) return FALSE;
        window->ended = true;
        window->endResult = result;
        if (!window->modal) ShowWindow(dialog, SW_HIDE);
        // Wakes the modal loop when the call came from a sent message.
        PostMessage(dialog, WM_NULL, 0, 0);
        return TRUE;
    }));
}
