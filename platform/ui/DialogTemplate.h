// Dialog templates as a module carries them: compiled by rcgen from a .dlg
// text file into a table that the module exports (as its string tables are).
//
// The .dlg format, one statement a line, # starts a comment:
//   INCLUDE "resource.h"            #define NAME NUMBER lines of that header
//                                   (relative to the .dlg) give names to ids
//   DIALOG id x y cx cy "Caption" [STYLE...]
//     KIND id x y cx cy "Text" [STYLE...]
//     ...
//   END
// Coordinates are dialog units. Ids are numbers, names from an included
// header, or IDOK, IDCANCEL, IDYES, IDNO, IDC_STATIC. KIND is one of LTEXT,
// CTEXT, RTEXT, ICON (static controls), EDITTEXT, PUSHBUTTON, DEFPUSHBUTTON,
// CHECKBOX (an auto check box), RADIOBUTTON (an auto radio button), GROUPBOX,
// LISTVIEW, UPDOWN, DATETIMEPICKER, ANIMATION. STYLEs are the names of
// WinUser.h and CommCtrl.h (WS_GROUP, WS_TABSTOP, WS_DISABLED, ES_NUMBER,
// LVS_REPORT, UDS_SETBUDDYINT, DTS_TIMEFORMAT, ...); NOT STYLE removes a
// style the kind has by default (NOT WS_VISIBLE for a hidden control,
// NOT WS_TABSTOP).
#pragma once

#include <cstdint>

#include "platform/ui/UiExport.h"
#include "platform/win/WinTypes.h"

extern "C" {
struct KvDialogItem {
    const char* className;  // WC_STATIC, WC_EDIT, WC_BUTTON, WC_LISTVIEW, ...
    int32_t id;
    int16_t x, y, cx, cy;
    uint32_t style;
    uint32_t exStyle;
    const char* text;  // UTF-8
};
struct KvDialogTemplate {
    uint32_t id;
    int16_t x, y, cx, cy;
    uint32_t style;
    const char* caption;  // UTF-8
    uint32_t itemCount;
    const KvDialogItem* items;
};
struct KvDialogTableData {
    uint32_t count;
    const KvDialogTemplate* dialogs;  // sorted by id
};
}

// The exported name under which a module carries its dialog table.
#define KV_DIALOG_TABLE_SYMBOL "kv_dialog_table"

// The template of that id in the module (null: the program itself); null
// when the module has none of that id. name is an id (MAKEINTRESOURCE) or a
// decimal text "#130".
KV_UI_API const KvDialogTemplate* FindDialogTemplate(HINSTANCE module, const char* name);

