#include "engine/database/ConnectionBeside.h"

bool OpenBeside(CDatabase* connection, CDatabase& beside) {
    if (connection == nullptr || !connection->IsOpen()) return false;
    connection->FlushAppends();
    try {
        if (beside.OpenEx(connection->GetConnect().c_str(), CDatabase::noOdbcDialog)) return true;
    } catch (const CDBException&) {
    }
    beside.Close();
    return false;
}
