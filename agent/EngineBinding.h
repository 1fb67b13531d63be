// The scan engine, loaded by name at run time: "OrvEngine.dll" and its
// entry points InitCore, CheckFiles and UnInit.
#pragma once

#include "platform/win/WinTypes.h"

typedef HRESULT (*InitCoreProc)();
typedef HRESULT (*CheckFilesProc)(LONG* stopFlag);
typedef HRESULT (*UnInitProc)();

struct EngineBinding {
    HMODULE library = nullptr;
    InitCoreProc InitCore = nullptr;
    CheckFilesProc CheckFiles = nullptr;
    UnInitProc UnInit = nullptr;
};

// Loads the engine and resolves its three entries. On failure it shows
// text 10024, logs the Windows error at level 1, leaves nothing loaded and
// returns false.
bool LoadEngine(EngineBinding& engine);
void FreeEngine(EngineBinding& engine);
