// Push buttons, check boxes, radio buttons and group boxes.
#include <algorithm>

#include "platform/ui/window/Controls.h"

namespace kv::ui::detail {
namespace {

struct ButtonData : ControlData {
    UINT check = BST_UNCHECKED;
};

ButtonData* Data(Window* window) {
    if (!window->control) window->control = std::make_unique<ButtonData>();
    return static_cast<ButtonData*>(window->control.get());
}

bool IsRadio(Window* window) {
    DWORD type = window->style & BS_TYPEMASK;
    return window->kind == WindowKind::RadioButton && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

// Unchecks the other radio buttons of the button's group (from the control
// that starts the group with WS_GROUP up to the next one).
void UncheckGroup(Window* button) {
    Window* parent = OwnWindow(button->parent);
    if (parent == nullptr) return;
    const auto& siblings = parent->children;
    auto self = std::find(siblings.begin(), siblings.end(), button->handle);
    if (self == siblings.end()) return;
    auto first = self;
    while (first != siblings.begin()) {
        Window* w = OwnWindow(*first);
        if (w != nullptr && (w->style & WS_GROUP) != 0) break;
        --first;
    }
    for (auto it = first; it != siblings.end(); ++it) {
        Window* w = OwnWindow(*it);
        if (w == nullptr) continue;
        if (it != first && (w->style & WS_GROUP) != 0) break;
        if (w != button && w->kind == WindowKind::RadioButton && (w->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
            Data(w)->check != BST_UNCHECKED) {
            Data(w)->check = BST_UNCHECKED;
            MarkDirty(w);
        }
    }
}

}  // namespace

LRESULT ButtonProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case BM_GETCHECK:
            return Data(window)->check;
        case BM_GETSTATE:
            return Data(window)->check | (handle == GetFocus() ? 0x8u : 0u);
        case BM_SETCHECK:
            if (window->kind == WindowKind::CheckBox || window->kind == WindowKind::RadioButton) {
                Data(window)->check = static_cast<UINT>(wParam) & 3u;
                MarkDirty(window);
            }
            return 0;
        case BM_SETSTYLE:
            window->style = (window->style & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFFu);
            window->kind = KindOfClass(window->className, window->style);
            MarkDirty(window);
            return 0;
        case BM_CLICK: {
            if ((window->style & WS_DISABLED) != 0 || window->kind == WindowKind::GroupBox) return 0;
            DWORD type = window->style & BS_TYPEMASK;
            if (type == BS_AUTOCHECKBOX) {
                Data(window)->check = Data(window)->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
                MarkDirty(window);
            } else if (type == BS_AUTO3STATE) {
                Data(window)->check = (Data(window)->check + 1) % 3;
                MarkDirty(window);
            } else if (type == BS_AUTORADIOBUTTON) {
                Data(window)->check = BST_CHECKED;
                UncheckGroup(window);
                MarkDirty(window);
            }
            CommandToParent(window, BN_CLICKED);
            return 0;
        }
        case WM_GETDLGCODE:
            return IsRadio(window) ? DLGC_WANTARROWS : 0;
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

void DescribeButton(Window* window, WindowView& view) {
    view.check = static_cast<int>(Data(window)->check);
    view.defaultButton = window->kind == WindowKind::PushButton && (window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

}  // namespace kv::ui::detail
