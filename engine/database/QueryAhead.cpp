#include "engine/database/QueryAhead.h"

#include <system_error>

CQueryAhead::CQueryAhead(CDatabase* connection, const std::string& sql) {
    // Without the engine's connection the reads before this one find
    // nothing either; this one then runs nowhere rather than alone.
    if (connection == nullptr || !connection->IsOpen()) return;
    connection->FlushAppends();
    // The connection is made here, on the caller's thread, as every other
    // one is, to the data source the engine's connection reaches; only the
    // statement runs on the second thread.
    try {
        if (!m_database.OpenEx(connection->GetConnect().c_str(), CDatabase::noOdbcDialog)) return;
    } catch (const CDBException&) {
        return;
    }
    m_recordset = std::make_unique<CRecordset>(&m_database);
    try {
        m_read = std::async(std::launch::async,
                            [this, sql] { m_recordset->Open(CRecordset::forwardOnly, sql.c_str()); });
    } catch (const std::system_error&) {
        // No thread to be had: the caller runs the read itself.
        m_recordset.reset();
        m_database.Close();
    }
}

CRecordset* CQueryAhead::Take() {
    if (m_read.valid()) m_read.get();
    return m_recordset.get();
}
