// Inside the window model: the built-in window classes and what the display
// needs from each control (its state for the snapshot, the user's actions).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/window/Window.h"

namespace kv::ui::detail {

void RegisterBuiltinClasses();
WindowKind KindOfClass(const std::string& className, DWORD style);
// Copies the control's own state into the view.
void DescribeControl(Window* window, WindowView& view);

LRESULT ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ListViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT UpDownProc(HWND, UINT, WPARAM, LPARAM);
LRESULT DateTimeProc(HWND, UINT, WPARAM, LPARAM);
LRESULT AnimationProc(HWND, UINT, WPARAM, LPARAM);
LRESULT DialogClassProc(HWND, UINT, WPARAM, LPARAM);

void DescribeButton(Window* window, WindowView& view);
void DescribeEdit(Window* window, WindowView& view);
void DescribeListView(Window* window, WindowView& view);
void DescribeUpDown(Window* window, WindowView& view);
void DescribeDateTime(Window* window, WindowView& view);
void DescribeAnimation(Window* window, WindowView& view);

// The user's actions on controls.
void EditTypedByUser(Window* edit, const std::string& text);
void ListSelectByUser(Window* list, const std::vector<int>& items);
// code: NM_CLICK, NM_DBLCLK or NM_RCLICK.
void ListClickByUser(Window* list, int item, int x, bool ctrl, bool shift, UINT code, int y = -1);
void ListColumnClickByUser(Window* list, int column);
// True when the list used the key (arrows, Home, End, Space).
bool ListKeyByUser(Window* list, UINT key, bool ctrl, bool shift);
void SpinByUser(Window* upDown, int delta);
void SetTimeByUser(Window* picker, const SYSTEMTIME& time);

// UTF-8 text cut to at most `limit` characters.
std::string CutToCharacters(const std::string& text, size_t limit, bool* cut);
SYSTEMTIME WithDayOfWeek(SYSTEMTIME time);

}  // namespace kv::ui::detail
