// Registry calls over a folder tree under the machine root: a key is a folder
// under $KESTRAVA_ROOT/registry/<hive>/, a value is one small file in it.
// Names are case-insensitive and case-preserving, a value write replaces the
// file atomically, and a missing key fails reads and writes as on Windows.
#pragma once

#include "platform/win/WinTypes.h"

struct KvRegKey;
typedef KvRegKey* HKEY;
typedef HKEY* PHKEY;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

#define REG_NOTIFY_CHANGE_NAME 0x1u
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x2u
#define REG_NOTIFY_CHANGE_LAST_SET 0x4u
#define REG_NOTIFY_CHANGE_SECURITY 0x8u

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM desired, void* security, PHKEY result, LPDWORD disposition);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD byteCount);
// REG_SZ data comes back as UTF-16, as the wide call returns it.
LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD byteCount);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD byteCount);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
// Fails with ERROR_ACCESS_DENIED while the key has sub-keys, as on Windows.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPSTR keyClass, LPDWORD classLength, void* lastWrite);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD byteCount);
// Reports the next change of the key (values added, replaced or deleted for
// REG_NOTIFY_CHANGE_LAST_SET; sub-keys added or deleted for
// REG_NOTIFY_CHANGE_NAME), or its deletion, once. Asynchronous: returns at
// once, the watch already armed, and signals the event at the change; the
// event must stay open until then or until the key is closed, and closing the
// key signals it. Otherwise it returns when the change has happened.
LONG RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event, BOOL asynchronous);
