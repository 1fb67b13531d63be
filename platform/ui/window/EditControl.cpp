// Edit boxes. The text limit binds what the user types, not what the
// program sets (as on Windows); it counts characters, not bytes.
#include "platform/ui/window/Controls.h"

namespace kv::ui::detail {
namespace {

constexpr int kDefaultLimit = 32767;
constexpr int kNoLimit = 0x7FFFFFFE;

struct EditData : ControlData {
    int limit = kDefaultLimit;
    bool modified = false;
    int selStart = 0;
    int selEnd = 0;
};

EditData* Data(Window* window) {
    if (!window->control) window->control = std::make_unique<EditData>();
    return static_cast<EditData*>(window->control.get());
}

void Changed(Window* window) {
    HWND handle = window->handle;
    CommandToParent(window, EN_UPDATE);
    if (Window* still = OwnWindow(handle)) CommandToParent(still, EN_CHANGE);
}

}  // namespace

LRESULT EditProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_SETTEXT: {
            std::string text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            bool same = text == window->text;
            window->text = std::move(text);
            Data(window)->modified = false;
            Data(window)->selStart = Data(window)->selEnd = 0;
            MarkDirty(window);
            if (!same) Changed(window);
            return TRUE;
        }
        case EM_LIMITTEXT:
            Data(window)->limit = wParam == 0 || wParam > static_cast<WPARAM>(kNoLimit) ? kNoLimit : static_cast<int>(wParam);
            MarkDirty(window);
            return 0;
        case EM_GETLIMITTEXT:
            return Data(window)->limit;
        case EM_GETMODIFY:
            return Data(window)->modified;
        case EM_SETMODIFY:
            Data(window)->modified = wParam != 0;
            return 0;
        case EM_SETREADONLY:
            if (wParam != 0) {
                window->style |= ES_READONLY;
            } else {
                window->style &= ~ES_READONLY;
            }
            MarkDirty(window);
            return TRUE;
        case EM_SETSEL:
            Data(window)->selStart = static_cast<int>(wParam);
            Data(window)->selEnd = static_cast<int>(lParam);
            return 0;
        case EM_GETSEL:
            if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(Data(window)->selStart);
            if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(Data(window)->selEnd);
            return MAKELONG(Data(window)->selStart, Data(window)->selEnd);
        case WM_SETFOCUS:
            CommandToParent(window, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            CommandToParent(window, EN_KILLFOCUS);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_WANTARROWS |
                   ((window->style & (ES_MULTILINE | ES_WANTRETURN)) == (ES_MULTILINE | ES_WANTRETURN) ? DLGC_WANTALLKEYS : 0);
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

void EditTypedByUser(Window* window, const std::string& typed) {
    if ((window->style & ES_READONLY) != 0) return;
    std::string text;
    bool multiline = (window->style & ES_MULTILINE) != 0;
    for (char c : typed) {
        if (!multiline && (c == '\r' || c == '\n')) break;
        if ((window->style & ES_NUMBER) != 0 && (c < '0' || c > '9')) continue;
        if ((window->style & ES_UPPERCASE) != 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if ((window->style & ES_LOWERCASE) != 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        text.push_back(c);
    }
    bool cut = false;
    text = CutToCharacters(text, static_cast<size_t>(Data(window)->limit), &cut);
    HWND handle = window->handle;
    if (text != window->text) {
        window->text = text;
        Data(window)->modified = true;
        Data(window)->selStart = Data(window)->selEnd = static_cast<int>(text.size());
        MarkDirty(window);
        Changed(window);
    }
    if (cut) {
        if (Window* still = OwnWindow(handle)) CommandToParent(still, EN_MAXTEXT);
    }
}

void DescribeEdit(Window* window, WindowView& view) {
    view.textLimit = Data(window)->limit;
    view.readOnly = (window->style & ES_READONLY) != 0;
    view.password = (window->style & ES_PASSWORD) != 0;
    view.numeric = (window->style & ES_NUMBER) != 0;
    view.multiline = (window->style & ES_MULTILINE) != 0;
    if (view.password) view.text.assign(window->text.size() > 0 ? 8 : 0, '*');
}

}  // namespace kv::ui::detail
