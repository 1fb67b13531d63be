// The common file dialogs: GetOpenFileNameA and GetSaveFileNameA.
//
// Each is an ordinary modal dialog of the window model, so a display shows
// it as it shows any other: the folder being looked in, a list of the
// mapped drives or of a folder's sub-folders and files (".." first, folders,
// then the files that the chosen type's patterns match, each sorted without
// regard to case; hidden entries and names a Windows path cannot carry are
// left out), the file name, the file types of the filter, and Open or Save
// and Cancel. A double click (or Enter) on a drive, a folder or ".." goes
// there; on a file it chooses that file. A typed name may be a file, a
// folder to go to, a pattern that replaces the type's, or a whole path.
// Paths are in Windows form throughout.
#pragma once

#include "platform/ui/UiExport.h"
#include "platform/ui/WinUser.h"

struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;  // pairs "description\0patterns\0", ended by "\0"
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;  // 1-based; 0 takes the first
    LPSTR lpstrFile;     // in: initial name (or path); out: the chosen path
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;  // out: the chosen name alone (optional)
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;  // null: "Open" or "Save As"
    DWORD Flags;
    WORD nFileOffset;     // out: where the name starts in lpstrFile
    WORD nFileExtension;  // out: where its extension starts (0: none)
    LPCSTR lpstrDefExt;   // appended (after a ".") to a name typed without extension
    LPARAM lCustData;
    void* lpfnHook;
    LPCSTR lpTemplateName;
};
typedef OPENFILENAMEA OPENFILENAME;
typedef OPENFILENAMEA* LPOPENFILENAMEA;

#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_CREATEPROMPT 0x00002000u
#define OFN_NOREADONLYRETURN 0x00008000u
#define OFN_EXPLORER 0x00080000u
#define OFN_ENABLESIZING 0x00800000u

#define CDERR_STRUCTSIZE 0x0001u
#define CDERR_INITIALIZATION 0x0002u
#define FNERR_INVALIDFILENAME 0x3002u
#define FNERR_BUFFERTOOSMALL 0x3003u

// Control ids of the dialog, for tests and hosts that drive it.
#define KV_FILEDLG_LOOKIN 1091
#define KV_FILEDLG_UP 1092
#define KV_FILEDLG_LIST 1120
#define KV_FILEDLG_TYPES 1136
#define KV_FILEDLG_NAME 1152

// TRUE with the chosen path in lpstrFile; FALSE when cancelled or on an
// error (CommDlgExtendedError tells which; 0 after a cancel).
KV_UI_API BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn);
KV_UI_API BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn);
KV_UI_API DWORD CommDlgExtendedError();
