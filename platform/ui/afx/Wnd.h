// The thin class layer over windows: CWnd and the control wrappers, as the
// console's pages and dialogs are written against them.
//
// A CWnd is attached to at most one window. A window created through a CWnd
// (a CDialog, a page, a sheet) or subclassed by one sends its messages to
// WindowProc first; Default() passes them on to the window's own procedure.
// Handlers are the virtuals below, or a small message map filled with
// OnCommandFrom / OnNotifyFrom / OnMessage (usually in the constructor).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/UiExport.h"
#include "platform/ui/WinUser.h"

class CDataExchange;
namespace kv::ui::detail {
struct ClassLayer;
}

class KV_UI_API CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The CWnd attached to the window, or a wrapper that lives as long as the
    // window (as MFC's temporary objects do); null for no window.
    static CWnd* FromHandle(HWND window);
    static CWnd* FromHandlePermanent(HWND window);
    BOOL Attach(HWND window);
    HWND Detach();
    // Routes the window's messages through this object's WindowProc.
    BOOL SubclassWindow(HWND window);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    BOOL DestroyWindow();
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    void SetWindowText(LPCSTR text);
    int GetWindowText(LPSTR buffer, int size) const;
    void GetWindowText(std::string& text) const;
    std::string GetWindowText() const;
    int GetWindowTextLength() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* GetParent() const;
    CWnd* GetOwner() const;
    int GetDlgCtrlID() const;
    DWORD GetStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add);
    void BringWindowToTop();
    BOOL SetForegroundWindow();
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void GetWindowRect(LPRECT rect) const;
    void GetClientRect(LPRECT rect) const;
    void Invalidate(BOOL erase = TRUE);
    void UpdateWindow();
    void SetRedraw(BOOL redraw = TRUE);

    CWnd* GetDlgItem(int id) const;
    void GetDlgItem(int id, HWND* window) const;
    void SetDlgItemText(int id, LPCSTR text);
    int GetDlgItemText(int id, LPSTR buffer, int size) const;
    int GetDlgItemText(int id, std::string& text) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    // The id of the checked radio button between the two ids, 0 when none.
    int GetCheckedRadioButton(int firstId, int lastId) const;

    // The message box of the UI (or of the log, without a display) owned by
    // this window's top-level window.
    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);

    void BeginWaitCursor();
    void EndWaitCursor();
    void RestoreWaitCursor() {}

    // Data exchange between controls and members (DoDataExchange); FALSE when
    // a validation refused.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The message map.
    void OnCommandFrom(int id, UINT code, std::function<void()> handler);
    void OnNotifyFrom(int id, UINT code, std::function<void(NMHDR*, LRESULT*)> handler);
    void OnMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler);

    // Called on the window's thread with every message of a window attached
    // through creation or subclassing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    // Control notifications: WM_COMMAND and WM_NOTIFY, after the message map.
    // TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void DoDataExchange(CDataExchange* dx);
    // After the window is gone (WM_NCDESTROY); an object that deletes itself
    // does it here.
    virtual void PostNcDestroy();
    // The window's own procedure for the current message.
    LRESULT Default();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;

private:
    friend struct kv::ui::detail::ClassLayer;
    // A wrapper made by FromHandle leaves the window alone when it goes.
    bool m_ownsWindow = true;
    std::map<std::pair<int, UINT>, std::function<void()>> m_commands;
    std::map<std::pair<int, UINT>, std::function<void(NMHDR*, LRESULT*)>> m_notifies;
    std::map<UINT, std::function<LRESULT(WPARAM, LPARAM)>> m_messages;
};

// Message boxes with the program's caption (the module's name when none is set).
KV_UI_API int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
KV_UI_API int AfxMessageBox(UINT stringId, UINT type = MB_OK, UINT helpId = 0);
// The module whose templates and strings CDialog, CPropertyPage and
// AfxMessageBox(UINT) use: a snap-in sets its own at start-up.
KV_UI_API HINSTANCE AfxGetResourceHandle();
KV_UI_API void AfxSetResourceHandle(HINSTANCE module);
KV_UI_API void AfxSetAppName(LPCSTR name);

// The wait cursor for the life of the object.
class KV_UI_API CWaitCursor {
public:
    CWaitCursor() { ::BeginWaitCursor(); }
    ~CWaitCursor() { ::EndWaitCursor(); }
    void Restore() {}
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// ---- Control wrappers: the messages of each control as calls ---------------

class KV_UI_API CStatic : public CWnd {};

class KV_UI_API CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

class KV_UI_API CEdit : public CWnd {
public:
    void SetLimitText(UINT max) { SendMessage(EM_LIMITTEXT, max); }
    void LimitText(int max = 0) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(max)); }
    UINT GetLimitText() const { return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT)); }
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return static_cast<BOOL>(SendMessage(EM_SETREADONLY, readOnly)); }
    BOOL GetModify() const { return static_cast<BOOL>(SendMessage(EM_GETMODIFY)); }
    void SetModify(BOOL modified = TRUE) { SendMessage(EM_SETMODIFY, modified); }
};

