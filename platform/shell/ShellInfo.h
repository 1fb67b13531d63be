// SHGetFileInfo: a path's type name and its icons, and the system image list
// those icons are indexes into. Types come from the shared MIME database
// through GIO, by the name alone (a file's content is never read); folders
// and drives have icons of their own. Icons are names of the installed icon
// theme ("folder", "text-x-generic", ...): the system image list is the list
// of names handed out so far, which the display draws from the theme.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

typedef uintptr_t DWORD_PTR;
struct KvSystemImageList;
typedef KvSystemImageList* HSYSIMAGELIST;

#define SHGFI_SMALLICON 0x000000001u
#define SHGFI_OPENICON 0x000000002u
#define SHGFI_USEFILEATTRIBUTES 0x000000010u
#define SHGFI_ICON 0x000000100u
#define SHGFI_DISPLAYNAME 0x000000200u
#define SHGFI_TYPENAME 0x000000400u
#define SHGFI_ATTRIBUTES 0x000000800u
#define SHGFI_SYSICONINDEX 0x000004000u

typedef struct _SHFILEINFOA {
    void* hIcon;  // unused: icons are handed out as indexes
    int iIcon;
    DWORD dwAttributes;
    CHAR szDisplayName[MAX_PATH];
    CHAR szTypeName[80];
} SHFILEINFOA;

// With SHGFI_SYSICONINDEX the system image list (iIcon its index of the
// path's icon), otherwise non-zero on success; 0 when the path cannot be
// looked at (and SHGFI_USEFILEATTRIBUTES was not given).
DWORD_PTR SHGetFileInfoA(LPCSTR path, DWORD fileAttributes, SHFILEINFOA* info, UINT size, UINT flags);

namespace kv::platform {
// The icon name at an index of the system image list; empty past its end.
std::string SystemImageName(int index);
int SystemImageCount();
}  // namespace kv::platform
