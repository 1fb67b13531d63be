// Inside the class layer: how objects are hooked to their windows.
#pragma once

#include <exception>

#include "platform/ui/afx/Wnd.h"
#include "platform/ui/window/Window.h"

namespace kv::ui::detail {

// The procedure of every window an object is hooked to.
LRESULT AfxWndProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

struct ClassLayer {
    // Hooks the object before the window's first message reaches it.
    static void Hook(CWnd* object, Window* window);
    static void Release(CWnd* object);
    static void PostNcDestroy(CWnd* object);
};

// Thrown by CDataExchange::Fail, caught by UpdateData.
struct DataExchangeFailure : std::exception {
    const char* what() const noexcept override { return "data exchange refused"; }
};

}  // namespace kv::ui::detail
