// Inside the window model: dialog creation for the class layer and the
// message box.
#pragma once

#include <functional>

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/window/Window.h"

namespace kv::ui::detail {

// A dialog from a template. `created` runs before the dialog's first
// message (the class layer attaches its object there). A child dialog (a
// property page) is created hidden inside `parentOrOwner`.
HWND CreateDialogFromTemplate(const KvDialogTemplate* dialogTemplate, HINSTANCE module, HWND parentOrOwner,
                              DLGPROC proc, LPARAM initParam, const std::function<void(Window*)>& created,
                              bool asChild);
// A dialog without controls, `rect` in pixels; the caller adds its controls
// and sends WM_INITDIALOG itself when it wants one.
HWND CreateEmptyDialog(const char* caption, DWORD style, RECT rect, HWND owner, WindowKind kind,
                       DLGPROC proc, const std::function<void(Window*)>& created);
RECT DialogUnitsToPixels(int x, int y, int cx, int cy);

// The keys held with the input being applied (GetKeyState).
void SetKeyModifiers(bool ctrl, bool shift);

}  // namespace kv::ui::detail
