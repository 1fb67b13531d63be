#include "engine/fingerprint/BaselineFingerPrint.h"

#include "common/DebugLog.h"
#include "engine/database/EngineDatabase.h"
#include "engine/fingerprint/FingerPrint.h"

bool BaselineFingerPrint(const std::string& rowPath, std::string& md5) {
    try {
        char pathMd5[MD5_TEXT_CHARS] = {};
        if (FingerPrintString(rowPath.c_str(), pathMd5) != S_OK) return false;
        OpenDB();
        if (EngineDatabase() == nullptr) return false;
        CRecordset row(EngineDatabase());
        // The path fingerprint is hexadecimal digits: nothing to quote.
        const std::string sql = std::string("SELECT MD5 FROM OLD_DATA WHERE PATH_MD5 = '") + pathMd5 + "'";
        if (!row.Open(CRecordset::forwardOnly, sql.c_str())) return false;
        bool found = false;
        while (!found && !row.IsEOF()) {
            if (!row.IsFieldValueNull("MD5")) {
                row.GetFieldValue("MD5", md5);
                found = !md5.empty();
            }
            row.MoveNext();
        }
        row.Close();
        return found;
    } catch (const CDBException& e) {
        ReportDBError(e);
        return false;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in BaselineFingerPrint");
        return false;
    }
}
