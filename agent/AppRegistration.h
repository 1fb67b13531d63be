// The program's COM application registration under HKEY_CLASSES_ROOT\AppID:
// its application identifier, named "KvAgent", and "KvAgent.EXE" pointing
// at that identifier.
#pragma once

#include "platform/win/WinTypes.h"

// The program's fixed application identifier.
extern const char* const kAgentAppId;

// ERROR_SUCCESS or the registry's error.
LONG RegisterAppId();
// Removes the two keys; AppID itself stays. ERROR_SUCCESS when they are gone.
LONG UnregisterAppId();
