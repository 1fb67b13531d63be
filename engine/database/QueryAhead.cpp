#include "engine/database/QueryAhead.h"

#include <system_error>

#include "common/ProductStrings.h"
#include "strings/CodeMap.h"

CQueryAhead::CQueryAhead(CDatabase* connection, const std::string& sql) {
    // Without the engine's connection the reads before this one find
    // nothing either; this one then runs nowhere rather than alone.
    if (connection == nullptr || !connection->IsOpen()) return;
    connection->FlushAppends();
    // The connection is made here, on the caller's thread, as every other
    // one is; only the statement runs on the second thread.
    try {
        if (!m_database.OpenEx(ProductText(PSC_CONNECT_STRING), CDatabase::noOdbcDialog)) return;
    } catch (const CDBException&) {
        return;
    }
    m_recordset = std::make_unique<CRecordset>(&m_database);
    try {
        m_thread = std::thread([this, sql] {
            try {
                m_recordset->Open(CRecordset::forwardOnly, sql.c_str());
            } catch (...) {
                m_failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the caller runs the read itself.
        m_recordset.reset();
        m_database.Close();
    }
}

CQueryAhead::~CQueryAhead() { Wait(); }

void CQueryAhead::Wait() {
    if (m_thread.joinable()) m_thread.join();
}

CRecordset* CQueryAhead::Take() {
    Wait();
    if (m_failure) std::rethrow_exception(m_failure);
    return m_recordset.get();
}
