// The message box as a window: text, icon and buttons in a modal dialog on
// the calling thread. The log variant (platform/ui/MessageBox.cpp) hands its
// boxes here once the process's display is enabled.
#include <algorithm>
#include <vector>

#include "platform/ui/MessageBox.h"
#include "platform/ui/window/Dialogs.h"

namespace kv::ui::detail {
namespace {

constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x14;

struct Button {
    int id;
    const char* label;
};

std::vector<Button> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_ABORTRETRYIGNORE: return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
        case MB_YESNOCANCEL: return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO: return {{IDYES, "&Yes"}, {IDNO, "&No"}};
        case MB_RETRYCANCEL: return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
        default: return {{IDOK, "OK"}};
    }
}

const char* IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND: return "error";
        case MB_ICONQUESTION: return "question";
        case MB_ICONEXCLAMATION: return "warning";
        case MB_ICONASTERISK: return "information";
        default: return "";
    }
}

INT_PTR MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    int id = LOWORD(wParam);
    if (id == kTextId || id == kIconId) return TRUE;
    if (GetDlgItem(box, id) != nullptr) {
        EndDialog(box, id);
    } else if (id == IDCANCEL && GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDNO) == nullptr &&
               GetDlgItem(box, IDRETRY) == nullptr) {
        // Escape on a box with OK alone answers OK, as on Windows; a box
        // without a way out (Yes / No) ignores it.
        EndDialog(box, IDOK);
    }
    return TRUE;
}

}  // namespace

int ShowMessageBoxWindow(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string body = text != nullptr ? text : "";
    std::vector<Button> buttons = ButtonsOf(type);
    const char* icon = IconOf(type);
    size_t longest = 0, lines = 1, current = 0;
    for (char c : body) {
        if (c == '\n') {
            ++lines;
            current = 0;
            continue;
        }
        if (++current > 60) {
            ++lines;
            current = 0;
        }
        longest = std::max(longest, current);
    }
    int textLeft = *icon != '\0' ? 64 : 20;
    int textWidth = std::clamp(static_cast<int>(longest) * 7, 180, 440);
    int textHeight = static_cast<int>(lines) * 18;
    int buttonsWidth = static_cast<int>(buttons.size()) * 88;
    int width = std::max(textLeft + textWidth + 20, buttonsWidth + 40);
    int height = 20 + std::max(textHeight, 32) + 20 + 26 + 16;
    HWND box = CreateEmptyDialog(caption != nullptr ? caption : "Error",
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, RECT{0, 0, width, height}, owner,
                                 WindowKind::MessageBox, MessageBoxProc, [&](Window* window) { window->icon = icon; });
    if (box == nullptr) return 0;
    if (*icon != '\0') CreateWindowEx(0, WC_STATIC, icon, WS_CHILD | WS_VISIBLE | SS_ICON, 20, 20, 32, 32, box, kIconId, nullptr, nullptr);
    CreateWindowEx(0, WC_STATIC, body.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, textLeft, 20, textWidth,
                   textHeight, box, kTextId, nullptr, nullptr);
    size_t defaultIndex = std::min<size_t>(((type & MB_DEFMASK) >> 8), buttons.size() - 1);
    int x = width - 20 - buttonsWidth + 8;
    int y = height - 16 - 26;
    HWND focus = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0) style |= WS_GROUP;
        HWND button = CreateWindowEx(0, WC_BUTTON, buttons[i].label, style, x + static_cast<int>(i) * 88, y, 80, 26,
                                     box, static_cast<UINT_PTR>(buttons[i].id), nullptr, nullptr);
        if (i == defaultIndex) focus = button;
    }
    SendMessage(box, DM_SETDEFID, static_cast<WPARAM>(buttons[defaultIndex].id), 0);
    ShowWindow(box, SW_SHOW);
    if (focus != nullptr) SetFocus(focus);
    INT_PTR result = RunModalLoop(box);
    // A box ended by the thread's end answers as its Cancel would, or with
    // its first button when it has none.
    if (result == IDCANCEL && std::none_of(buttons.begin(), buttons.end(), [](const Button& b) { return b.id == IDCANCEL; }))
        result = buttons.back().id == IDNO ? IDNO : buttons.front().id;
    return static_cast<int>(result);
}

}  // namespace kv::ui::detail

extern "C" __attribute__((visibility("default"))) int KvUserMessageBox(HWND owner, LPCSTR text, LPCSTR caption,
                                                                       UINT type, int* handled) {
    if (!kv::ui::DisplayEnabled()) {
        if (handled != nullptr) *handled = 0;
        return 0;
    }
    if (handled != nullptr) *handled = 1;
    return kv::ui::detail::ShowMessageBoxWindow(owner, text, caption, type);
}
