// The snap-in interfaces of the management console: what a snap-in implements
// (IComponentData, IComponent, IDataObject, IExtendContextMenu,
// IExtendPropertySheet2, ISnapinAbout) and what the console hands it
// (IConsole2/3, IConsoleNameSpace2, IResultData, IHeaderCtrl, IImageList,
// IConsoleVerb, IContextMenuCallback, IPropertySheetCallback/Provider, the
// message view), with the notifications, structures and identifiers of the
// Windows SDK. Snap-ins are written against this exactly as against mmc.h.
#pragma once

#include <cstdint>

#include "platform/com/Guid.h"
#include "platform/com/Unknown.h"
#include "platform/mmc/GlobalMemory.h"
#include "platform/text/CodePage.h"
#include "platform/win/WinTypes.h"

// ---------------------------------------------------------------------------
// Base types (the Windows spellings; repeated typedefs of the same type are
// harmless where another stand-in declares them too).
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef DWORD COLORREF;
typedef WORD CLIPFORMAT;
typedef unsigned char boolean;
struct HICON__;
typedef HICON__* HICON;
struct HBITMAP__;
typedef HBITMAP__* HBITMAP;
struct HPALETTE__;
typedef HPALETTE__* HPALETTE;
struct KvPropertyPage;
typedef KvPropertyPage* HPROPSHEETPAGE;

#ifndef RGB
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#endif
// Spelt exactly as the window manager's header spells them, so that either
// may come first.
#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((uintptr_t)(a)) & 0xffff)) | ((DWORD)((WORD)(((uintptr_t)(b)) & 0xffff))) << 16))
#ifndef DV_E_FORMATETC
#define DV_E_FORMATETC ((HRESULT)0x80040064L)
#endif
#ifndef DV_E_TYMED
#define DV_E_TYMED ((HRESULT)0x80040069L)
#endif
#ifndef DV_E_CLIPFORMAT
#define DV_E_CLIPFORMAT ((HRESULT)0x8004006AL)
#endif
#ifndef OLE_E_ADVISENOTSUPPORTED
#define OLE_E_ADVISENOTSUPPORTED ((HRESULT)0x80040003L)
#endif

typedef LONG_PTR MMC_COOKIE;
typedef LONG_PTR HSCOPEITEM;
typedef LONG_PTR HRESULTITEM;

// ---------------------------------------------------------------------------
// Clipboard formats: names registered once per process, numbers from 0xC000.
KV_MMC_API UINT RegisterClipboardFormatW(LPCWSTR name);
KV_MMC_API UINT RegisterClipboardFormatA(LPCSTR name);
// The name of a registered format; its length, 0 when the number is unknown.
KV_MMC_API int GetClipboardFormatNameA(UINT format, LPSTR name, int cchMax);

#define CCF_NODEID2 u"CCF_NODEID2"
#define CCF_NODETYPE u"CCF_NODETYPE"
#define CCF_SZNODETYPE u"CCF_SZNODETYPE"
#define CCF_DISPLAY_NAME u"CCF_DISPLAY_NAME"
#define CCF_SNAPIN_CLASSID u"CCF_SNAPIN_CLASSID"
#define CCF_WINDOW_TITLE u"CCF_WINDOW_TITLE"
#define CCF_MMC_MULTISELECT_DATAOBJECT u"CCF_MMC_MULTISELECT_DATAOBJECT"
#define CCF_MULTI_SELECT_SNAPINS u"CCF_MULTI_SELECT_SNAPINS"
#define CCF_OBJECT_TYPES_IN_MULTI_SELECT u"CCF_OBJECT_TYPES_IN_MULTI_SELECT"
#define CCF_COLUMN_SET_ID u"CCF_COLUMN_SET_ID"

// ---------------------------------------------------------------------------
// Uniform data transfer (objidl.h).
#define TYMED_NULL 0u
#define TYMED_HGLOBAL 1u
#define TYMED_FILE 2u
#define TYMED_ISTREAM 4u
#define TYMED_ISTORAGE 8u
#define DVASPECT_CONTENT 1u

typedef struct tagFORMATETC {
    CLIPFORMAT cfFormat;
    void* ptd;  // target device: always null here
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
} FORMATETC, *LPFORMATETC;

typedef struct tagSTGMEDIUM {
    DWORD tymed;
    union {
        HGLOBAL hGlobal;
        LPOLESTR lpszFileName;
        IStream* pstm;
    };
    IUnknown* pUnkForRelease;
} STGMEDIUM, *LPSTGMEDIUM;

// Frees the medium's contents as its type demands (or releases
// pUnkForRelease, which owns them).
KV_MMC_API void ReleaseStgMedium(LPSTGMEDIUM medium);

struct IEnumFORMATETC;
struct IAdviseSink;
struct IEnumSTATDATA;

