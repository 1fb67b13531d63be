// What one snap-in instance keeps of the integrity database: its connection,
// the scan-job choice list and the cache of explicit path settings. Every
// node and page of the instance works through it, on the UI thread (or on
// the one worker that runs while the wait dialog holds the UI thread).
#pragma once

#include <string>
#include <vector>

#include "core/database/Database.h"
#include "platform/win/WinTypes.h"

struct CProfileEntry {
    LONG id;           // PROFILE_ID; 0 = monitored by no scan job
    std::string name;  // NAME
};

struct CLinkEntry {
    std::string path;  // lower case
    LONG id;
};

class CConsoleData {
public:
    CConsoleData() = default;
    ~CConsoleData();
    CConsoleData(const CConsoleData&) = delete;
    CConsoleData& operator=(const CConsoleData&) = delete;

    // Opens the connection unless it is open; FALSE when it could not be
    // opened (the reason is in m_db.GetOpenError()).
    BOOL OpenConnection();
    // Runs one statement; a failure is logged with the caller's message and
    // the database error line, and never reaches the caller.
    void ExecuteStatement(const std::string& statement, const char* failureMessage);

    CDatabase m_db;
    std::vector<CProfileEntry> m_profiles;
    std::vector<CLinkEntry> m_links;
};

// The console's report of a caught database error: the one detail line.
void ReportDBError(const CDBException& e);
