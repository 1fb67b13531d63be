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

// How the read of one value went.
enum class SettingRead {
    Read,       // the destination holds the value
    Missing,    // no key, no value, or the registry refused the read
    WrongType,  // stored as another type than the one asked for
    TooLong,    // more bytes than the destination holds; storedBytes says how many
};

// Reads one value of the given type (REG_DWORD: exactly 4 bytes; REG_SZ,
// which takes REG_EXPAND_SZ too) into a destination of capacity bytes. On
// anything but Read the destination is left as it was and the failure is
// logged at level 1 (a missing value only with logMissing), once: a value
// whose read keeps failing is not logged again until a read of it has
// succeeded in between.
SettingRead ReadSetting(const char* name, DWORD type, void* destination, DWORD capacity, bool logMissing,
                        DWORD* storedBytes = nullptr);

// 0 on success; 1 (logged as above) when the key or the value cannot be
// read, and the destination is left as it was. A destination of 4 bytes is
// a number (REG_DWORD), any other a text (REG_SZ): a value stored as the
// other type is treated as missing.
int ReadValueFromRegistry(const char* name, void* destination, DWORD capacity);
// The same for a value that may be absent: nothing is logged then (a value
// of the wrong type still is).
int ReadOptionalValueFromRegistry(const char* name, void* destination, DWORD capacity);
void SaveValueToRegistry(const char* name, DWORD type, const void* data, DWORD byteCount);

void GetDebugSettingsFromRegistry();
void GetDefaultSettingsFromRegistry();

// The folder of the deliverable's own module, without the final "\", into a
// buffer of 780 characters. 0 on success.
int GetModulePath(char* folder);
inline int GetAppPath(char* folder) { return GetModulePath(folder); }
