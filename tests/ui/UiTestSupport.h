// What the window-model tests share: the module with their dialog
// templates, a user-interface thread, and waiting for what the display shows.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/library/Library.h"
#include "platform/ui/AfxWin.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/Display.h"
#include "platform/ui/UiThread.h"
#include "tests/ui/DisplayWait.h"
#include "tests/ui/dialogs/TestResource.h"

namespace uitest {

using kv::ui::Input;
using kv::ui::InputType;
using kv::ui::Snapshot;
using kv::ui::WindowKind;
using kv::ui::WindowView;

inline HMODULE Dialogs() {
    static HMODULE module = LoadLibraryA(KV_UI_TEST_DIALOGS);
    return module;
}

// Waits (bounded) until the display shows what the predicate looks for.
inline std::shared_ptr<const Snapshot> WaitFor(const std::function<bool(const Snapshot&)>& shows) {
    return kvtest::WaitForDisplay(shows);
}

// The topmost window with that caption, once it shows.
inline WindowView WaitForWindow(const std::string& caption) {
    WindowView found;
    WaitFor([&](const Snapshot& s) {
        for (const WindowView& w : s.windows) {
            if (w.text == caption) {
                found = w;
                return true;
            }
        }
        return false;
    });
    return found;
}

inline bool Shows(const Snapshot& s, const std::string& caption) {
    for (const WindowView& w : s.windows)
        if (w.text == caption) return true;
    return false;
}

inline uint64_t Control(const WindowView& window, int id) {
    const WindowView* control = Snapshot::FindChild(window, id);
    EXPECT_NE(control, nullptr) << "no control " << id << " in " << window.text;
    return control != nullptr ? control->handle : 0;
}

inline void Post(Input input) { EXPECT_TRUE(kv::ui::PostInput(input)); }

inline void Click(uint64_t target) {
    Input input;
    input.type = InputType::Click;
    input.target = target;
    Post(input);
}

inline void Type(uint64_t target, const std::string& text) {
    Input input;
    input.type = InputType::SetText;
    input.target = target;
    input.text = text;
    Post(input);
}

inline void Key(uint64_t target, UINT key, bool ctrl = false, bool shift = false) {
    Input input;
    input.type = InputType::Key;
    input.target = target;
    input.key = key;
    input.ctrl = ctrl;
    input.shift = shift;
    Post(input);
}

// Handles everything posted to the UI thread so far and publishes what its
// windows then show.
inline void Drain(kv::ui::UiThread& ui) {
    ui.Invoke([] {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        kv::ui::CurrentSnapshot();
    });
}

}  // namespace uitest
