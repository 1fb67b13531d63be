// The common controls: image lists, list view, up-down, date-time picker,
// animation, and the property-sheet notifications.
//
// An image here is a named icon, not a bitmap: an icon-theme name such as
// "folder" or "text-x-generic", or the address of a picture among a
// module's res:// resources ("res://" + module path + "/" + name), which the
// host serves as it serves the module's res:// pages. The display draws it.
#pragma once

#include "platform/system/SystemInfo.h"
#include "platform/ui/WinUser.h"

#define WC_LISTVIEW "SysListView32"
#define UPDOWN_CLASS "msctls_updown32"
#define DATETIMEPICK_CLASS "SysDateTimePick32"
#define ANIMATE_CLASS "SysAnimate32"

#define CCM_FIRST 0x2000
#define CCM_SETUNICODEFORMAT (CCM_FIRST + 5)

// Notification codes of every common control.
#define NM_FIRST 0u
#define NM_CLICK (NM_FIRST - 2)
#define NM_DBLCLK (NM_FIRST - 3)
#define NM_RETURN (NM_FIRST - 4)
#define NM_RCLICK (NM_FIRST - 5)
#define NM_SETFOCUS (NM_FIRST - 7)
#define NM_KILLFOCUS (NM_FIRST - 8)

// ---- Image lists ----------------------------------------------------------

struct KvImageList;
typedef KvImageList* HIMAGELIST;

#define ILC_MASK 0x0001u
#define ILC_COLOR 0x0000u
#define ILC_COLOR32 0x0020u
#define CLR_NONE 0xFFFFFFFFu

KV_UI_API HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
KV_UI_API BOOL ImageList_Destroy(HIMAGELIST list);
KV_UI_API int ImageList_GetImageCount(HIMAGELIST list);
// Appends an image by name (see above); returns its index, -1 on failure.
KV_UI_API int ImageList_AddNamed(HIMAGELIST list, LPCSTR name);
// Replaces image `index`, or appends when index is -1.
KV_UI_API int ImageList_ReplaceNamed(HIMAGELIST list, int index, LPCSTR name);
KV_UI_API BOOL ImageList_Remove(HIMAGELIST list, int index);  // -1 removes all
// The name of an image; empty when there is none.
KV_UI_API int ImageList_GetName(HIMAGELIST list, int index, LPSTR buffer, int size);
KV_UI_API BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);

// ---- List view ------------------------------------------------------------

#define LVS_ICON 0x0000u
#define LVS_REPORT 0x0001u
#define LVS_SMALLICON 0x0002u
#define LVS_LIST 0x0003u
#define LVS_TYPEMASK 0x0003u
#define LVS_SINGLESEL 0x0004u
#define LVS_SHOWSELALWAYS 0x0008u
#define LVS_SORTASCENDING 0x0010u
#define LVS_SORTDESCENDING 0x0020u
#define LVS_SHAREIMAGELISTS 0x0040u
#define LVS_NOLABELWRAP 0x0080u
#define LVS_EDITLABELS 0x0200u
#define LVS_NOCOLUMNHEADER 0x4000u
#define LVS_NOSORTHEADER 0x8000u

#define LVS_EX_GRIDLINES 0x00000001u
#define LVS_EX_CHECKBOXES 0x00000004u
#define LVS_EX_FULLROWSELECT 0x00000020u

#define LVSIL_NORMAL 0
#define LVSIL_SMALL 1
#define LVSIL_STATE 2

#define LVIF_TEXT 0x0001u
#define LVIF_IMAGE 0x0002u
#define LVIF_PARAM 0x0004u
#define LVIF_STATE 0x0008u
#define LVIF_INDENT 0x0010u
#define LVIF_NORECOMPUTE 0x0800u
#define LVIF_DI_SETITEM 0x1000u

#define LVIS_FOCUSED 0x0001u
#define LVIS_SELECTED 0x0002u
#define LVIS_CUT 0x0004u
#define LVIS_DROPHILITED 0x0008u
#define LVIS_OVERLAYMASK 0x0F00u
#define LVIS_STATEIMAGEMASK 0xF000u
#define INDEXTOSTATEIMAGEMASK(i) ((UINT)(i) << 12)
#define STATEIMAGEMASKTOINDEX(s) (((UINT)(s) & LVIS_STATEIMAGEMASK) >> 12)

