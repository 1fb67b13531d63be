// The window manager: window handles, the message queue of each user-interface
// thread, window classes, dialogs built from templates and the calls on them.
//
// Every window belongs to the thread that created it; its procedure only ever
// runs on that thread. A thread gets its queue with its first window (or its
// first GetMessage). SendMessage to a window of another thread hands the call
// to that thread, which runs it the next time it looks at its queue (in
// GetMessage, in a modal loop or while it waits in a SendMessage of its own),
// and the sender waits for the result meanwhile. The calls below that read or
// change a window work from any thread the same way.
//
// Texts are UTF-8. Coordinates are dialog units in templates and pixels
// everywhere else (see MapDialogRect).
#pragma once

#include "platform/ui/UiExport.h"
#include "platform/win/WinTypes.h"

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef intptr_t LONG_PTR;
typedef uint16_t ATOM;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef LRESULT (*HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);
struct HHOOK__;
typedef HHOOK__* HHOOK;

struct POINT {
    LONG x;
    LONG y;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

// What a WH_CALLWNDPROC hook sees of a sent message.
struct CWPSTRUCT {
    LPARAM lParam;
    WPARAM wParam;
    UINT message;
    HWND hwnd;
};
typedef CWPSTRUCT* LPCWPSTRUCT;

// Header of every WM_NOTIFY.
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
typedef NMHDR* LPNMHDR;

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    void* hIcon;
    void* hCursor;
    void* hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};
