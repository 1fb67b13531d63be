#include "engine/database/QueryAhead.h"

#include <system_error>

#include "engine/database/ConnectionBeside.h"

CQueryAhead::CQueryAhead(CDatabase* connection, const std::string& sql) {
    if (!OpenBeside(connection, m_database)) return;
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
