// Up-down (spin) controls with their buddy edit box.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/Controls.h"

namespace kv::ui::detail {
namespace {

struct UpDownData : ControlData {
    int lower = 0;
    int upper = 100;
    int pos = 0;
    HWND buddy = nullptr;
};

UpDownData* Data(Window* window) {
    if (!window->control) window->control = std::make_unique<UpDownData>();
    return static_cast<UpDownData*>(window->control.get());
}

int Clamp(const UpDownData* data, int value) {
    int low = std::min(data->lower, data->upper), high = std::max(data->lower, data->upper);
    return std::clamp(value, low, high);
}

void ShowInBuddy(Window* window) {
    UpDownData* data = Data(window);
    if ((window->style & UDS_SETBUDDYINT) == 0 || data->buddy == nullptr) return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", data->pos);
    SetWindowText(data->buddy, text);
}

// A number typed into the buddy becomes the position, as the control reads
// it back before it answers.
void ReadBuddy(Window* window) {
    UpDownData* data = Data(window);
    if ((window->style & UDS_SETBUDDYINT) == 0 || data->buddy == nullptr) return;
    char text[32] = {};
    GetWindowText(data->buddy, text, sizeof text);
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end != text && *end == '\0') data->pos = Clamp(data, static_cast<int>(value));
}

int SetPos(Window* window, int pos) {
    UpDownData* data = Data(window);
    ReadBuddy(window);
    int old = data->pos;
    data->pos = Clamp(data, pos);
    MarkDirty(window);
    ShowInBuddy(window);
    return old;
}

}  // namespace

LRESULT UpDownProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    UpDownData* data = Data(window);
    switch (message) {
        case WM_CREATE:
            if ((window->style & UDS_AUTOBUDDY) != 0) {
                if (Window* parent = OwnWindow(window->parent)) {
                    auto self = std::find(parent->children.begin(), parent->children.end(), handle);
                    if (self != parent->children.end() && self != parent->children.begin()) data->buddy = *(self - 1);
                }
            }
            return 0;
        case UDM_SETRANGE:
            data->upper = static_cast<short>(LOWORD(lParam));
            data->lower = static_cast<short>(HIWORD(lParam));
            data->pos = Clamp(data, data->pos);
            MarkDirty(window);
            return 0;
        case UDM_GETRANGE:
            return MAKELONG(data->upper, data->lower);
        case UDM_SETRANGE32:
            data->lower = static_cast<int>(wParam);
            data->upper = static_cast<int>(lParam);
            data->pos = Clamp(data, data->pos);
            MarkDirty(window);
            return 0;
        case UDM_GETRANGE32:
            if (wParam != 0) *reinterpret_cast<int*>(wParam) = data->lower;
            if (lParam != 0) *reinterpret_cast<int*>(lParam) = data->upper;
            return 0;
        case UDM_SETPOS:
            return SetPos(window, static_cast<short>(LOWORD(lParam)));
        case UDM_SETPOS32:
            return SetPos(window, static_cast<int>(lParam));
        case UDM_GETPOS:
            ReadBuddy(window);
            return static_cast<WORD>(data->pos);
        case UDM_GETPOS32:
            ReadBuddy(window);
            if (lParam != 0) *reinterpret_cast<BOOL*>(lParam) = FALSE;
            return data->pos;
        case UDM_SETBUDDY: {
            HWND old = data->buddy;
            data->buddy = reinterpret_cast<HWND>(wParam);
            MarkDirty(window);
            return reinterpret_cast<LRESULT>(old);
        }
        case UDM_GETBUDDY:
            return reinterpret_cast<LRESULT>(data->buddy);
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

void SpinByUser(Window* window, int delta) {
    HWND handle = window->handle;
    ReadBuddy(window);
    NMUPDOWN change{};
    change.iPos = Data(window)->pos;
    change.iDelta = delta;
    if (Notify(window, UDN_DELTAPOS, &change.hdr) != 0) return;
    window = OwnWindow(handle);
    if (window == nullptr) return;
    UpDownData* data = Data(window);
    // An inverted range counts down as the arrow goes up.
    int step = data->lower <= data->upper ? change.iDelta : -change.iDelta;
    long next = static_cast<long>(data->pos) + step;
    int low = std::min(data->lower, data->upper), high = std::max(data->lower, data->upper);
    if ((window->style & UDS_WRAP) != 0) {
        if (next > high) next = low;
        if (next < low) next = high;
    }
    data->pos = std::clamp(static_cast<int>(std::clamp<long>(next, low, high)), low, high);
    MarkDirty(window);
    ShowInBuddy(window);
    if (Window* still = OwnWindow(handle)) {
        UINT scroll = (still->style & UDS_HORZ) != 0 ? WM_HSCROLL : WM_VSCROLL;
        SendMessage(still->parent, scroll, MAKEWPARAM(4 /* SB_THUMBPOSITION */, Data(still)->pos),
                    reinterpret_cast<LPARAM>(handle));
    }
}

void DescribeUpDown(Window* window, WindowView& view) {
    UpDownData* data = Data(window);
    view.rangeMin = data->lower;
    view.rangeMax = data->upper;
    view.position = data->pos;
    view.buddy = FromHwnd(data->buddy);
}

}  // namespace kv::ui::detail
