#include "console/data/Profiles.h"

#include <cstdlib>

#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "platform/ui/afx/Wnd.h"

std::string g_strDefaultMailTo;
std::string g_strDefaultMailFrom;

namespace {

LONG FieldLong(const CRecordset& rs, const char* column) {
    std::string text;
    rs.GetFieldValue(column, text);
    return static_cast<LONG>(std::strtol(text.c_str(), nullptr, 10));
}

std::string FieldText(const CRecordset& rs, const char* column) {
    std::string text;
    rs.GetFieldValue(column, text);
    return text;
}

}  // namespace

HRESULT InitProfiles(CConsoleData& data) {
    CWaitCursor wait;
    try {
        data.m_profiles.clear();
        std::string none;
        LoadResourceString(74, none);
        data.m_profiles.push_back({0, none});
        WriteDebugLog(7, "Getting the profiles items...");
        CRecordset rs(&data.m_db);
        if (!data.OpenConnection() || !rs.Open(CRecordset::forwardOnly, SQL_SELECT_PROFILE_LIST)) {
            WriteDebugLog(1, "Failed to open the recordset on profiles items");
            return S_FALSE;
        }
        long count = rs.GetRecordCount();
        if (count == -1) {
            WriteDebugLog(1, "Failed to get the record count on profiles items");
            return S_FALSE;
        }
        if (count <= 0) return S_OK;
        while (!rs.IsEOF()) {
            data.m_profiles.push_back({FieldLong(rs, "PROFILE_ID"), FieldText(rs, "NAME")});
            rs.MoveNext();
        }
        rs.Close();
        return S_OK;
    } catch (const CDBException& e) {
        ReportDBError(e);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in InitProfiles");
    }
    return E_FAIL;
}

HRESULT ReadProfileRecords(CConsoleData& data, std::vector<CProfileRecord>& records) {
    records.clear();
    try {
        CRecordset rs(&data.m_db);
        if (!data.OpenConnection() || !rs.Open(CRecordset::forwardOnly, SQL_SELECT_PROFILES)) {
            WriteDebugLog(1, "CProfilesNode::ReadProfiles: Could not open Profiles recordset");
            return S_FALSE;
        }
        if (rs.IsEOF()) {
            WriteDebugLog(1, "CProfilesNode::ReadProfiles: Profiles recordset is empty.");
            rs.Close();
            return S_FALSE;
        }
        while (!rs.IsEOF()) {
            CProfileRecord record;
            record.id = FieldLong(rs, "PROFILE_ID");
            record.name = FieldText(rs, "NAME");
            record.mailTo = FieldText(rs, "MAILTO");
            record.mailFrom = FieldText(rs, "MAILFROM");
            record.subject = FieldText(rs, "SUBJECT");
            record.priority = static_cast<BYTE>(FieldLong(rs, "PRIORITY") & 0xFF);
            record.enabled = FieldLong(rs, "ENABLED") == 1;
            records.push_back(record);
            rs.MoveNext();
        }
        rs.Close();
        return S_OK;
    } catch (const CDBException& e) {
        ReportDBError(e);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CProfilesNode::ReadProfiles");
    }
    return E_FAIL;
}

UINT CheckProfileName(const std::string& name, const std::vector<std::string>& otherNames) {
    if (name.find_first_of("<>") != std::string::npos) return 83;
    for (const std::string& other : otherNames)
        if (other == name) return 76;
    return 0;
}

std::string InsertProfileStatement(const std::string& name, const std::string& subject) {
    std::string sql = "INSERT INTO PROFILES (NAME, ";
    if (!g_strDefaultMailTo.empty()) sql += "MAILTO, ";
    if (!g_strDefaultMailFrom.empty()) sql += "MAILFROM, ";
    sql += "PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('" + QuoteSql(name) + "', ";
    if (!g_strDefaultMailTo.empty()) sql += "'" + QuoteSql(g_strDefaultMailTo) + "', ";
    if (!g_strDefaultMailFrom.empty()) sql += "'" + QuoteSql(g_strDefaultMailFrom) + "', ";
    sql += "1, 0, '" + QuoteSql(subject) + "', 1)";
    return sql;
}

LONG InsertProfile(CConsoleData& data, const std::string& name, const std::string& subject) {
    data.ExecuteStatement(InsertProfileStatement(name, subject), "Error in CEmailPage::OnApply");
    try {
        CRecordset rs(&data.m_db);
        if (!data.OpenConnection() || !rs.Open(CRecordset::forwardOnly, SQL_SELECT_NEW_PROFILE_ID)) return 0;
        LONG id = rs.IsEOF() ? 0 : FieldLong(rs, "ID_VAL");
        rs.Close();
        return id;
    } catch (const CDBException& e) {
        ReportDBError(e);
    }
    return 0;
}

void RenameProfile(CConsoleData& data, LONG id, const std::string& name) {
    data.ExecuteStatement(FormatSql(SQL_RENAME_PROFILE, QuoteSql(name).c_str(), static_cast<int>(id)),
                          "Error in CEmailPage::OnApply");
}

void DeleteProfileRow(CConsoleData& data, LONG id) {
    data.ExecuteStatement(FormatSql(SQL_DELETE_PROFILE, static_cast<int>(id)), "Error in CProfileRecordset::DeleteProfile");
}

void ToggleProfileEnabled(CConsoleData& data, LONG id, bool currentlyEnabled) {
    data.ExecuteStatement(FormatSql(SQL_SET_PROFILE_ENABLED, currentlyEnabled ? 0 : 1, static_cast<int>(id)),
                          "Error in CEmailPage::OnApply");
}

bool IsProfileInUse(const CConsoleData& data, LONG id) {
    for (const CLinkEntry& link : data.m_links)
        if (link.id == id) return true;
    return false;
}
