// The result list's hooks while a view shows a folder of the file tree: the
// state image is computed afresh whenever the list asks for it, and the
// list's input is filtered (no range or select-all selection; a click on the
// state image toggles the item between scan job 1 and none).
#pragma once

#include "platform/ui/WinUser.h"

class CComponent;

// A view starts or stops showing a folder's content. The hooks exist while at
// least one view of this thread does.
void InstallResultListHooks(CComponent* view);
void RemoveResultListHooks(CComponent* view);

// Exposed for the input filter's decisions, which are the same for every list.
LRESULT HookLVPProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT HandleMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT HookInputProc(int code, WPARAM wParam, LPARAM lParam);
