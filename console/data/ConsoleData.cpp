#include "console/data/ConsoleData.h"

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "core/database/DatabaseError.h"
#include "strings/CodeMap.h"

CConsoleData::~CConsoleData() {
    m_profiles.clear();
    m_links.clear();
    try {
        if (m_db.IsOpen()) m_db.Close();
    } catch (const CDBException& e) {
        ReportDBError(e);
    }
}

BOOL CConsoleData::OpenConnection() {
    if (m_db.IsOpen()) return TRUE;
    return m_db.OpenEx(ProductText(PSC_CONSOLE_CONNECT_STRING), CDatabase::useCursorLib | CDatabase::noOdbcDialog);
}

void CConsoleData::ExecuteStatement(const std::string& statement, const char* failureMessage) {
    try {
        if (!OpenConnection()) {
            WriteDebugLog(1, failureMessage);
            if (const CDBException* reason = m_db.GetOpenError()) ReportDBError(*reason);
            return;
        }
        m_db.ExecuteSQL(statement.c_str());
    } catch (const CDBException& e) {
        WriteDebugLog(1, failureMessage);
        ReportDBError(e);
    }
}

void ReportDBError(const CDBException& e) { WriteDBErrorLine(e); }
