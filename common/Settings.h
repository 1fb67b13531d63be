// The machine-wide settings under HKLM\<product root>\Config: single-value
// reads and writes (each opens and closes the key), the refresh of the log
// state, and the deliverable's own settings.
#pragma once

#include "platform/registry/Registry.h"
#include "platform/win/WinTypes.h"

#define SETTINGS_TEXT_CHARS 780

extern char g_szSettingsKey[SETTINGS_TEXT_CHARS];

// Engine settings, refreshed by GetDebugSettingsFromRegistry at each check.
extern DWORD g_dwStartNow;
extern DWORD g_dwFirstCheck;  // SFIRST
extern DWORD g_dwSmtpPort;
extern char g_szServerIP[SETTINGS_TEXT_CHARS];
extern char g_szDataPath[SETTINGS_TEXT_CHARS];
// Console settings, read by GetDefaultSettingsFromRegistry.
extern DWORD g_dwFirstStart;

// 0 on success; 1 (logged) when the key or the value cannot be read, and the
// destination is left as it was.
int ReadValueFromRegistry(const char* name, void* destination, DWORD capacity);
// The same for a value that may be absent: nothing is logged then.
int ReadOptionalValueFromRegistry(const char* name, void* destination, DWORD capacity);
void SaveValueToRegistry(const char* name, DWORD type, const void* data, DWORD byteCount);

void GetDebugSettingsFromRegistry();
void GetDefaultSettingsFromRegistry();

// The folder of the deliverable's own module, without the final "\", into a
// buffer of 780 characters. 0 on success.
int GetModulePath(char* folder);
inline int GetAppPath(char* folder) { return GetModulePath(folder); }