// {0000010E-0000-0000-C000-000000000046}
inline constexpr IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IDataObject : IUnknown {
    // The callee allocates the medium (the caller releases it).
    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) PURE;
    // The caller allocates the medium (an HGLOBAL); the callee writes into it,
    // usually through CreateStreamOnHGlobal.
    STDMETHOD(GetDataHere)(FORMATETC* format, STGMEDIUM* medium) PURE;
    STDMETHOD(QueryGetData)(FORMATETC* format) PURE;
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* in, FORMATETC* out) PURE;
    STDMETHOD(SetData)(FORMATETC* format, STGMEDIUM* medium, BOOL release) PURE;
    STDMETHOD(EnumFormatEtc)(DWORD direction, IEnumFORMATETC** enumerator) PURE;
    STDMETHOD(DAdvise)(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) PURE;
    STDMETHOD(DUnadvise)(DWORD connection) PURE;
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA** enumerator) PURE;
};
typedef IDataObject* LPDATAOBJECT;

// ---------------------------------------------------------------------------
// Notifications and enumerations (mmc.h).
typedef enum _MMC_NOTIFY_TYPE {
    MMCN_ACTIVATE = 0x8001,
    MMCN_ADD_IMAGES = 0x8002,
    MMCN_BTN_CLICK = 0x8003,
    MMCN_CLICK = 0x8004,
    MMCN_COLUMN_CLICK = 0x8005,
    MMCN_CONTEXTMENU = 0x8006,
    MMCN_CUTORMOVE = 0x8007,
    MMCN_DBLCLICK = 0x8008,
    MMCN_DELETE = 0x8009,
    MMCN_DESELECT_ALL = 0x800A,
    MMCN_EXPAND = 0x800B,
    MMCN_HELP = 0x800C,
    MMCN_MENU_BTNCLICK = 0x800D,
    MMCN_MINIMIZED = 0x800E,
    MMCN_PASTE = 0x800F,
    MMCN_PROPERTY_CHANGE = 0x8010,
    MMCN_QUERY_PASTE = 0x8011,
    MMCN_REFRESH = 0x8012,
    MMCN_REMOVE_CHILDREN = 0x8013,
    MMCN_RENAME = 0x8014,
    MMCN_SELECT = 0x8015,
    MMCN_SHOW = 0x8016,
    MMCN_VIEW_CHANGE = 0x8017,
    MMCN_SNAPINHELP = 0x8018,
    MMCN_CONTEXTHELP = 0x8019,
    MMCN_INITOCX = 0x801A,
    MMCN_FILTER_CHANGE = 0x801B,
    MMCN_FILTERBTN_CLICK = 0x801C,
    MMCN_RESTORE_VIEW = 0x801D,
    MMCN_PRINT = 0x801E,
    MMCN_PRELOAD = 0x801F,
    MMCN_LISTPAD = 0x8020,
    MMCN_EXPANDSYNC = 0x8021,
    MMCN_COLUMNS_CHANGED = 0x8022,
    MMCN_CANPASTE_OUTOFPROC = 0x8023,
} MMC_NOTIFY_TYPE;

typedef enum _DATA_OBJECT_TYPES {
    CCT_SCOPE = 0x8000,
    CCT_RESULT = 0x8001,
    CCT_SNAPIN_MANAGER = 0x8002,
    CCT_UNINITIALIZED = 0xFFFF,
} DATA_OBJECT_TYPES;

typedef enum _MMC_CONSOLE_VERB {
    MMC_VERB_NONE = 0x0000,
    MMC_VERB_OPEN = 0x8000,
    MMC_VERB_COPY = 0x8001,
    MMC_VERB_PASTE = 0x8002,
    MMC_VERB_DELETE = 0x8003,
    MMC_VERB_PROPERTIES = 0x8004,
    MMC_VERB_RENAME = 0x8005,
    MMC_VERB_REFRESH = 0x8006,
    MMC_VERB_PRINT = 0x8007,
    MMC_VERB_CUT = 0x8008,
} MMC_CONSOLE_VERB;

typedef enum _MMC_BUTTON_STATE {
    ENABLED = 0x1,
    CHECKED = 0x2,
    HIDDEN = 0x4,
    INDETERMINATE = 0x8,
    BUTTONPRESSED = 0x10,
} MMC_BUTTON_STATE;

typedef enum _MMC_RESULT_VIEW_STYLE {
    MMC_SINGLESEL = 0x1,
    MMC_SHOWSELALWAYS = 0x2,
    MMC_NOSORTHEADER = 0x4,
    MMC_ENSUREFOCUSVISIBLE = 0x8,
} MMC_RESULT_VIEW_STYLE;

#define MMC_VIEW_OPTIONS_NONE 0x0
#define MMC_VIEW_OPTIONS_NOLISTVIEWS 0x1
#define MMC_VIEW_OPTIONS_MULTISELECT 0x2
#define MMC_VIEW_OPTIONS_OWNERDATALIST 0x4
#define MMC_VIEW_OPTIONS_FILTERED 0x8
#define MMC_VIEW_OPTIONS_CREATENEW 0x10
#define MMC_VIEW_OPTIONS_USEFONTLINKING 0x20
#define MMC_VIEW_OPTIONS_EXCLUDE_SCOPE_ITEMS_FROM_LIST 0x40
#define MMC_VIEW_OPTIONS_LEXICAL_SORT 0x80

