// The window that holds a view's result list: a child of the console's frame
// on the user-interface thread, parent of the list view control, and the
// procedure that answers the list's notifications for the console, as the
// console's own view window does (so a snap-in may hook or subclass it).
#pragma once

#include "platform/ui/WinUser.h"

namespace kv::mmc {

class View;

// The pane of the view, with its list attached to view.list. Null when the
// windows could not be made.
HWND CreateResultPane(HWND frame, View& view);
void DestroyResultPane(HWND pane);
// The pane handles the selection the list's keys left, once they are done.
void PostSelectionCheck(HWND pane);

}  // namespace kv::mmc