typedef WNDCLASSA WNDCLASS;

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((uintptr_t)(a)) & 0xffff)) | ((DWORD)((WORD)(((uintptr_t)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCE(i) ((LPCSTR)((uintptr_t)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((uintptr_t)(r)) >> 16) == 0)

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_NOTIFY 0x004E
#define WM_CONTEXTMENU 0x007B
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MOUSEMOVE 0x0200
#define WM_RBUTTONDBLCLK 0x0206
#define WM_NEXTDLGCTL 0x0028

// Mouse message wParam: the keys and buttons held.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define WM_USER 0x0400
#define WM_APP 0x8000

// Window styles.
#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_DLGFRAME 0x00400000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define WS_EX_CLIENTEDGE 0x00000200u
#define WS_EX_CONTROLPARENT 0x00010000u

// Dialog styles.
#define DS_MODALFRAME 0x80u
#define DS_SETFONT 0x40u
#define DS_CENTER 0x0800u
#define DS_CONTROL 0x0400u

// ShowWindow.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOW 5
#define SW_RESTORE 9

// Standard dialog results and control ids.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDC_STATIC (-1)

// Static controls.
#define SS_LEFT 0x0u
#define SS_CENTER 0x1u
#define SS_RIGHT 0x2u
#define SS_ICON 0x3u
#define SS_NOPREFIX 0x80u

// Buttons.
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u
#define BS_CHECKBOX 0x2u
#define BS_AUTOCHECKBOX 0x3u
#define BS_RADIOBUTTON 0x4u
#define BS_3STATE 0x5u
#define BS_AUTO3STATE 0x6u
#define BS_GROUPBOX 0x7u
#define BS_AUTORADIOBUTTON 0x9u
#define BS_TYPEMASK 0xFu
#define BST_UNCHECKED 0x0u
#define BST_CHECKED 0x1u
#define BST_INDETERMINATE 0x2u
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5
#define BN_SETFOCUS 6
#define BN_KILLFOCUS 7

// Edit controls.
#define ES_LEFT 0x0000u
#define ES_CENTER 0x0001u
#define ES_RIGHT 0x0002u
#define ES_MULTILINE 0x0004u
#define ES_UPPERCASE 0x0008u
#define ES_LOWERCASE 0x0010u
#define ES_PASSWORD 0x0020u
#define ES_AUTOVSCROLL 0x0040u
#define ES_AUTOHSCROLL 0x0080u
#define ES_READONLY 0x0800u
#define ES_WANTRETURN 0x1000u
#define ES_NUMBER 0x2000u
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_GETMODIFY 0x00B8
#define EM_SETMODIFY 0x00B9
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_SETREADONLY 0x00CF
#define EM_GETLIMITTEXT 0x00D5
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define EN_MAXTEXT 0x0501

// Dialog manager.
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DC_HASDEFID 0x534B
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTCHARS 0x0080
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)

// PeekMessage.
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

// Virtual keys.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F2 0x71
#define VK_F5 0x74
#define VK_APPS 0x5D
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5

// Hooks: only hooks of one thread of this process (no global hooks).
#define WH_GETMESSAGE 3
#define WH_CALLWNDPROC 4
#define HC_ACTION 0
#define ERROR_INVALID_HOOK_FILTER 1426L
#define ERROR_INVALID_FILTER_PROC 1427L
#define ERROR_INVALID_HOOK_HANDLE 1404L

// System commands.
#define SC_CLOSE 0xF060

// The class names of the built-in controls.
#define WC_DIALOG "#32770"
#define WC_STATIC "Static"
#define WC_BUTTON "Button"
#define WC_EDIT "Edit"

// Queue and dispatch.
KV_UI_API BOOL GetMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
KV_UI_API BOOL PeekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
KV_UI_API BOOL TranslateMessage(const MSG* msg);
KV_UI_API LRESULT DispatchMessage(const MSG* msg);
KV_UI_API BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KV_UI_API BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the window's procedure on the window's thread and returns its result;
// 0 when the window does not exist or its thread ended before answering.
KV_UI_API LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KV_UI_API void PostQuitMessage(int exitCode);
// Blocks until the calling thread's queue holds something.
KV_UI_API BOOL WaitMessage();
// Whether the calling thread is answering a SendMessage from another thread.
KV_UI_API BOOL InSendMessage();
// The thread id that PostThreadMessage takes (the system's thread id).
KV_UI_API DWORD GetCurrentThreadId();
KV_UI_API DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

// Classes and windows.
KV_UI_API ATOM RegisterClass(const WNDCLASSA* windowClass);
KV_UI_API HWND CreateWindowEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                              int y, int width, int height, HWND parent, UINT_PTR menuOrId,
                              HINSTANCE instance, LPVOID param);
KV_UI_API BOOL DestroyWindow(HWND window);
KV_UI_API BOOL IsWindow(HWND window);
KV_UI_API LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KV_UI_API LRESULT CallWindowProc(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KV_UI_API LONG_PTR GetWindowLongPtr(HWND window, int index);
KV_UI_API LONG_PTR SetWindowLongPtr(HWND window, int index, LONG_PTR value);
KV_UI_API HWND GetParent(HWND window);
// The owner of a top-level window (null for child windows).
KV_UI_API HWND GetWindowOwner(HWND window);
KV_UI_API int GetClassName(HWND window, LPSTR buffer, int size);
KV_UI_API BOOL SetWindowText(HWND window, LPCSTR text);
KV_UI_API int GetWindowText(HWND window, LPSTR buffer, int size);
KV_UI_API int GetWindowTextLength(HWND window);
KV_UI_API BOOL EnableWindow(HWND window, BOOL enable);
KV_UI_API BOOL IsWindowEnabled(HWND window);
KV_UI_API BOOL ShowWindow(HWND window, int command);
KV_UI_API BOOL IsWindowVisible(HWND window);
// Focus is kept per thread, as Windows keeps it per input queue.
KV_UI_API HWND SetFocus(HWND window);
KV_UI_API HWND GetFocus();
KV_UI_API HWND GetActiveWindow();
KV_UI_API BOOL SetForegroundWindow(HWND window);
KV_UI_API BOOL BringWindowToTop(HWND window);
KV_UI_API BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
KV_UI_API BOOL GetWindowRect(HWND window, LPRECT rect);
KV_UI_API BOOL GetClientRect(HWND window, LPRECT rect);
KV_UI_API BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
KV_UI_API BOOL UpdateWindow(HWND window);

// Dialogs. A template is found by id in the module's dialog table (see
// DialogTemplate.h); a null module means the program itself.
KV_UI_API INT_PTR DialogBoxParam(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                                 LPARAM initParam);
KV_UI_API HWND CreateDialogParam(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                                 LPARAM initParam);
KV_UI_API BOOL EndDialog(HWND dialog, INT_PTR result);
KV_UI_API LRESULT DefDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Handles the dialog keys (Enter, Escape, Tab) of a message meant for the
// dialog or one of its controls; TRUE when it took the message.
KV_UI_API BOOL IsDialogMessage(HWND dialog, LPMSG msg);
KV_UI_API HWND GetDlgItem(HWND dialog, int id);
KV_UI_API int GetDlgCtrlID(HWND window);
KV_UI_API LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
KV_UI_API BOOL SetDlgItemText(HWND dialog, int id, LPCSTR text);
KV_UI_API UINT GetDlgItemText(HWND dialog, int id, LPSTR buffer, int size);
KV_UI_API BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
KV_UI_API UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
KV_UI_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);
KV_UI_API UINT IsDlgButtonChecked(HWND dialog, int id);
KV_UI_API BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);
KV_UI_API HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// Whether a key is held: the high bit is set for the modifiers (Shift, Ctrl,
// either side) and the key of the input message the thread took last from
// its queue, or of the display input being applied. GetAsyncKeyState
// answers the same for the input the process handled last, from any thread.
KV_UI_API short GetKeyState(int key);
KV_UI_API short GetAsyncKeyState(int key);

// Hooks. `threadId` names a thread of this process that has a message
// queue (the calling thread always qualifies); the hook runs on that thread.
// WH_CALLWNDPROC: before the window procedure of every message sent to a
// window of the thread (lParam: CWPSTRUCT*; wParam: nonzero when the calling
// thread sent it). WH_GETMESSAGE: when GetMessage or PeekMessage(PM_REMOVE)
// takes a posted message off the queue, before the caller sees it (lParam:
// MSG* the hook may change; WM_NULL swallows it). The hook installed last
// runs first; it hands on with CallNextHookEx. A hook may remove itself or
// others while it runs.
KV_UI_API HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
KV_UI_API HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
inline HHOOK SetWindowsHookEx(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId) {
    return SetWindowsHookExA(idHook, proc, module, threadId);
}
KV_UI_API BOOL UnhookWindowsHookEx(HHOOK hook);
KV_UI_API LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
// Dialog units to pixels, by the dialog font's base units.
KV_UI_API BOOL MapDialogRect(HWND dialog, LPRECT rect);

// The wait cursor: a count; the display shows the busy pointer while it is
// above zero.
KV_UI_API void BeginWaitCursor();
KV_UI_API void EndWaitCursor();