#define MMC_MULTI_SELECT_COOKIE ((MMC_COOKIE)-2)
#define MMC_WINDOW_COOKIE ((MMC_COOKIE)-3)
#define MMC_CALLBACK ((LPOLESTR)(LONG_PTR)-1)
#define MMC_TEXTCALLBACK MMC_CALLBACK
#define MMC_IMAGECALLBACK (-1)

#define MMCLV_AUTO (-1)
#define MMCLV_NOPARAM (-2)
#define MMCLV_NOICON (-1)
#define MMCLV_VIEWSTYLE_ICON 0
#define MMCLV_VIEWSTYLE_SMALLICON 2
#define MMCLV_VIEWSTYLE_LIST 3
#define MMCLV_VIEWSTYLE_REPORT 1
#define MMCLV_VIEWSTYLE_FILTERED 4
#define MMCLV_NOPTR 0x0
#define MMCLV_UPDATE_NOINVALIDATEALL 0x1
#define MMCLV_UPDATE_NOSCROLL 0x2
#define HDI_HIDDEN 0x1

// Spelt as the common controls' header spells them.
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVIS_FOCUSED 0x0001u
#define LVIS_SELECTED 0x0002u
#define LVIS_CUT 0x0004u
#define LVIS_DROPHILITED 0x0008u
#define LVIS_OVERLAYMASK 0x0F00u
#define LVIS_STATEIMAGEMASK 0xF000u
#define INDEXTOSTATEIMAGEMASK(i) ((UINT)(i) << 12)
#ifndef RSI_DESCENDING
#define RSI_DESCENDING 0x0001
#define RSI_NOSORTICON 0x0002
#endif

// ---------------------------------------------------------------------------
// Scope and result items.
#define SDI_STR 0x00002
#define SDI_IMAGE 0x00004
#define SDI_OPENIMAGE 0x00008
#define SDI_STATE 0x00010
#define SDI_PARAM 0x00020
#define SDI_CHILDREN 0x00040
#define SDI_PARENT 0x00000000
#define SDI_PREVIOUS 0x10000000
#define SDI_NEXT 0x20000000
#define SDI_FIRST 0x08000000

typedef struct _SCOPEDATAITEM {
    DWORD mask;
    LPOLESTR displayname;
    int nImage;
    int nOpenImage;
    UINT nState;
    int cChildren;
    LPARAM lParam;
    HSCOPEITEM relativeID;
    HSCOPEITEM ID;
} SCOPEDATAITEM, *LPSCOPEDATAITEM;

// Scope item states.
#define MMC_SCOPE_ITEM_STATE_NORMAL 0x1
#define MMC_SCOPE_ITEM_STATE_BOLD 0x2
#define MMC_SCOPE_ITEM_STATE_EXPANDEDONCE 0x3

#define RDI_STR 0x0002
#define RDI_IMAGE 0x0004
#define RDI_STATE 0x0008
#define RDI_PARAM 0x0010
#define RDI_INDEX 0x0020
#define RDI_INDENT 0x0040

typedef struct _RESULTDATAITEM {
    DWORD mask;
    BOOL bScopeItem;
    HRESULTITEM itemID;
    int nIndex;
    int nCol;
    LPOLESTR str;
    int nImage;
    UINT nState;
    LPARAM lParam;
    int iIndent;
} RESULTDATAITEM, *LPRESULTDATAITEM;

#define RFI_PARTIAL 0x0001
#define RFI_WRAP 0x0002

// ---------------------------------------------------------------------------
// Context menus.
#define CCM_INSERTIONPOINTID_MASK_SPECIAL 0xFFFF0000
#define CCM_INSERTIONPOINTID_MASK_SHARED 0x80000000
#define CCM_INSERTIONPOINTID_MASK_CREATE_PRIMARY 0x40000000
#define CCM_INSERTIONPOINTID_MASK_ADD_PRIMARY 0x20000000
#define CCM_INSERTIONPOINTID_MASK_ADD_3RDPARTY 0x10000000
#define CCM_INSERTIONPOINTID_MASK_RESERVED 0x0FFF0000
#define CCM_INSERTIONPOINTID_MASK_FLAGINDEX 0x0000001F
#define CCM_INSERTIONPOINTID_PRIMARY_TOP ((LONG)0xA0000000)
#define CCM_INSERTIONPOINTID_PRIMARY_NEW ((LONG)0xA0000001)
#define CCM_INSERTIONPOINTID_PRIMARY_TASK ((LONG)0xA0000002)
#define CCM_INSERTIONPOINTID_PRIMARY_VIEW ((LONG)0xA0000003)
#define CCM_INSERTIONPOINTID_PRIMARY_HELP ((LONG)0xA0000004)
#define CCM_INSERTIONPOINTID_3RDPARTY_NEW ((LONG)0x90000001)
#define CCM_INSERTIONPOINTID_3RDPARTY_TASK ((LONG)0x90000002)
#define CCM_INSERTIONPOINTID_ROOT_MENU ((LONG)0x80000000)

