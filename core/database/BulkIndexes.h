// The indexes of a table set aside while statements rewrite most of its rows:
// updated row by row, each index costs a random-order insert or delete per
// row, which grows faster than the rows once the index outgrows the cache;
// dropped before and made again after, each costs one sort. Used inside a
// transaction (CDatabase::BeginTrans), so that whatever happens in between,
// the table keeps its indexes.
//
//   db.BeginTrans();
//   CBulkIndexes indexes(db, "OLD_DATA");   // reads their definitions, drops them
//   db.ExecuteSQL("DELETE ...");  db.ExecuteSQL("INSERT ...");
//   indexes.Restore();                      // made again from those definitions
//   db.CommitTrans();
#pragma once

#include <string>
#include <vector>

#include "core/database/Database.h"

class CBulkIndexes {
public:
    // The indexes declared on the table (not those the database makes for
    // its constraints). Throws CDBException.
    CBulkIndexes(CDatabase& db, const std::string& table);
    CBulkIndexes(const CBulkIndexes&) = delete;
    CBulkIndexes& operator=(const CBulkIndexes&) = delete;

    // Throws CDBException.
    void Restore();

private:
    CDatabase& m_db;
    std::vector<std::string> m_definitions;
};

// Rows of a table (a count the database keeps no faster than a scan of its
// smallest index). Throws CDBException.
long CountRows(CDatabase& db, const std::string& table);
