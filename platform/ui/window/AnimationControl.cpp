// Animation controls: the clip they show and whether it plays; the display
// draws it.
#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/Controls.h"

namespace kv::ui::detail {
namespace {

struct AnimationData : ControlData {
    std::string clip;
    bool playing = false;
};

AnimationData* Data(Window* window) {
    if (!window->control) window->control = std::make_unique<AnimationData>();
    return static_cast<AnimationData*>(window->control.get());
}

}  // namespace

LRESULT AnimationProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    AnimationData* data = Data(window);
    switch (message) {
        case WM_CREATE:
            // A template names its clip in the control's text.
            if (!window->text.empty()) {
                data->clip = window->text;
                data->playing = (window->style & ACS_AUTOPLAY) != 0;
            }
            return 0;
        case ACM_OPEN:
            if (lParam == 0) {
                data->clip.clear();
                data->playing = false;
            } else if (IS_INTRESOURCE(lParam)) {
                data->clip = "#" + std::to_string(static_cast<unsigned>(lParam));
                data->playing = (window->style & ACS_AUTOPLAY) != 0;
            } else {
                data->clip = reinterpret_cast<const char*>(lParam);
                data->playing = (window->style & ACS_AUTOPLAY) != 0;
            }
            MarkDirty(window);
            return TRUE;
        case ACM_PLAY:
            if (data->clip.empty()) return FALSE;
            data->playing = true;
            MarkDirty(window);
            return TRUE;
        case ACM_STOP:
            data->playing = false;
            MarkDirty(window);
            return TRUE;
        case ACM_ISPLAYING:
            return data->playing;
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

void DescribeAnimation(Window* window, WindowView& view) {
    view.clip = Data(window)->clip;
    view.playing = Data(window)->playing;
    view.text.clear();
}

}  // namespace kv::ui::detail
