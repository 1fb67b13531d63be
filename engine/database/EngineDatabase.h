// The engine's connection to the integrity database and its item recordset
// (one of each, module-wide), the item append, the database-error report and
// the compaction after a check.
//
//   if (OpenDB() != S_OK) return 1;          // connection and item recordset open
//   try {
//       EngineDatabase()->ExecuteSQL("DELETE FROM CURRENT_DATA");
//       CRecordset rs(EngineDatabase());
//       rs.Open(CRecordset::forwardOnly, "SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = 1");
//       ...
//       AppendItemRow(row);                  // counts, stores, restarts every 1000 rows
//   } catch (const CDBException& e) {
//       ReportDBError(e);
//   }
//   CloseDB();
//   CompactDB();
#pragma once

#include <ctime>
#include <string>

#include "core/database/Database.h"
#include "engine/database/OrvRecordset.h"
#include "platform/win/WinTypes.h"

// Replaces the engine's database object by a new, unopened one (closing
// whatever was open).
void NewEngineDatabase();
// The engine's connection; null until OpenDB created it. Statements of the
// check run on it, between OpenDB and CloseDB.
CDatabase* EngineDatabase();
// The item recordset; null unless OpenDB opened it.
COrvRecordset* ItemRecordset();

// S_OK when the connection and the item recordset are open (at once when the
// connection is open already); S_FALSE when the data source or the recordset
// cannot be opened; E_FAIL after a database or other error.
HRESULT OpenDB();
// Stores what the item recordset holds, closes and destroys it, then the
// connection. Safe when nothing is open.
void CloseDB();
// "Database error; RetCode 0x%X, Description %s, Native state %s" at level 1.
void ReportDBError(const CDBException& e);
// Compacts KvData.mdb in the data folder (DATAPATH) in place, without losing
// what other connections commit meanwhile; logs failures (the file is then
// left as it was) and removes a KvTempData.mdb an interrupted compaction left.
void CompactDB();

// One item row as the walk captured it.
struct ItemRow {
    std::string path;
    std::string md5;             // empty: stored as NULL
    LONG size = 0;
    bool hasTimes = false;       // drives have none: the three times are NULL
    time_t creationTime = 0;
    time_t lastModifiedTime = 0;
    time_t lastAccessedTime = 0;
    std::string owner;           // empty: stored as NULL
    int attributes = 0;
    std::string pathMd5;
    LONG profileId = 0;
};

// Rows appended since the connection was last restarted.
extern DWORD g_dwInsertCounter;

// The item append: begins a new row on the item recordset, assigns every
// field, counts the row, marks every field but ITEM_ID for writing and stores
// it. When the count reaches 1000 it is set to 0, "Reseting the database" is
// logged (level 2) and the connection restarts (CloseDB, OpenDB). The rows
// are stored, in order, by a writer with a connection and thread of its own
// while the caller goes on (see core/database/AppendWriter.h); every
// statement on the engine's connection, and CloseDB, waits for them first. A
// failure of a batch is thrown by a later append, or reported by CloseDB. A
// path or owner longer than 255 characters is stored whole and noted in the
// log (level 2). Throws CDBException, also when the item recordset is not
// open.
void AppendItemRow(const ItemRow& row);