#define CCM_INSERTIONALLOWED_TOP 0x1
#define CCM_INSERTIONALLOWED_NEW 0x2
#define CCM_INSERTIONALLOWED_TASK 0x4
#define CCM_INSERTIONALLOWED_VIEW 0x8

#define CCM_COMMANDID_MASK_RESERVED 0xFFFF0000

#define CCM_SPECIAL_SEPARATOR 0x0001
#define CCM_SPECIAL_SUBMENU 0x0002
#define CCM_SPECIAL_DEFAULT_ITEM 0x0004
#define CCM_SPECIAL_INSERTION_POINT 0x0008
#define CCM_SPECIAL_TESTONLY 0x0010

#ifndef MF_STRING
#define MF_ENABLED 0x0000
#define MF_STRING 0x0000
#define MF_UNCHECKED 0x0000
#define MF_GRAYED 0x0001
#define MF_DISABLED 0x0002
#define MF_CHECKED 0x0008
#define MF_POPUP 0x0010
#define MF_MENUBARBREAK 0x0020
#define MF_MENUBREAK 0x0040
#define MF_SEPARATOR 0x0800
#endif

typedef struct _CONTEXTMENUITEM {
    LPWSTR strName;
    LPWSTR strStatusBarText;
    LONG lCommandID;
    LONG lInsertionPointID;
    LONG fFlags;
    LONG fSpecialFlags;
} CONTEXTMENUITEM, *LPCONTEXTMENUITEM;

// ---------------------------------------------------------------------------
// Multi-selection: the console's composite data object serves
// CCF_MMC_MULTISELECT_DATAOBJECT (a DWORD, TRUE) and CCF_MULTI_SELECT_SNAPINS
// (SMMCDataObjects); a snap-in's data object for MMC_MULTI_SELECT_COOKIE
// serves CCF_OBJECT_TYPES_IN_MULTI_SELECT (SMMCObjectTypes).
typedef struct _SMMCDataObjects {
    DWORD count;
    LPDATAOBJECT lpDataObject[1];
} SMMCDataObjects;

typedef struct _SMMCObjectTypes {
    DWORD count;
    GUID guid[1];
} SMMCObjectTypes;

// Property sheet provider options.
#define MMC_PSO_NOAPPLYNOW 0x00000001
#define MMC_PSO_HASHELP 0x00000002
#define MMC_PSO_NEWWIZARDTYPE 0x00000004
#define MMC_PSO_NO_PROPTITLE 0x00000008

// IConsole::NewWindow options.
#define MMC_NW_OPTION_NONE 0x0000
#define MMC_NW_OPTION_NOSCOPEPANE 0x0001
#define MMC_NW_OPTION_NOTOOLBARS 0x0002
#define MMC_NW_OPTION_SHORTTITLE 0x0004
#define MMC_NW_OPTION_CUSTOMTITLE 0x0008
#define MMC_NW_OPTION_NOPERSIST 0x0010