// Items whose text or image the parent supplies when asked (LVN_GETDISPINFO).
#define LPSTR_TEXTCALLBACK ((LPSTR)(intptr_t)-1)
#define I_IMAGECALLBACK (-1)

#define LVNI_ALL 0x0000u
#define LVNI_FOCUSED 0x0001u
#define LVNI_SELECTED 0x0002u
#define LVNI_ABOVE 0x0100u
#define LVNI_BELOW 0x0200u

#define LVFI_PARAM 0x0001u
#define LVFI_STRING 0x0002u
#define LVFI_PARTIAL 0x0008u

#define LVCF_FMT 0x0001u
#define LVCF_WIDTH 0x0002u
#define LVCF_TEXT 0x0004u
#define LVCF_SUBITEM 0x0008u
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002

#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)

#define LVHT_NOWHERE 0x0001u
#define LVHT_ONITEMICON 0x0002u
#define LVHT_ONITEMLABEL 0x0004u
#define LVHT_ONITEMSTATEICON 0x0008u
#define LVHT_ONITEM (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)

#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2

struct LVITEMA {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
};
typedef LVITEMA LVITEM;
typedef LVITEM* LPLVITEM;

struct LVCOLUMNA {
    UINT mask;
    int fmt;
    int cx;
    LPSTR pszText;
    int cchTextMax;
    int iSubItem;
};
typedef LVCOLUMNA LVCOLUMN;
typedef LVCOLUMN* LPLVCOLUMN;

struct LVFINDINFOA {
    UINT flags;
    LPCSTR psz;
    LPARAM lParam;
    POINT pt;
    UINT vkDirection;
};
typedef LVFINDINFOA LVFINDINFO;

struct LVHITTESTINFO {
    POINT pt;
    UINT flags;
    int iItem;
    int iSubItem;
};

typedef int (*PFNLVCOMPARE)(LPARAM, LPARAM, LPARAM);

#define LVM_FIRST 0x1000
#define LVM_SETBKCOLOR (LVM_FIRST + 1)
#define LVM_GETIMAGELIST (LVM_FIRST + 2)
#define LVM_SETIMAGELIST (LVM_FIRST + 3)
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_GETITEM (LVM_FIRST + 5)
#define LVM_SETITEM (LVM_FIRST + 6)
#define LVM_INSERTITEM (LVM_FIRST + 7)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETCALLBACKMASK (LVM_FIRST + 10)
#define LVM_SETCALLBACKMASK (LVM_FIRST + 11)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_FINDITEM (LVM_FIRST + 13)
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_HITTEST (LVM_FIRST + 18)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_REDRAWITEMS (LVM_FIRST + 21)
#define LVM_GETCOLUMN (LVM_FIRST + 25)
#define LVM_SETCOLUMN (LVM_FIRST + 26)
#define LVM_INSERTCOLUMN (LVM_FIRST + 27)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_UPDATE (LVM_FIRST + 42)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETITEMTEXT (LVM_FIRST + 45)
#define LVM_SETITEMTEXT (LVM_FIRST + 46)
#define LVM_SETITEMCOUNT (LVM_FIRST + 47)
#define LVM_SORTITEMS (LVM_FIRST + 48)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_SUBITEMHITTEST (LVM_FIRST + 57)
#define LVM_SETSELECTIONMARK (LVM_FIRST + 67)
#define LVM_GETSELECTIONMARK (LVM_FIRST + 66)

#define LVN_FIRST (0u - 100u)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#define LVN_INSERTITEM (LVN_FIRST - 2)
#define LVN_DELETEITEM (LVN_FIRST - 3)
#define LVN_DELETEALLITEMS (LVN_FIRST - 4)
#define LVN_COLUMNCLICK (LVN_FIRST - 8)
#define LVN_ITEMACTIVATE (LVN_FIRST - 14)
#define LVN_GETDISPINFO (LVN_FIRST - 50)
#define LVN_SETDISPINFO (LVN_FIRST - 51)
#define LVN_KEYDOWN (LVN_FIRST - 55)

struct NMLISTVIEW {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
};
typedef NMLISTVIEW* LPNMLISTVIEW;

#define LVKF_ALT 0x0001u
#define LVKF_CONTROL 0x0002u
#define LVKF_SHIFT 0x0004u

struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
    UINT uKeyFlags;
};
typedef NMITEMACTIVATE* LPNMITEMACTIVATE;

struct NMLVKEYDOWN {
    NMHDR hdr;
    WORD wVKey;
    UINT flags;
};
typedef NMLVKEYDOWN* LPNMLVKEYDOWN;

struct NMLVDISPINFOA {
    NMHDR hdr;
    LVITEMA item;
};
typedef NMLVDISPINFOA NMLVDISPINFO;
typedef NMLVDISPINFOA LV_DISPINFO;

// The list view's message wrappers, as the common controls' header has them
// (functions here, so that a caller may ignore what they answer).
inline HIMAGELIST ListView_SetImageList(HWND w, HIMAGELIST list, int which) {
    return reinterpret_cast<HIMAGELIST>(SendMessage(w, LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
}
inline HIMAGELIST ListView_GetImageList(HWND w, int which) {
    return reinterpret_cast<HIMAGELIST>(SendMessage(w, LVM_GETIMAGELIST, static_cast<WPARAM>(which), 0));
}
inline int ListView_GetItemCount(HWND w) { return static_cast<int>(SendMessage(w, LVM_GETITEMCOUNT, 0, 0)); }
inline BOOL ListView_GetItem(HWND w, LVITEMA* item) { return static_cast<BOOL>(SendMessage(w, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(item))); }
inline BOOL ListView_SetItem(HWND w, const LVITEMA* item) { return static_cast<BOOL>(SendMessage(w, LVM_SETITEM, 0, reinterpret_cast<LPARAM>(item))); }
inline int ListView_InsertItem(HWND w, const LVITEMA* item) { return static_cast<int>(SendMessage(w, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(item))); }
inline BOOL ListView_DeleteItem(HWND w, int i) { return static_cast<BOOL>(SendMessage(w, LVM_DELETEITEM, static_cast<WPARAM>(i), 0)); }
inline int ListView_GetNextItem(HWND w, int i, UINT flags) {
    return static_cast<int>(SendMessage(w, LVM_GETNEXTITEM, static_cast<WPARAM>(i), MAKELPARAM(flags, 0)));
}
inline BOOL ListView_GetItemRect(HWND w, int i, RECT* rect, int code) {
    if (rect == nullptr) return FALSE;
    rect->left = code;
    return static_cast<BOOL>(SendMessage(w, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(rect)));
}
inline int ListView_HitTest(HWND w, LVHITTESTINFO* info) { return static_cast<int>(SendMessage(w, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(info))); }
inline int ListView_SubItemHitTest(HWND w, LVHITTESTINFO* info) {
    return static_cast<int>(SendMessage(w, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(info)));
}
inline BOOL ListView_RedrawItems(HWND w, int first, int last) {
    return static_cast<BOOL>(SendMessage(w, LVM_REDRAWITEMS, static_cast<WPARAM>(first), static_cast<LPARAM>(last)));
}
inline BOOL ListView_Update(HWND w, int i) { return static_cast<BOOL>(SendMessage(w, LVM_UPDATE, static_cast<WPARAM>(i), 0)); }
inline UINT ListView_GetItemState(HWND w, int i, UINT mask) {
    return static_cast<UINT>(SendMessage(w, LVM_GETITEMSTATE, static_cast<WPARAM>(i), static_cast<LPARAM>(mask)));
}
inline UINT ListView_GetSelectedCount(HWND w) { return static_cast<UINT>(SendMessage(w, LVM_GETSELECTEDCOUNT, 0, 0)); }
inline void ListView_SetItemState(HWND w, int i, UINT state, UINT mask) {
    LVITEMA item{};
    item.stateMask = mask;
    item.state = state;
    SendMessage(w, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
}

// ---- Up-down ----------------------------------------------------------------

#define UDS_WRAP 0x0001u
#define UDS_SETBUDDYINT 0x0002u
#define UDS_ALIGNRIGHT 0x0004u
#define UDS_ALIGNLEFT 0x0008u
#define UDS_AUTOBUDDY 0x0010u
#define UDS_ARROWKEYS 0x0020u
#define UDS_HORZ 0x0040u
#define UDS_NOTHOUSANDS 0x0080u

#define UDM_SETRANGE (WM_USER + 101)
#define UDM_GETRANGE (WM_USER + 102)
#define UDM_SETPOS (WM_USER + 103)
#define UDM_GETPOS (WM_USER + 104)
#define UDM_SETBUDDY (WM_USER + 105)
#define UDM_GETBUDDY (WM_USER + 106)
#define UDM_SETRANGE32 (WM_USER + 111)
#define UDM_GETRANGE32 (WM_USER + 112)
#define UDM_SETPOS32 (WM_USER + 113)
#define UDM_GETPOS32 (WM_USER + 114)

#define UDN_FIRST (0u - 721u)
#define UDN_DELTAPOS (UDN_FIRST - 1)

struct NMUPDOWN {
    NMHDR hdr;
    int iPos;
    int iDelta;
};
typedef NMUPDOWN* LPNMUPDOWN;

// ---- Date-time picker -----------------------------------------------------

#define DTS_UPDOWN 0x0001u
#define DTS_SHOWNONE 0x0002u
#define DTS_SHORTDATEFORMAT 0x0000u
#define DTS_LONGDATEFORMAT 0x0004u
#define DTS_TIMEFORMAT 0x0009u

#define GDT_ERROR (-1)
#define GDT_VALID 0
#define GDT_NONE 1

#define DTM_FIRST 0x1000
#define DTM_GETSYSTEMTIME (DTM_FIRST + 1)
#define DTM_SETSYSTEMTIME (DTM_FIRST + 2)
#define DTM_GETRANGE (DTM_FIRST + 3)
#define DTM_SETRANGE (DTM_FIRST + 4)
#define DTM_SETFORMAT (DTM_FIRST + 5)

#define DTN_FIRST (0u - 760u)
#define DTN_DATETIMECHANGE (DTN_FIRST + 1)

struct NMDATETIMECHANGE {
    NMHDR nmhdr;
    DWORD dwFlags;
    SYSTEMTIME st;
};
typedef NMDATETIMECHANGE* LPNMDATETIMECHANGE;

// ---- Animation --------------------------------------------------------------

#define ACS_CENTER 0x0001u
#define ACS_TRANSPARENT 0x0002u
#define ACS_AUTOPLAY 0x0004u
#define ACS_TIMER 0x0008u

// ACM_OPEN: lParam names the clip, a resource id (MAKEINTRESOURCE) or a text;
// a null lParam closes it.
#define ACM_OPEN (WM_USER + 100)
#define ACM_PLAY (WM_USER + 101)
#define ACM_STOP (WM_USER + 102)
#define ACM_ISPLAYING (WM_USER + 104)
#define ACN_START 1
#define ACN_STOP 2

#define Animate_Open(hwnd, name) ((BOOL)::SendMessage((hwnd), ACM_OPEN, 0, (LPARAM)(name)))
#define Animate_Play(hwnd, from, to, rep) \
    ((BOOL)::SendMessage((hwnd), ACM_PLAY, (WPARAM)(rep), (LPARAM)MAKELONG(from, to)))
#define Animate_Stop(hwnd) ((BOOL)::SendMessage((hwnd), ACM_STOP, 0, 0))
#define Animate_Close(hwnd) Animate_Open(hwnd, nullptr)

// ---- Property sheets --------------------------------------------------------

#define PSN_FIRST (0u - 200u)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)

#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

struct PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam;  // for PSN_APPLY: TRUE when the sheet closes (OK)
};
typedef PSHNOTIFY* LPPSHNOTIFY;

#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_SETTITLE (WM_USER + 111)
#define PSM_PRESSBUTTON (WM_USER + 113)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)

#define PSBTN_OK 1
#define PSBTN_APPLYNOW 2
#define PSBTN_CANCEL 3

// The ids of the sheet's own buttons (OK and Cancel are IDOK and IDCANCEL).
#define ID_APPLY_NOW 0x3021
#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024

// A property page as sheets and sheet callbacks hand it around (CreatePropertySheetPage).
struct KvPropertyPage;
typedef KvPropertyPage* HPROPSHEETPAGE;

// The platform's common controls are always there; kept so that start-up
// code reads as it does on Windows.
struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
#define ICC_LISTVIEW_CLASSES 0x00000001u
#define ICC_UPDOWN_CLASS 0x00000010u
#define ICC_DATE_CLASSES 0x00000100u
#define ICC_ANIMATE_CLASS 0x00000080u
KV_UI_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);
