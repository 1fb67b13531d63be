#include "console/data/Links.h"

#include <cstdlib>
#include <vector>

#include "common/DebugLog.h"
#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "core/fingerprint/FingerPrintString.h"
#include "platform/fs/Attributes.h"
#include "platform/ui/afx/Wnd.h"
#include "platform/win/LastError.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

HRESULT InitFileProfLnk(CConsoleData& data) {
    CWaitCursor wait;
    HRESULT result = S_OK;
    data.m_links.clear();
    WriteDebugLog(7, "Getting the link items...");
    try {
        std::vector<std::string> vanished;
        CRecordset rs(&data.m_db);
        if (!data.OpenConnection() || !rs.Open(CRecordset::forwardOnly, SQL_SELECT_LINKS, CRecordset::readOnly)) {
            WriteDebugLog(1, "Failed to open the recordset on profiles items");
            result = S_FALSE;
        } else {
            WriteDebugLog(7, "1. InitFileProfLnk");
            long count = rs.GetRecordCount();
            if (count == -1) {
                WriteDebugLog(1, "Failed to get the record count on link items");
                result = S_FALSE;
            } else if (count > 0) {
                while (!rs.IsEOF()) {
                    std::string path;
                    rs.GetFieldValue("PATH", path);
                    WriteDebugLog(7, path.c_str());
                    std::string lower = Lower(path);
                    // Asked as stored: names on this system differ by case,
                    // so the lower-cased text may name nothing and its rule
                    // would be dropped.
                    DWORD attributes = GetFileAttributesA(path.c_str());
                    WriteDebugLogF(7, "%d", static_cast<int>(attributes));
                    bool keep = true;
                    if (attributes == INVALID_FILE_ATTRIBUTES) {
                        DWORD error = GetLastError();
                        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                            vanished.push_back(lower);
                            keep = false;
                        }
                        WriteDebugLogF(7, "%d", static_cast<int>(error));
                    }
                    if (keep) {
                        std::string id;
                        rs.GetFieldValue("PROFILE_ID", id);
                        data.m_links.push_back({lower, static_cast<LONG>(std::strtol(id.c_str(), nullptr, 10))});
                    }
                    rs.MoveNext();
                }
            }
            rs.Close();
            for (const std::string& path : vanished)
                data.ExecuteStatement(FormatSql(SQL_DELETE_VANISHED_LINK, QuoteSql(path).c_str()), "Error in InitFileProfLnk");
        }
    } catch (const CDBException& e) {
        ReportDBError(e);
        result = E_FAIL;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in InitProfiles");
        result = E_FAIL;
    }
    WriteDebugLog(7, "Finished getting the link items...");
    return result;
}

long CountExceptions(CConsoleData& data, const std::string& folderPath, ExceptionCount variant) {
    const std::string quoted = QuoteSql(folderPath);
    const char* format = variant == ExceptionCount::Tree ? SQL_COUNT_EXCEPTIONS_TREE : SQL_COUNT_EXCEPTIONS_PAGE;
    try {
        CRecordset rs(&data.m_db);
        if (!data.OpenConnection() ||
            !rs.Open(CRecordset::forwardOnly, FormatSql(format, quoted.c_str(), quoted.c_str()).c_str(),
                     CRecordset::readOnly))
            return 0;
        long count = 0;
        if (!rs.IsEOF()) {
            std::string text;
            rs.GetFieldValue("A", text);
            count = std::strtol(text.c_str(), nullptr, 10);
        }
        rs.Close();
        return count;
    } catch (const CDBException& e) {
        ReportDBError(e);
    }
    return 0;
}

std::string PathFingerprint(const std::string& path) {
    char fingerprint[MD5_TEXT_CHARS] = {0};
    if (FingerPrintString(path.c_str(), fingerprint) != 0) return std::string();
    return fingerprint;
}
