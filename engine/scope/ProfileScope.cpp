#include "engine/scope/ProfileScope.h"

#include <string>

#include "common/DebugLog.h"
#include "engine/EngineState.h"
#include "engine/database/EngineDatabase.h"
#include "engine/scope/ExtensionRules.h"
#include "engine/scope/ScopeLists.h"

namespace {

bool IsItemPath(const std::string& path) {
    return path.size() >= 3 && path[0] >= 'A' && path[0] <= 'Z' && path[1] == ':' && path[2] == '\\';
}

}  // namespace

void InitProfiles() {
    g_cList.clear();
    g_oList.clear();
    WriteDebugLog(7, "Getting the files from profiles...");
    try {
        CRecordset rows(EngineDatabase());
        if (EngineDatabase() == nullptr ||
            !rows.Open(CRecordset::forwardOnly, "SELECT PROFILE_ID, PATH, FLAG FROM FILES_PROFILES_LNK")) {
            WriteDebugLog(1, "Failed to open the recordset file from profiles");
            return;
        }
        const std::string currentJob = std::to_string(g_nCurrentProfile);
        while (!rows.IsEOF()) {
            std::string path, job, flag;
            rows.GetFieldValue("PATH", path);
            rows.GetFieldValue("PROFILE_ID", job);
            rows.GetFieldValue("FLAG", flag);
            path = UpperCase(path);
            // Only item paths (C:\, C:\DATA\, C:\DATA\A.TXT) can be rules: the
            // rules match by substring, and an empty or foreign text would
            // match inside paths it never named.
            if (!IsItemPath(path)) {
                WriteDebugLogF(1, "Ignoring the malformed path '%s' of FILES_PROFILES_LNK", path.c_str());
                rows.MoveNext();
                continue;
            }
            if (job == currentJob) {
                g_cList.push_back(path);
                WriteDebugLogF(7, "%s added to C", path.c_str());
            } else {
                g_oList.push_back(path);
                WriteDebugLogF(7, "%s added to O", path.c_str());
            }
            rows.MoveNext();
        }
        rows.Close();
    } catch (const CDBException& e) {
        ReportDBError(e);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in InitProfiles");
    }
}

HRESULT IsCurrentProfileEnabled() {
    WriteDebugLog(7, "Getting the ENABLED value of the profile...");
    try {
        CRecordset row(EngineDatabase());
        std::string sql = "SELECT MAILTO, MAILFROM, SUBJECT, OLD_EXT_LIST FROM PROFILES WHERE PROFILE_ID = " +
                          std::to_string(g_nCurrentProfile);
        if (EngineDatabase() == nullptr || !row.Open(CRecordset::forwardOnly, sql.c_str())) {
            WriteDebugLog(1, "Failed to open the recordset on profiles");
            return E_FAIL;
        }
        if (row.IsEOF()) {
            row.Close();
            return S_FALSE;
        }
        std::string oldExtensions;
        row.GetFieldValue("MAILTO", g_strMailTo);
        row.GetFieldValue("MAILFROM", g_strMailFrom);
        row.GetFieldValue("SUBJECT", g_strMailSubject);
        row.GetFieldValue("OLD_EXT_LIST", oldExtensions);
        WriteDebugLog(7, "Loading the old ext list...");
        ParseOldExtList(oldExtensions, g_oldExcludedExtensions, false);
        row.Close();
        return S_OK;
    } catch (const CDBException& e) {
        ReportDBError(e);
        return E_FAIL;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in IsCurrentProfileEnabled");
        return E_FAIL;
    }
}