// ---------------------------------------------------------------------------
// Identifiers.
// {955AB28A-5218-11D0-A985-00C04FD8D565}
inline constexpr IID IID_IComponentData = {0x955AB28A, 0x5218, 0x11D0, {0xA9, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x65}};
// {43136EB2-D36C-11CF-ADBC-00AA00A80033}
inline constexpr IID IID_IComponent = {0x43136EB2, 0xD36C, 0x11CF, {0xAD, 0xBC, 0x00, 0xAA, 0x00, 0xA8, 0x00, 0x33}};
// {43136EB1-D36C-11CF-ADBC-00AA00A80033}
inline constexpr IID IID_IConsole = {0x43136EB1, 0xD36C, 0x11CF, {0xAD, 0xBC, 0x00, 0xAA, 0x00, 0xA8, 0x00, 0x33}};
// {103D842A-AA63-11D1-A7E1-00C04FD8D565}
inline constexpr IID IID_IConsole2 = {0x103D842A, 0xAA63, 0x11D1, {0xA7, 0xE1, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x65}};
// {4F85EFDB-D0E1-498C-8D4A-D010DFDD404F}
inline constexpr IID IID_IConsole3 = {0x4F85EFDB, 0xD0E1, 0x498C, {0x8D, 0x4A, 0xD0, 0x10, 0xDF, 0xDD, 0x40, 0x4F}};
// {BEDEB620-F24D-11CF-8AFC-00AA003CA9F6}
inline constexpr IID IID_IConsoleNameSpace = {0xBEDEB620, 0xF24D, 0x11CF, {0x8A, 0xFC, 0x00, 0xAA, 0x00, 0x3C, 0xA9, 0xF6}};
// {255F18CC-65DB-11D1-A7DC-00C04FD8D565}
inline constexpr IID IID_IConsoleNameSpace2 = {0x255F18CC, 0x65DB, 0x11D1, {0xA7, 0xDC, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x65}};
// {31DA5FA0-E0EB-11CF-9F21-00AA003CA9F6}
inline constexpr IID IID_IResultData = {0x31DA5FA0, 0xE0EB, 0x11CF, {0x9F, 0x21, 0x00, 0xAA, 0x00, 0x3C, 0xA9, 0xF6}};
// {43136EB3-D36C-11CF-ADBC-00AA00A80033}
inline constexpr IID IID_IHeaderCtrl = {0x43136EB3, 0xD36C, 0x11CF, {0xAD, 0xBC, 0x00, 0xAA, 0x00, 0xA8, 0x00, 0x33}};
// {43136EB8-D36C-11CF-ADBC-00AA00A80033}
inline constexpr IID IID_IImageList = {0x43136EB8, 0xD36C, 0x11CF, {0xAD, 0xBC, 0x00, 0xAA, 0x00, 0xA8, 0x00, 0x33}};
// {E49F7A60-74AF-11D0-A286-00C04FD8FE93}
inline constexpr IID IID_IConsoleVerb = {0xE49F7A60, 0x74AF, 0x11D0, {0xA2, 0x86, 0x00, 0xC0, 0x4F, 0xD8, 0xFE, 0x93}};
// {4F3B7A4F-CFAC-11CF-B8E3-00C04FD8D5B0}
inline constexpr IID IID_IExtendContextMenu = {0x4F3B7A4F, 0xCFAC, 0x11CF, {0xB8, 0xE3, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0xB0}};
// {43136EB7-D36C-11CF-ADBC-00AA00A80033}
inline constexpr IID IID_IContextMenuCallback = {0x43136EB7, 0xD36C, 0x11CF, {0xAD, 0xBC, 0x00, 0xAA, 0x00, 0xA8, 0x00, 0x33}};
// {85DE64DC-EF21-11CF-A285-00C04FD8DBE6}
inline constexpr IID IID_IExtendPropertySheet = {0x85DE64DC, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
// {B7A87232-4A51-11D1-A7EA-00C04FD909DD}
inline constexpr IID IID_IExtendPropertySheet2 = {0xB7A87232, 0x4A51, 0x11D1, {0xA7, 0xEA, 0x00, 0xC0, 0x4F, 0xD9, 0x09, 0xDD}};
// {85DE64DD-EF21-11CF-A285-00C04FD8DBE6}
inline constexpr IID IID_IPropertySheetCallback = {0x85DE64DD, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
// {85DE64DE-EF21-11CF-A285-00C04FD8DBE6}
inline constexpr IID IID_IPropertySheetProvider = {0x85DE64DE, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
// {1245208C-A151-11D0-A7D7-00C04FD909DD}
inline constexpr IID IID_ISnapinAbout = {0x1245208C, 0xA151, 0x11D0, {0xA7, 0xD7, 0x00, 0xC0, 0x4F, 0xD9, 0x09, 0xDD}};
// {A8D2C5FE-CDCB-4B9D-BDE5-A27343FF54BC}
inline constexpr IID IID_IMMCVersionInfo = {0xA8D2C5FE, 0xCDCB, 0x4B9D, {0xBD, 0xE5, 0xA2, 0x73, 0x43, 0xFF, 0x54, 0xBC}};
// {D6FEDB1D-CF21-4BD9-AF3B-C5468E9C6684}
inline constexpr CLSID CLSID_MMCVersionInfo = {0xD6FEDB1D, 0xCF21, 0x4BD9, {0xAF, 0x3B, 0xC5, 0x46, 0x8E, 0x9C, 0x66, 0x84}};
// {547C1354-024D-11D3-A707-00C04F8EF4CB}: the column-settings interface of
// console 1.2 and later.
inline constexpr IID IID_IColumnData = {0x547C1354, 0x024D, 0x11D3, {0xA7, 0x07, 0x00, 0xC0, 0x4F, 0x8E, 0xF4, 0xCB}};
// {80F94174-FCCC-11D2-B991-00C04F8ECD78}
inline constexpr IID IID_IMessageView = {0x80F94174, 0xFCCC, 0x11D2, {0xB9, 0x91, 0x00, 0xC0, 0x4F, 0x8E, 0xCD, 0x78}};
// {80F94176-FCCC-11D2-B991-00C04F8ECD78}
inline constexpr CLSID CLSID_MessageView = {0x80F94176, 0xFCCC, 0x11D2, {0xB9, 0x91, 0x00, 0xC0, 0x4F, 0x8E, 0xCD, 0x78}};
// {43136EB5-D36C-11CF-ADBC-00AA00A80033}: the console's property sheet provider.
inline constexpr CLSID CLSID_NodeManager = {0x43136EB5, 0xD36C, 0x11CF, {0xAD, 0xBC, 0x00, 0xAA, 0x00, 0xA8, 0x00, 0x33}};

// ---------------------------------------------------------------------------
// Interfaces.
struct IConsole;
struct IComponent;
struct IHeaderCtrl;
struct IToolbar;
struct IImageList;
struct IConsoleVerb;
struct IContextMenuCallback;
struct IPropertySheetCallback;
typedef IConsole* LPCONSOLE;
typedef IComponent* LPCOMPONENT;
typedef IHeaderCtrl* LPHEADERCTRL;
typedef IToolbar* LPTOOLBAR;
typedef IImageList* LPIMAGELIST;
typedef IConsoleVerb* LPCONSOLEVERB;
typedef IContextMenuCallback* LPCONTEXTMENUCALLBACK;
typedef IPropertySheetCallback* LPPROPERTYSHEETCALLBACK;

struct IComponentData : IUnknown {
    // The unknown answers IConsole, IConsole2/3 and IConsoleNameSpace2.
    STDMETHOD(Initialize)(LPUNKNOWN console) PURE;
    STDMETHOD(CreateComponent)(LPCOMPONENT* component) PURE;
    STDMETHOD(Notify)(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) PURE;
    STDMETHOD(Destroy)() PURE;
    STDMETHOD(QueryDataObject)(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) PURE;
    STDMETHOD(GetDisplayInfo)(SCOPEDATAITEM* item) PURE;
    // S_OK when both name the same object.
    STDMETHOD(CompareObjects)(LPDATAOBJECT a, LPDATAOBJECT b) PURE;
};
typedef IComponentData* LPCOMPONENTDATA;

struct IComponent : IUnknown {
    STDMETHOD(Initialize)(LPCONSOLE console) PURE;
    STDMETHOD(Notify)(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) PURE;
    STDMETHOD(Destroy)(MMC_COOKIE cookie) PURE;
    STDMETHOD(QueryDataObject)(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) PURE;
    // *viewType: null or S_FALSE for the list; a braced CLSID for a control
    // (the message view); anything else is the address of a web page. The
    // text is allocated with CoTaskMemAlloc and freed by the console.
    STDMETHOD(GetResultViewType)(MMC_COOKIE cookie, LPOLESTR* viewType, long* viewOptions) PURE;
    STDMETHOD(GetDisplayInfo)(RESULTDATAITEM* item) PURE;
    STDMETHOD(CompareObjects)(LPDATAOBJECT a, LPDATAOBJECT b) PURE;
};

struct IConsole : IUnknown {
    STDMETHOD(SetHeader)(LPHEADERCTRL header) PURE;
    STDMETHOD(SetToolbar)(LPTOOLBAR toolbar) PURE;
    // The result pane's list (IResultData) or the control it shows.
    STDMETHOD(QueryResultView)(LPUNKNOWN* unknown) PURE;
    STDMETHOD(QueryScopeImageList)(LPIMAGELIST* imageList) PURE;
    STDMETHOD(QueryResultImageList)(LPIMAGELIST* imageList) PURE;
    // Every view's component gets MMCN_VIEW_CHANGE with data and hint.
    STDMETHOD(UpdateAllViews)(LPDATAOBJECT dataObject, LPARAM data, LONG_PTR hint) PURE;
    // Modal, over the console's main window.
    STDMETHOD(MessageBox)(LPCWSTR text, LPCWSTR title, UINT style, int* result) PURE;
    STDMETHOD(QueryConsoleVerb)(LPCONSOLEVERB* verb) PURE;
    STDMETHOD(SelectScopeItem)(HSCOPEITEM item) PURE;
    STDMETHOD(GetMainWindow)(HWND* window) PURE;
    STDMETHOD(NewWindow)(HSCOPEITEM item, DWORD options) PURE;
};

struct IConsole2 : IConsole {
    STDMETHOD(Expand)(HSCOPEITEM item, BOOL expand) PURE;
    STDMETHOD(IsTaskpadViewPreferred)() PURE;
    STDMETHOD(SetStatusText)(LPOLESTR text) PURE;
};
typedef IConsole2* LPCONSOLE2;

struct IConsole3 : IConsole2 {
    // Starts the in-place rename of a scope item.
    STDMETHOD(RenameScopeItem)(HSCOPEITEM item) PURE;
};
typedef IConsole3* LPCONSOLE3;

struct IConsoleNameSpace : IUnknown {
    // Fills item->ID. relativeID is the parent, or with SDI_PREVIOUS,
    // SDI_NEXT or SDI_FIRST the sibling to insert beside.
    STDMETHOD(InsertItem)(LPSCOPEDATAITEM item) PURE;
    // deleteThis: TRUE removes the item with its children, FALSE only the
    // children.
    STDMETHOD(DeleteItem)(HSCOPEITEM item, long deleteThis) PURE;
    STDMETHOD(SetItem)(LPSCOPEDATAITEM item) PURE;
    STDMETHOD(GetItem)(LPSCOPEDATAITEM item) PURE;
    STDMETHOD(GetChildItem)(HSCOPEITEM item, HSCOPEITEM* child, MMC_COOKIE* cookie) PURE;
    STDMETHOD(GetNextItem)(HSCOPEITEM item, HSCOPEITEM* next, MMC_COOKIE* cookie) PURE;
    STDMETHOD(GetParentItem)(HSCOPEITEM item, HSCOPEITEM* parent, MMC_COOKIE* cookie) PURE;
};
typedef IConsoleNameSpace* LPCONSOLENAMESPACE;

struct IConsoleNameSpace2 : IConsoleNameSpace {
    STDMETHOD(Expand)(HSCOPEITEM item) PURE;
    STDMETHOD(AddExtension)(HSCOPEITEM item, LPCLSID extension) PURE;
};
typedef IConsoleNameSpace2* LPCONSOLENAMESPACE2;

struct IResultData : IUnknown {
    STDMETHOD(InsertItem)(LPRESULTDATAITEM item) PURE;
    STDMETHOD(DeleteItem)(HRESULTITEM item, int column) PURE;
    STDMETHOD(FindItemByLParam)(LPARAM lParam, HRESULTITEM* item) PURE;
    STDMETHOD(DeleteAllRsltItems)() PURE;
    STDMETHOD(SetItem)(LPRESULTDATAITEM item) PURE;
    STDMETHOD(GetItem)(LPRESULTDATAITEM item) PURE;
    // From item->nIndex (-1: the start) the next item whose state holds
    // item->nState (LVIS_SELECTED, LVIS_FOCUSED); S_FALSE at the end.
    STDMETHOD(GetNextItem)(LPRESULTDATAITEM item) PURE;
    STDMETHOD(ModifyItemState)(int index, HRESULTITEM item, UINT add, UINT remove) PURE;
    STDMETHOD(ModifyViewStyle)(MMC_RESULT_VIEW_STYLE add, MMC_RESULT_VIEW_STYLE remove) PURE;
    STDMETHOD(SetViewMode)(long mode) PURE;
    STDMETHOD(GetViewMode)(long* mode) PURE;
    STDMETHOD(UpdateItem)(HRESULTITEM item) PURE;
    STDMETHOD(Sort)(int column, DWORD options, LPARAM userParam) PURE;
    STDMETHOD(SetDescBarText)(LPOLESTR text) PURE;
    STDMETHOD(SetItemCount)(int count, DWORD options) PURE;
};
typedef IResultData* LPRESULTDATA;

struct IHeaderCtrl : IUnknown {
    STDMETHOD(InsertColumn)(int column, LPCWSTR title, int format, int width) PURE;
    STDMETHOD(DeleteColumn)(int column) PURE;
    STDMETHOD(SetColumnText)(int column, LPCWSTR title) PURE;
    STDMETHOD(GetColumnText)(int column, LPOLESTR* title) PURE;
    STDMETHOD(SetColumnWidth)(int column, int width) PURE;
    STDMETHOD(GetColumnWidth)(int column, int* width) PURE;
};

struct IImageList : IUnknown {
    // icon: an HICON from KvNamedIcon.
    STDMETHOD(ImageListSetIcon)(LONG_PTR* icon, long index) PURE;
    // Two strips of 16x16 and 32x32 images (HBITMAPs from KvNamedStrip), the
    // images numbered from start; mask is the transparent colour.
    STDMETHOD(ImageListSetStrip)(LONG_PTR* smallStrip, LONG_PTR* largeStrip, long start, COLORREF mask) PURE;
};

struct IConsoleVerb : IUnknown {
    STDMETHOD(GetVerbState)(MMC_CONSOLE_VERB verb, MMC_BUTTON_STATE state, BOOL* value) PURE;
    STDMETHOD(SetVerbState)(MMC_CONSOLE_VERB verb, MMC_BUTTON_STATE state, BOOL value) PURE;
    STDMETHOD(SetDefaultVerb)(MMC_CONSOLE_VERB verb) PURE;
    STDMETHOD(GetDefaultVerb)(MMC_CONSOLE_VERB* verb) PURE;
};

struct IContextMenuCallback : IUnknown {
    STDMETHOD(AddItem)(CONTEXTMENUITEM* item) PURE;
};

struct IExtendContextMenu : IUnknown {
    // *insertionAllowed holds CCM_INSERTIONALLOWED_ flags; the snap-in may
    // clear some.
    STDMETHOD(AddMenuItems)(LPDATAOBJECT dataObject, LPCONTEXTMENUCALLBACK callback, long* insertionAllowed) PURE;
    STDMETHOD(Command)(long commandId, LPDATAOBJECT dataObject) PURE;
};
typedef IExtendContextMenu* LPEXTENDCONTEXTMENU;

struct IPropertySheetCallback : IUnknown {
    STDMETHOD(AddPage)(HPROPSHEETPAGE page) PURE;
    STDMETHOD(RemovePage)(HPROPSHEETPAGE page) PURE;
};

struct IExtendPropertySheet : IUnknown {
    // handle: the notify handle for MMCPropertyChangeNotify.
    STDMETHOD(CreatePropertyPages)(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle, LPDATAOBJECT dataObject) PURE;
    // S_OK when the object has pages.
    STDMETHOD(QueryPagesFor)(LPDATAOBJECT dataObject) PURE;
};
typedef IExtendPropertySheet* LPEXTENDPROPERTYSHEET;

struct IExtendPropertySheet2 : IExtendPropertySheet {
    STDMETHOD(GetWatermarks)(LPDATAOBJECT dataObject, HBITMAP* watermark, HBITMAP* header, HPALETTE* palette, BOOL* stretch) PURE;
};

struct IPropertySheetProvider : IUnknown {
    // type: TRUE for a property sheet, FALSE for a wizard.
    STDMETHOD(CreatePropertySheet)(LPCWSTR title, boolean type, MMC_COOKIE cookie, LPDATAOBJECT dataObject, DWORD options) PURE;
    // S_OK (and the sheet brought to the front) when a sheet for the cookie
    // is open; S_FALSE otherwise.
    STDMETHOD(FindPropertySheet)(MMC_COOKIE cookie, LPCOMPONENT component, LPDATAOBJECT dataObject) PURE;
    STDMETHOD(AddPrimaryPages)(LPUNKNOWN unknown, BOOL createHandle, HWND notifyWindow, BOOL scopePane) PURE;
    STDMETHOD(AddExtensionPages)() PURE;
    STDMETHOD(Show)(LONG_PTR window, int page) PURE;
};
typedef IPropertySheetProvider* LPPROPERTYSHEETPROVIDER;

struct ISnapinAbout : IUnknown {
    STDMETHOD(GetSnapinDescription)(LPOLESTR* description) PURE;
    STDMETHOD(GetProvider)(LPOLESTR* name) PURE;
    STDMETHOD(GetSnapinVersion)(LPOLESTR* version) PURE;
    STDMETHOD(GetSnapinImage)(HICON* appIcon) PURE;
    STDMETHOD(GetStaticFolderImage)(HBITMAP* smallImage, HBITMAP* smallImageOpen, HBITMAP* largeImage, COLORREF* mask) PURE;
};

struct IMMCVersionInfo : IUnknown {
    STDMETHOD(GetMMCVersion)(long* major, long* minor) PURE;
};

struct IColumnData : IUnknown {
    // The console keeps no column settings of its own: both answer S_FALSE.
    STDMETHOD(SetColumnConfigData)(void* columnSetId, void* columnData) PURE;
    STDMETHOD(GetColumnConfigData)(void* columnSetId, void** columnData) PURE;
    STDMETHOD(SetColumnSortData)(void* columnSetId, void* sortData) PURE;
    STDMETHOD(GetColumnSortData)(void* columnSetId, void** sortData) PURE;
};

typedef enum tagIconIdentifier {
    Icon_None = 0,
    Icon_Error = 32513,
    Icon_Question = 32514,
    Icon_Warning = 32515,
    Icon_Information = 32516,
    Icon_First = Icon_Error,
    Icon_Last = Icon_Information,
} IconIdentifier;

// The message view control: a result pane showing a title, a body text and
// an icon instead of a list (the console hands it over with MMCN_INITOCX and
// through QueryResultView).
struct IMessageView : IUnknown {
    STDMETHOD(SetTitleText)(LPCOLESTR title) PURE;
    STDMETHOD(SetBodyText)(LPCOLESTR body) PURE;
    STDMETHOD(SetIcon)(IconIdentifier id) PURE;
    STDMETHOD(Clear)() PURE;
};

// ---------------------------------------------------------------------------
// Functions of the console library.

// A property page tells the console that its object changed: the component
// or component data that created the pages gets MMCN_PROPERTY_CHANGE with
// param, on the console's thread.
KV_MMC_API HRESULT MMCPropertyChangeNotify(LONG_PTR notifyHandle, LPARAM param);
KV_MMC_API HRESULT MMCFreeNotifyHandle(LONG_PTR notifyHandle);
// Pages of a snap-in pass their PROPSHEETPAGE through this before creating
// them; nothing to adjust here.
KV_MMC_API HRESULT MMCPropPageCallback(void* propSheetPage);

// Images are named, as the common controls name them: an icon of the
// installed theme ("folder", "drive-harddisk", "text-x-generic") or a picture
// a module carries ("res://" + module path + "/" + name, as the common
// controls name it). KvNamedIcon gives the HICON that
// ImageListSetIcon takes (the same name, the same handle; it lives for the
// process); null for a theme name holding anything but letters, digits and
// "-_.:", or an address with control characters.
KV_MMC_API HICON KvNamedIcon(const char* name);
// The name behind such a handle; null for any other handle.
KV_MMC_API const char* KvNamedIconName(HICON icon);
// A strip of named images, as a bitmap strip of the module would be: what
// ImageListSetStrip takes. It lives for the process.
KV_MMC_API HBITMAP KvNamedStrip(const char* const* names, int count);
// The names of such a strip; false for any other handle.
KV_MMC_API bool KvNamedStripNames(HBITMAP strip, const char* const** names, int* count);
