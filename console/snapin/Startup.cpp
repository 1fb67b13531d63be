#include "console/snapin/Startup.h"

#include "common/Settings.h"
#include "console/data/Links.h"
#include "console/data/Profiles.h"
#include "console/settings/ExtensionList.h"
#include "console/tree/DefaultState.h"

BOOL OpenConsoleDatabase(CConsoleData& data) {
    BOOL opened = FALSE;
    try {
        opened = data.OpenConnection();
    } catch (const CDBException& e) {
        ReportDBError(e);
    }
    GetDefaultSettingsFromRegistry();
    return opened;
}

void ApplyFirstStartDefaults(CConsoleData& data) {
    if (g_dwFirstStart == 0) return;
    g_dwFirstStart = 0;
    SetDefaultState(data);
    DWORD zero = 0;
    SaveValueToRegistry("FirstStart", REG_DWORD, &zero, sizeof zero);
}

void LoadConsoleLists(CConsoleData& data) {
    InitProfiles(data);
    InitFileProfLnk(data);
    GetExtensionList();
}
