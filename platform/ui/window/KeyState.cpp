// The keys held with the input being handled. Each thread knows the keys of
// the input message it took last (as Windows keeps key state per input
// queue); the process remembers the latest of all for GetAsyncKeyState.
#include <atomic>

#include "platform/ui/window/Dialogs.h"
#include "platform/ui/window/Window.h"

namespace kv::ui::detail {
namespace {

thread_local HeldKeys t_held;

// ctrl: bit 0, shift: bit 1, key: bits 8-15.
std::atomic<unsigned> g_latest{0};

unsigned Pack(const HeldKeys& keys) {
    return (keys.ctrl ? 1u : 0u) | (keys.shift ? 2u : 0u) | ((keys.key & 0xFFu) << 8);
}

short Answer(const HeldKeys& keys, int key) {
    constexpr short kDown = static_cast<short>(0x8000);
    switch (key) {
        case VK_CONTROL:
        case VK_LCONTROL:
            return keys.ctrl ? kDown : 0;
        case VK_SHIFT:
        case VK_LSHIFT:
            return keys.shift ? kDown : 0;
        // The display does not tell the sides apart; the left key stands for both.
        case VK_RCONTROL:
        case VK_RSHIFT:
            return 0;
        default:
            return key != 0 && static_cast<UINT>(key) == keys.key ? kDown : 0;
    }
}

}  // namespace

void SetHeldKeys(const HeldKeys& keys) {
    t_held = keys;
    g_latest.store(Pack(keys));
}

HeldKeys CurrentHeldKeys() { return t_held; }

void SetKeyModifiers(bool ctrl, bool shift) { SetHeldKeys(HeldKeys{ctrl, shift, 0}); }

}  // namespace kv::ui::detail

using namespace kv::ui::detail;

short GetKeyState(int key) { return Answer(t_held, key); }

short GetAsyncKeyState(int key) {
    unsigned packed = g_latest.load();
    return Answer(HeldKeys{(packed & 1u) != 0, (packed & 2u) != 0, (packed >> 8) & 0xFFu}, key);
}

bool kv::ui::PostUserMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ctrl, bool shift, UINT key) {
    return PostInputMessage(window, message, wParam, lParam, HeldKeys{ctrl, shift, key});
}