class KV_UI_API CSpinButtonCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) { SendMessage(UDM_SETRANGE, 0, MAKELPARAM(upper, lower)); }
    void SetRange32(int lower, int upper) { SendMessage(UDM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    void GetRange32(int& lower, int& upper) const {
        SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
    }
    int SetPos(int pos) { return static_cast<int>(SendMessage(UDM_SETPOS32, 0, pos)); }
    int GetPos() const { return static_cast<int>(SendMessage(UDM_GETPOS32)); }
    int SetPos32(int pos) { return SetPos(pos); }
    int GetPos32() const { return GetPos(); }
    CWnd* SetBuddy(CWnd* buddy) {
        return CWnd::FromHandle(reinterpret_cast<HWND>(
            SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy != nullptr ? buddy->m_hWnd : nullptr))));
    }
    CWnd* GetBuddy() const { return CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(UDM_GETBUDDY))); }
};

class KV_UI_API CDateTimeCtrl : public CWnd {
public:
    BOOL SetTime(const SYSTEMTIME* time) {
        return static_cast<BOOL>(SendMessage(DTM_SETSYSTEMTIME, time != nullptr ? GDT_VALID : GDT_NONE,
                                             reinterpret_cast<LPARAM>(time)));
    }
    DWORD GetTime(SYSTEMTIME* time) const {
        return static_cast<DWORD>(SendMessage(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(time)));
    }
    BOOL SetFormat(LPCSTR format) { return static_cast<BOOL>(SendMessage(DTM_SETFORMAT, 0, reinterpret_cast<LPARAM>(format))); }
};

class KV_UI_API CAnimateCtrl : public CWnd {
public:
    BOOL Open(UINT resourceId) { return Animate_Open(m_hWnd, MAKEINTRESOURCE(resourceId)); }
    BOOL Open(LPCSTR name) { return Animate_Open(m_hWnd, name); }
    BOOL Play(UINT from = 0, UINT to = static_cast<UINT>(-1), UINT repeat = static_cast<UINT>(-1)) {
        return Animate_Play(m_hWnd, from, to, repeat);
    }
    BOOL Stop() { return Animate_Stop(m_hWnd); }
    BOOL Close() { return Animate_Close(m_hWnd); }
};

class KV_UI_API CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    HIMAGELIST m_hImageList = nullptr;
    operator HIMAGELIST() const { return m_hImageList; }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow) {
        DeleteImageList();
        m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
        return m_hImageList != nullptr;
    }
    BOOL Attach(HIMAGELIST list) {
        m_hImageList = list;
        return TRUE;
    }
    HIMAGELIST Detach() { return std::exchange(m_hImageList, nullptr); }
    BOOL DeleteImageList() {
        if (m_hImageList == nullptr) return FALSE;
        return ImageList_Destroy(std::exchange(m_hImageList, nullptr));
    }
    int Add(LPCSTR name) { return ImageList_AddNamed(m_hImageList, name); }
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    BOOL Remove(int index) { return ImageList_Remove(m_hImageList, index); }
};

class KV_UI_API CListCtrl : public CWnd {
public:
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertColumn(int column, LPCSTR heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
    BOOL DeleteColumn(int column) { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(column))); }
    BOOL SetColumnWidth(int column, int width) {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), width));
    }
    int InsertItem(const LVITEM* item) { return static_cast<int>(SendMessage(LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(item))); }
    int InsertItem(int index, LPCSTR text);
    int InsertItem(int index, LPCSTR text, int image);
    BOOL SetItem(const LVITEM* item) { return static_cast<BOOL>(SendMessage(LVM_SETITEM, 0, reinterpret_cast<LPARAM>(item))); }
    BOOL GetItem(LVITEM* item) const { return static_cast<BOOL>(SendMessage(LVM_GETITEM, 0, reinterpret_cast<LPARAM>(item))); }
    BOOL SetItemText(int item, int subItem, LPCSTR text);
    std::string GetItemText(int item, int subItem) const;
    int GetItemText(int item, int subItem, LPSTR buffer, int size) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
    }
    BOOL DeleteItem(int item) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item))); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int GetNextItem(int start, int flags) const {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), flags));
    }
    UINT GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    int FindItem(LVFINDINFO* find, int start = -1) const {
        return static_cast<int>(SendMessage(LVM_FINDITEM, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(find)));
    }
    HIMAGELIST SetImageList(HIMAGELIST list, int which) {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
    }
    CImageList* SetImageList(CImageList* list, int which);
    HIMAGELIST GetImageList(int which) const {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(which)));
    }
    DWORD SetExtendedStyle(DWORD style) { return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style)); }
    BOOL EnsureVisible(int item, BOOL partialOk) {
        return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOk));
    }
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
        return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, data, reinterpret_cast<LPARAM>(compare)));
    }
    BOOL RedrawItems(int first, int last) {
        return static_cast<BOOL>(SendMessage(LVM_REDRAWITEMS, static_cast<WPARAM>(first), last));
    }
    UINT SetCallbackMask(UINT mask) { return static_cast<UINT>(SendMessage(LVM_SETCALLBACKMASK, mask)); }
};
