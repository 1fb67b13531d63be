// The window classes the model provides, and what each is on the display.
#include <mutex>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/Controls.h"

namespace kv::ui::detail {

void RegisterBuiltinClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct Builtin {
            const char* name;
            WNDPROC proc;
        };
        const Builtin builtins[] = {
            {WC_DIALOG, DialogClassProc},     {WC_STATIC, StaticProc},
            {WC_BUTTON, ButtonProc},          {WC_EDIT, EditProc},
            {WC_LISTVIEW, ListViewProc},      {UPDOWN_CLASS, UpDownProc},
            {DATETIMEPICK_CLASS, DateTimeProc}, {ANIMATE_CLASS, AnimationProc},
        };
        for (const Builtin& builtin : builtins) {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = builtin.proc;
            windowClass.lpszClassName = builtin.name;
            ::RegisterClass(&windowClass);
        }
    });
}

namespace {
bool Same(const std::string& a, const char* b) {
    if (a.size() != std::char_traits<char>::length(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}
}  // namespace

WindowKind KindOfClass(const std::string& className, DWORD style) {
    if (Same(className, WC_DIALOG)) return WindowKind::Dialog;
    if (Same(className, WC_STATIC)) return (style & 0x1F) == SS_ICON ? WindowKind::Icon : WindowKind::Static;
    if (Same(className, WC_EDIT)) return WindowKind::Edit;
    if (Same(className, WC_LISTVIEW)) return WindowKind::ListView;
    if (Same(className, UPDOWN_CLASS)) return WindowKind::UpDown;
    if (Same(className, DATETIMEPICK_CLASS)) return WindowKind::DateTimePicker;
    if (Same(className, ANIMATE_CLASS)) return WindowKind::Animation;
    if (Same(className, WC_BUTTON)) {
        switch (style & BS_TYPEMASK) {
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_3STATE:
            case BS_AUTO3STATE: return WindowKind::CheckBox;
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON: return WindowKind::RadioButton;
            case BS_GROUPBOX: return WindowKind::GroupBox;
            default: return WindowKind::PushButton;
        }
    }
    return WindowKind::Window;
}

void DescribeControl(Window* window, WindowView& view) {
    switch (window->kind) {
        case WindowKind::PushButton:
        case WindowKind::CheckBox:
        case WindowKind::RadioButton: DescribeButton(window, view); break;
        case WindowKind::Edit: DescribeEdit(window, view); break;
        case WindowKind::ListView: DescribeListView(window, view); break;
        case WindowKind::UpDown: DescribeUpDown(window, view); break;
        case WindowKind::DateTimePicker: DescribeDateTime(window, view); break;
        case WindowKind::Animation: DescribeAnimation(window, view); break;
        case WindowKind::Icon: view.icon = window->text; break;
        default: break;
    }
}

LRESULT StaticProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(handle, message, wParam, lParam);
}

}  // namespace kv::ui::detail
