// The display: what a screen would show of the process's windows, as an
// immutable snapshot, and the input a user gives them.
//
// The thread that owns a window publishes a new snapshot whenever its windows
// changed and it has nothing left in its queue (and at once when the wait
// cursor comes on), so a snapshot never shows a window half-way through a
// message. Any thread may read snapshots and post input; input travels
// through the owning thread's queue and acts there as the user's action
// would (typing respects the edit's text limit, a click on a disabled
// control does nothing, windows behind a modal dialog take no input).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/system/SystemInfo.h"
#include "platform/ui/UiExport.h"
#include "platform/ui/WinUser.h"

namespace kv::ui {

enum class WindowKind {
    Window,         // a window of a registered class (a host's frame, ...)
    Dialog,         // a dialog from a template
    MessageBox,     // the dialog of MessageBox
    PropertySheet,  // tabs, pages and the OK / Cancel / Apply buttons
    PropertyPage,   // a page inside a sheet
    Static,
    Icon,           // a static control showing an image (SS_ICON)
    GroupBox,
    PushButton,
    CheckBox,
    RadioButton,
    Edit,
    ListView,
    UpDown,
    DateTimePicker,
    Animation,
};
KV_UI_API const char* WindowKindName(WindowKind kind);  // "dialog", "pushbutton", ...

struct ListColumnView {
    std::string text;
    int width = 0;  // pixels
    int format = 0;  // LVCFMT_*
};

struct ListItemView {
    std::vector<std::string> texts;  // one per column; callbacks already answered
    int image = -1;                  // index into smallImages
    int stateImage = 0;              // 0 none, n: stateImages[n - 1]
    bool selected = false;
    bool focused = false;
};

struct ListViewState {
    std::vector<ListColumnView> columns;
    std::vector<ListItemView> items;
    std::vector<std::string> smallImages;  // image names (CommCtrl.h)
    std::vector<std::string> stateImages;
    std::vector<std::string> normalImages;
    bool multiSelect = true;
    bool report = true;  // LVS_REPORT
};

struct WindowView {
    uint64_t handle = 0;  // the HWND as a number
    int id = 0;           // control id
    WindowKind kind = WindowKind::Window;
    std::string className;
    std::string text;  // caption or control text (a password edit shows none)
    DWORD style = 0;
    RECT rect{};  // pixels, relative to the parent's client area (screen for top level)
    bool visible = true;
    bool enabled = true;
    bool focused = false;

    // Buttons.
    int check = 0;  // BST_*
    bool defaultButton = false;
    // Edits.
    int textLimit = 0;
    bool readOnly = false;
    bool password = false;
    bool numeric = false;
    bool multiline = false;
    // Up-down.
    int rangeMin = 0, rangeMax = 0, position = 0;
    uint64_t buddy = 0;
    // Date-time picker: the value, and whether it shows the time (DTS_TIMEFORMAT).
    SYSTEMTIME time{};
    bool timeFormat = false;
    // Animation.
    std::string clip;
    bool playing = false;
    // Images: an icon static's image name; a message box's icon
    // ("error", "question", "warning", "information" or empty).
    std::string icon;
    // List view.
    std::optional<ListViewState> list;

    // Top-level windows.
    uint64_t owner = 0;
    bool modal = false;
    // Property sheets: the tab titles (every page, created or not) and the
    // active one; pages are children with kind PropertyPage.
    std::vector<std::string> tabs;
    int activeTab = -1;
    // Property pages: the modified mark.
    bool modified = false;

    std::vector<WindowView> children;  // in tab order
};

struct Snapshot {
    uint64_t version = 0;
    std::vector<WindowView> windows;  // visible top-level windows, topmost first
    std::vector<uint64_t> modalChain;  // modal windows, outermost first
    uint64_t focus = 0;
    uint64_t active = 0;
    bool waitCursor = false;

    // Finds a window of the snapshot by handle, or by id below a window.
    KV_UI_API const WindowView* Find(uint64_t handle) const;
    KV_UI_API static const WindowView* FindChild(const WindowView& parent, int id);
};

// The latest snapshot (never null). Called on a thread that owns windows, it
// publishes that thread's pending changes first.
KV_UI_API std::shared_ptr<const Snapshot> CurrentSnapshot();
// Waits until a snapshot newer than `version` is published or the timeout
// passes; returns the latest snapshot either way.
KV_UI_API std::shared_ptr<const Snapshot> WaitForSnapshot(uint64_t version,
                                                          std::chrono::milliseconds timeout);

// Message boxes of this process become windows on the display (MessageBox
// with buttons and icon, modal on the calling thread) instead of lines in the
// log. A host that shows the display turns this on once at start.
KV_UI_API void EnableDisplay();
KV_UI_API bool DisplayEnabled();

enum class InputType {
    Click,        // a button, check box, radio button (also a sheet's OK / Cancel / Apply)
    SetText,      // typing into an edit: replaces its text as the user would
    Key,          // a key press given to the target (or the focus when target is 0)
    Focus,        // the user moves the focus to the target
    SelectItems,  // a list view: exactly `items` selected, the last one focused
    ClickItem,    // a list view: click on `item` (-1: empty space) at x, with ctrl/shift
    DoubleClickItem,
    RightClickItem,
    ClickColumn,  // a list view column header: `item` is the column
    Spin,         // an up-down: `value` steps (+1 up, -1 down)
    SetTime,      // a date-time picker: `time`
    SelectTab,    // a property sheet: `item` is the tab
    Close,        // the close box of a top-level window
    Command,      // WM_COMMAND with id `value` to the target (a menu choice)
};

struct Input {
    InputType type = InputType::Click;
    uint64_t target = 0;
    std::string text;
    UINT key = 0;
    bool ctrl = false;
    bool shift = false;
    std::vector<int> items;
    int item = -1;
    int x = 0;
    int value = 0;
    SYSTEMTIME time{};
};

// Posts the input to the queue of the thread that owns the target. False
// when there is no such window. Whether the window takes it (it fits the
// window's kind, the window is visible, enabled and not behind a modal
// dialog) is decided when the owning thread gets to it; input it does not
// take is dropped.
KV_UI_API bool PostInput(const Input& input);

// Posts a mouse or keyboard message (WM_LBUTTONDOWN, WM_KEYDOWN, ...) that a
// user's action on a window caused, with the keys held meanwhile: when the
// window's thread takes it off its queue, GetKeyState there answers those
// keys (and WH_GETMESSAGE hooks see it like any posted message).
KV_UI_API bool PostUserMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ctrl, bool shift,
                               UINT key = 0);

// What a list view control shows of one item, as drawing its row does: the
// list asks its parent (LVN_GETDISPINFO) for what the item leaves to it,
// the state image included. One text per column. False for no such item.
KV_UI_API bool DrawListItem(HWND list, int index, ListItemView* row);

inline HWND ToHwnd(uint64_t handle) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)); }
inline uint64_t FromHwnd(HWND window) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window)); }

}  // namespace kv::ui
