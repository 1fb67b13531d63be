#include "agent/EngineBinding.h"

#include <cstdio>

#include "agent/MessageTexts.h"
#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "platform/library/Library.h"
#include "platform/text/CodePage.h"
#include "platform/win/LastError.h"

namespace {

const UINT kTextEngineMissing = 10024;

void ReportLoadFailure(char* text, const char* format) {
    char message[256];
    std::snprintf(message, sizeof message, format, static_cast<int>(GetLastError()));
    ShowLoadedText(text, SERVICE_ERROR_BOX);
    if (text != nullptr) CoTaskMemFree(text);
    WriteDebugLog(1, message);
}

template <typename Proc>
Proc Resolve(HMODULE library, const char* name) {
    return reinterpret_cast<Proc>(GetProcAddress(library, name));
}

}  // namespace

bool LoadEngine(EngineBinding& engine) {
    engine = EngineBinding();
    char* text = LoadModuleString(kTextEngineMissing);
    HMODULE library = LoadLibraryA("OrvEngine.dll");
    if (library == nullptr) {
        ReportLoadFailure(text, "LoadLibrary failed with code %d");
        return false;
    }
    const char* failure = nullptr;
    auto initCore = Resolve<InitCoreProc>(library, "InitCore");
    UnInitProc unInit = nullptr;
    CheckFilesProc checkFiles = nullptr;
    if (initCore == nullptr) {
        failure = "Get InitCore failed with code %d";
    } else if ((unInit = Resolve<UnInitProc>(library, "UnInit")) == nullptr) {
        failure = "Get UnInit failed with code %d";
    } else if ((checkFiles = Resolve<CheckFilesProc>(library, "CheckFiles")) == nullptr) {
        failure = "Error getting the CheckFiles address; error code: %d";
    }
    if (failure != nullptr) {
        ReportLoadFailure(text, failure);
        FreeLibrary(library);
        return false;
    }
    if (text != nullptr) CoTaskMemFree(text);
    engine.library = library;
    engine.InitCore = initCore;
    engine.UnInit = unInit;
    engine.CheckFiles = checkFiles;
    return true;
}

void FreeEngine(EngineBinding& engine) {
    if (engine.library != nullptr) FreeLibrary(engine.library);
    engine = EngineBinding();
}
