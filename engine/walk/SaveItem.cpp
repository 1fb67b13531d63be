#include "engine/walk/SaveItem.h"

#include <string>

#include "common/DebugLog.h"
#include "engine/EngineState.h"
#include "engine/TimeText.h"
#include "engine/database/EngineDatabase.h"
#include "engine/fingerprint/FingerPrint.h"
#include "engine/run/CheckOutcome.h"

HRESULT SaveItem(const ScanItem& item) {
    try {
        OpenDB();
        WriteDebugLog(7, "New record is adding...");
        const bool drive = item.folder.empty() && item.name.empty();
        ItemRow row;
        row.path = item.drive + ":\\";
        if (!item.folder.empty()) row.path += item.folder + "\\";
        row.path += item.name;

        // The information line costs three date texts per row: composed only
        // when the log takes it.
        const bool logged = DebugLogWrites(7);
        std::string info = " Path:" + row.path;
        if (!item.md5.empty()) {
            row.md5 = item.md5;
            info += ", MD5:" + item.md5;
        }
        if (!drive) {
            row.hasTimes = true;
            row.creationTime = item.creationTime;
            if (logged) info += ", Ct:" + DateTimeText(item.creationTime);
        }
        if (!item.owner.empty()) {
            row.owner = item.owner;
            info += ", Owner:" + item.owner;
        }
        if (!drive) {
            row.lastModifiedTime = item.lastWriteTime;
            row.lastAccessedTime = item.lastAccessTime;
            if (logged)
                info += ", Lmt:" + DateTimeText(item.lastWriteTime) + ", Lat:" + DateTimeText(item.lastAccessTime);
        }
        row.attributes = item.attributes;
        info += ",Attrib: " + std::to_string(item.attributes);
        row.profileId = g_nCurrentProfile;
        info += ",Profile:" + std::to_string(g_nCurrentProfile);
        row.size = item.size;
        info += ",Size:" + std::to_string(item.size);
        char pathMd5[MD5_TEXT_CHARS] = {};
        FingerPrintString(row.path.c_str(), pathMd5);
        row.pathMd5 = pathMd5;
        info += ",PathMD5:" + row.pathMd5;
        if (logged) WriteDebugLogF(7, "Current item info: %s; inserting it into DB..", info.c_str());
        AppendItemRow(row);
        CountCapturedItem();
        return S_OK;
    } catch (const CDBException& e) {
        ReportDBError(e);
        return E_FAIL;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in SaveItem");
        return E_FAIL;
    }
}
