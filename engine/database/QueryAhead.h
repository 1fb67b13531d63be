// A read of the comparison that runs on a connection and thread of its own
// while the engine's connection answers the read before it, so the database
// works on two cores at once. Only for tables nothing commits to meanwhile
// (the roll made beside the comparison commits after it): both reads then
// see the same rows they would have seen one after the other.
//
//   CQueryAhead removed(EngineDatabase(), removedSql);   // starts at once
//   ... other reads on EngineDatabase() ...
//   CRecordset* rs = removed.Take();        // waits; throws what its open threw
//   if (rs == nullptr) { /* no second connection: run it on the engine's */ }
#pragma once

#include <future>
#include <memory>
#include <string>

#include "core/database/Database.h"

class CQueryAhead {
public:
    // Opens its connection with OpenBeside (ConnectionBeside.h), whose
    // failure to store appended rows is thrown from here; nothing runs when
    // that gives none.
    CQueryAhead(CDatabase* connection, const std::string& sql);
    CQueryAhead(const CQueryAhead&) = delete;
    CQueryAhead& operator=(const CQueryAhead&) = delete;

    // The recordset, open on its first row, once the read is done; throws the
    // CDBException (or whatever else) opening it threw. Null when it never
    // ran, because the engine's connection was not open or no second
    // connection or thread could be had.
    CRecordset* Take();

private:
    CDatabase m_database;
    std::unique_ptr<CRecordset> m_recordset;
    // Destroyed first: its end waits for the read, also when the caller
    // leaves early (a stop, an error), and what it found or threw goes unread.
    std::future<void> m_read;
};
