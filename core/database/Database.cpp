#include "core/database/Database.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/database/AppendWriter.h"
#include "core/database/DatabaseError.h"
#include "core/database/JetDialect.h"
#include "platform/fs/FileTime.h"
#include "platform/odbc/DataSource.h"
#include "platform/odbc/FaultPoint.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Unbracketed(const std::string& name) {
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') return name.substr(1, name.size() - 2);
    return name;
}

std::string LocalTimeText(time_t value) {
    struct tm fields {};
    if (!kv::platform::LocalTimeFields(static_cast<int64_t>(value), fields)) return std::string();
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", fields.tm_year + 1900, fields.tm_mon + 1,
                  fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
    return text;
}

bool ParseLocalTime(const std::string& text, time_t& value) {
    int y, mo, d, h = 0, mi = 0, s = 0;
    int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    if (n != 3 && n != 6) return false;
    struct tm fields {};
    fields.tm_year = y - 1900;
    fields.tm_mon = mo - 1;
    fields.tm_mday = d;
    fields.tm_hour = h;
    fields.tm_min = mi;
    fields.tm_sec = s;
    int64_t seconds = 0;
    if (!kv::platform::LocalInstant(fields, seconds)) return false;
    value = static_cast<time_t>(seconds);
    return true;
}

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Releases a statement that has run; a failure is thrown with the
// statement's diagnostics, read before the handle goes.
void FinishStatement(SQLRETURN rc, HSTMT hstmt) {
    if (!Succeeded(rc) && rc != SQL_NO_DATA) {
        try {
            ThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        } catch (...) {
            SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
            throw;
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
}

// The statement as the driver gets it.
std::string ForDriver(const char* statement) { return JetToSqlite(statement != nullptr ? statement : ""); }

}  // namespace

[[noreturn]] void ThrowDBException(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle) {
    std::string error, stateNativeOrigin;
    for (SQLSMALLINT record = 1; handle != SQL_NULL_HANDLE; ++record) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> message(SQL_MAX_MESSAGE_LENGTH + 1);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (!Succeeded(rc)) break;
        std::string text(reinterpret_cast<char*>(message.data()));
        // "[vendor][component]text": the bracketed prefixes are the origin.
        std::string origin;
        while (!text.empty() && text[0] == '[') {
            size_t close = text.find(']');
            if (close == std::string::npos) break;
            origin += text.substr(0, close + 1);
            text.erase(0, close + 1);
        }
        if (!error.empty()) error += "\n";
        error += text;
        char line[64];
        std::snprintf(line, sizeof line, ",Native:%ld,Origin:", static_cast<long>(native));
        stateNativeOrigin += std::string("State:") + reinterpret_cast<char*>(state) + line + origin + "\n";
    }
    if (error.empty() && stateNativeOrigin.empty()) {
        error = retCode == SQL_INVALID_HANDLE ? "Invalid handle." : "The database call failed.";
    }
    throw CDBException(retCode, error, stateNativeOrigin);
}

namespace {

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
    if (!Succeeded(rc) && rc != SQL_NO_DATA) ThrowDBException(rc, handleType, handle);
}

void SetAutoCommit(HDBC hdbc, bool on) {
    Check(SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, hdbc);
}

// Settings of every connection that the data source cannot carry. Debian
// builds SQLite to overwrite all it deletes with zeros, so a roll of the
// baseline wrote every page it emptied once more only to clear it. "Fast"
// still clears deleted rows on the pages that are written anyway; an emptied
// page keeps its bytes until it is reused or compacted away, in a file only
// the service's account reads. One helper thread lets an index build sort on
// a second core. A driver that refuses either works as before, so the
// outcome is not checked.
void ApplyConnectionSettings(HDBC hdbc) {
    for (const char* pragma : {"PRAGMA secure_delete = FAST", "PRAGMA threads = 1"}) {
        HSTMT hstmt = SQL_NULL_HSTMT;
        if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &hstmt))) return;
        SQLExecDirect(hstmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(pragma)), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, hstmt);
    }
}

}  // namespace

bool IsLockError(const CDBException& e) {
    const std::string& state = e.m_strStateNativeOrigin;
    return state.find("Native:5,") != std::string::npos || state.find("Native:6,") != std::string::npos ||
           e.m_strError.find("database is locked") != std::string::npos;
}

// ---------------------------------------------------------------- CDatabase

CDatabase::CDatabase() = default;

CDatabase::~CDatabase() {
    try {
        Close();
    } catch (const CDBException&) {
        // Close already let the connection go; nobody is left to tell.
    }
}

BOOL CDatabase::OpenEx(LPCSTR lpszConnectString, DWORD) {
    if (IsOpen()) return TRUE;
    m_openError.reset();
    std::string connect = lpszConnectString != nullptr ? lpszConnectString : "";
    if (connect.size() >= 5 && SameName(connect.substr(0, 5), "ODBC;")) connect.erase(0, 5);
    m_connect = connect;

    kv::platform::UseMachineDataSources();
    // The file is held before the driver opens it, so that a compaction that
    // replaces it meanwhile cannot leave this connection on the old file.
    // A connection whose file is unknown could not be kept from a
    // compaction; and the file named to the driver is the one held, whatever
    // the driver manager remembers of the data source from earlier connects.
    std::string file = kv::platform::DataSourceDatabaseFile(connect);
    if (file.empty()) {
        m_openError = std::make_unique<CDBException>(
            SQL_ERROR, "Data source name not found and no default driver specified",
            "State:IM002,Native:0,Origin:[Database layer]\n");
        return FALSE;
    }
    std::string lower;
    for (char c : connect) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("database=") == std::string::npos) {
        if (!connect.empty() && connect.back() != ';') connect += ';';
        connect += "Database=" + file + ";";
    }
    {
        DWORD error = m_fileLock.LockShared(file);
        if (error != ERROR_SUCCESS) {
            char text[64];
            std::snprintf(text, sizeof text, ",Native:%lu,Origin:[Database layer]\n", static_cast<unsigned long>(error));
            m_openError = std::make_unique<CDBException>(
                SQL_ERROR, "Could not find or open the database file " + file + ".",
                std::string("State:08001") + text);
            return FALSE;
        }
    }

    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_henv);
    if (!Succeeded(rc)) {
        m_fileLock.Unlock();
        m_henv = SQL_NULL_HENV;
        throw CDBException::LayerError("Could not allocate the ODBC environment.");
    }
    SQLSetEnvAttr(m_henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    HDBC hdbc = SQL_NULL_HDBC;
    rc = SQLAllocHandle(SQL_HANDLE_DBC, m_henv, &hdbc);
    if (!Succeeded(rc)) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        m_henv = SQL_NULL_HENV;
        m_fileLock.Unlock();
        throw CDBException::LayerError("Could not allocate the ODBC connection.");
    }
    rc = SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
        try {
            ThrowDBException(rc, SQL_HANDLE_DBC, hdbc);
        } catch (const CDBException& e) {
            m_openError = std::make_unique<CDBException>(e);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        m_henv = SQL_NULL_HENV;
        m_fileLock.Unlock();
        return FALSE;
    }
    ApplyConnectionSettings(hdbc);
    m_hdbc = hdbc;
    return TRUE;
}

void CDatabase::Close() {
    std::unique_ptr<CDBException> failure;
    // Recordsets detach themselves on Close; iterate over a copy.
    std::vector<CRecordset*> sets = m_appendSets;
    for (CRecordset* set : sets) {
        try {
            set->FlushAppends();
        } catch (const CDBException& e) {
            if (!failure) failure = std::make_unique<CDBException>(e);
        }
    }
    // What a transaction left open did is undone, never half kept.
    Rollback();
    // The driver frees its statements with the connection.
    for (CRecordset* set : m_appendSets) set->ReleasePrepared();
    if (m_hdbc != SQL_NULL_HDBC) {
        SQLDisconnect(m_hdbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_hdbc);
        m_hdbc = SQL_NULL_HDBC;
    }
    if (m_henv != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        m_henv = SQL_NULL_HENV;
    }
    m_fileLock.Unlock();
    if (failure) throw *failure;
}

void CDatabase::ExecuteSQL(LPCSTR lpszSQL) {
    if (!IsOpen()) throw CDBException::LayerError("The database is not open.");
    FlushAppends();
    HSTMT hstmt = SQL_NULL_HSTMT;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, m_hdbc, &hstmt), SQL_HANDLE_DBC, m_hdbc);
    std::string sql = ForDriver(lpszSQL);
    SQLRETURN rc = SQLExecDirect(hstmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
    FinishStatement(rc, hstmt);
    kv::platform::StatementFaultPoint(lpszSQL != nullptr ? lpszSQL : "");
}

void CDatabase::FlushAppends() {
    std::vector<CRecordset*> sets = m_appendSets;
    for (CRecordset* set : sets) set->FlushAppends();
}

void CDatabase::BeginTrans() {
    if (!IsOpen()) throw CDBException::LayerError("The database is not open.");
    if (m_inTransaction) throw CDBException::LayerError("A transaction is already open on the connection.");
    FlushAppends();
    SetAutoCommit(m_hdbc, false);
    m_inTransaction = true;
}

void CDatabase::CommitTrans() {
    if (!m_inTransaction) throw CDBException::LayerError("No transaction is open on the connection.");
    try {
        FlushAppends();
        Check(SQLEndTran(SQL_HANDLE_DBC, m_hdbc, SQL_COMMIT), SQL_HANDLE_DBC, m_hdbc);
    } catch (const CDBException&) {
        Rollback();
        throw;
    }
    m_inTransaction = false;
    SetAutoCommit(m_hdbc, true);
}

void CDatabase::Rollback() {
    if (!m_inTransaction) return;
    m_inTransaction = false;
    // Rows appended inside the transaction go with it.
    for (CRecordset* set : m_appendSets) set->m_pending.clear();
    if (m_hdbc == SQL_NULL_HDBC) return;
    SQLEndTran(SQL_HANDLE_DBC, m_hdbc, SQL_ROLLBACK);
    SQLSetConnectAttr(m_hdbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

void CDatabase::Attach(CRecordset* recordset) {
    if (std::find(m_appendSets.begin(), m_appendSets.end(), recordset) == m_appendSets.end())
        m_appendSets.push_back(recordset);
}

void CDatabase::Detach(CRecordset* recordset) {
    m_appendSets.erase(std::remove(m_appendSets.begin(), m_appendSets.end(), recordset), m_appendSets.end());
}

// ------------------------------------------------------------ field exchange

namespace {

void Exchange(CFieldExchange* pFX, LPCSTR name, FieldKind kind, void* value, int maxLength, SWORD type) {
    if (pFX == nullptr || pFX->m_fields == nullptr) return;
    pFX->m_fields->push_back(CFieldBinding{name, kind, value, maxLength, type, false});
}

}  // namespace

void RFX_Long(CFieldExchange* pFX, LPCSTR szName, std::optional<LONG>& value) {
    Exchange(pFX, szName, FieldKind::Long, &value, 0, SQL_INTEGER);
}

void RFX_Int(CFieldExchange* pFX, LPCSTR szName, std::optional<int>& value) {
    Exchange(pFX, szName, FieldKind::Int, &value, 0, SQL_SMALLINT);
}

void RFX_Text(CFieldExchange* pFX, LPCSTR szName, std::optional<std::string>& value, int nMaxLength,
              SWORD nColumnType) {
    Exchange(pFX, szName, FieldKind::Text, &value, nMaxLength, nColumnType);
}

void RFX_Date(CFieldExchange* pFX, LPCSTR szName, std::optional<time_t>& value) {
    Exchange(pFX, szName, FieldKind::Date, &value, 0, SQL_TYPE_TIMESTAMP);
}

// --------------------------------------------------------------- CRecordset

CRecordset::CRecordset(CDatabase* pDatabase) : m_pDatabase(pDatabase) {}

CRecordset::~CRecordset() {
    try {
        Close();
    } catch (const CDBException&) {
        // Whoever needs to know stores the appends before destroying the set.
    }
}

void CRecordset::Bind() {
    m_fields.clear();
    CFieldExchange fx;
    fx.m_fields = &m_fields;
    DoFieldExchange(&fx);
}

BOOL CRecordset::Open(UINT, LPCSTR lpszSQL, DWORD dwOptions) {
    if (m_open) Close();
    if (m_pDatabase == nullptr) {
        m_ownDatabase = std::make_unique<CDatabase>();
        m_pDatabase = m_ownDatabase.get();
    }
    if (!m_pDatabase->IsOpen()) {
        if (m_ownDatabase == nullptr) return FALSE;
        std::string connect = GetDefaultConnect();
        if (!m_pDatabase->OpenEx(connect.c_str(), CDatabase::noOdbcDialog)) return FALSE;
    }
    Bind();
    std::string sql = lpszSQL != nullptr && *lpszSQL != '\0' ? lpszSQL : GetDefaultSQL();
    size_t first = sql.find_first_not_of(" \t\r\n");
    std::string head = first == std::string::npos ? std::string() : sql.substr(first, 6);
    bool isSelect = SameName(head, "SELECT");
    m_appendOnly = (dwOptions & appendOnly) != 0;
    m_table.clear();
    if (!isSelect) {
        m_table = sql;
        std::string columns;
        for (const CFieldBinding& field : m_fields) columns += (columns.empty() ? "" : ", ") + field.column;
        sql = "SELECT " + (columns.empty() ? std::string("*") : columns) + " FROM " + m_table;
        // An append-only set fetches nothing; the statement only proves that
        // the table and the bound columns are there.
        if (m_appendOnly) sql += " WHERE 0 = 1";
    }

    if (!m_appendOnly) m_pDatabase->FlushAppends();
    Check(SQLAllocHandle(SQL_HANDLE_STMT, m_pDatabase->m_hdbc, &m_hstmt), SQL_HANDLE_DBC, m_pDatabase->m_hdbc);
    std::string driverSql = ForDriver(sql.c_str());
    SQLRETURN rc = SQLExecDirect(m_hstmt, reinterpret_cast<SQLCHAR*>(driverSql.data()), SQL_NTS);
    if (!Succeeded(rc) && rc != SQL_NO_DATA) {
        try {
            ThrowDBException(rc, SQL_HANDLE_STMT, m_hstmt);
        } catch (...) {
            CloseStatement();
            throw;
        }
    }
    m_columnNames.clear();
    SQLSMALLINT count = 0;
    SQLNumResultCols(m_hstmt, &count);
    for (SQLSMALLINT c = 1; c <= count; ++c) {
        SQLCHAR name[256] = {};
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(m_hstmt, c, name, sizeof name, &length, &type, &size, &digits, &nullable);
        m_columnNames.emplace_back(reinterpret_cast<char*>(name));
    }
    m_open = true;
    m_rowsSeen = 0;
    m_eof = true;
    if (m_appendOnly) {
        CloseStatement();
        m_pDatabase->Attach(this);
    } else {
        Fetch();
    }
    return TRUE;
}

void CRecordset::CloseStatement() {
    if (m_hstmt != SQL_NULL_HSTMT) {
        SQLFreeHandle(SQL_HANDLE_STMT, m_hstmt);
        m_hstmt = SQL_NULL_HSTMT;
    }
}

void CRecordset::Close() {
    if (!m_open && m_ownDatabase == nullptr) return;
    std::unique_ptr<CDBException> failure;
    if (m_appendOnly && m_open) {
        try {
            FlushAppends();
        } catch (const CDBException& e) {
            failure = std::make_unique<CDBException>(e);
        }
        m_pDatabase->Detach(this);
    }
    CloseStatement();
    ReleasePrepared();
    m_open = false;
    m_eof = true;
    m_adding = false;
    m_pending.clear();
    m_row.clear();
    if (m_ownDatabase != nullptr) {
        m_ownDatabase->Close();
        m_ownDatabase.reset();
        m_pDatabase = nullptr;
    }
    if (failure) throw *failure;
}

void CRecordset::Fetch() {
    SQLRETURN rc = SQLFetch(m_hstmt);
    if (rc == SQL_NO_DATA) {
        m_eof = true;
        m_row.clear();
        return;
    }
    Check(rc, SQL_HANDLE_STMT, m_hstmt);
    m_row.assign(m_columnNames.size(), std::nullopt);
    char buffer[4096];
    for (size_t c = 0; c < m_columnNames.size(); ++c) {
        std::string value;
        bool isNull = false;
        for (;;) {
            SQLLEN indicator = 0;
            rc = SQLGetData(m_hstmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA) break;
            Check(rc, SQL_HANDLE_STMT, m_hstmt);
            if (indicator == SQL_NULL_DATA) {
                isNull = true;
                break;
            }
            size_t got = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer)
                             ? sizeof buffer - 1
                             : static_cast<size_t>(indicator);
            value.append(buffer, got);
            if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: more to come
        }
        if (!isNull) m_row[c] = std::move(value);
    }
    m_eof = false;
    ++m_rowsSeen;
}

void CRecordset::MoveNext() {
    if (!m_open || m_appendOnly) throw CDBException::LayerError("The recordset is not open for reading.");
    if (m_eof) throw CDBException::LayerError("Attempt to scroll past end of recordset.");
    Fetch();
}

size_t CRecordset::ColumnIndex(LPCSTR lpszName) const {
    std::string name = Unbracketed(lpszName != nullptr ? lpszName : "");
    for (size_t c = 0; c < m_columnNames.size(); ++c)
        if (SameName(m_columnNames[c], name)) return c;
    throw CDBException::LayerError("Field not found: " + name + ".");
}

void CRecordset::GetFieldValue(LPCSTR lpszName, std::string& value) const {
    size_t c = ColumnIndex(lpszName);
    GetFieldValue(static_cast<short>(c), value);
}

void CRecordset::GetFieldValue(short nIndex, std::string& value) const {
    if (m_eof || nIndex < 0 || static_cast<size_t>(nIndex) >= m_row.size())
        throw CDBException::LayerError("No current record.");
    const std::optional<std::string>& field = m_row[static_cast<size_t>(nIndex)];
    value = field.has_value() ? *field : std::string();
}

BOOL CRecordset::IsFieldValueNull(LPCSTR lpszName) const {
    size_t c = ColumnIndex(lpszName);
    if (m_eof || c >= m_row.size()) throw CDBException::LayerError("No current record.");
    return m_row[c].has_value() ? FALSE : TRUE;
}

BOOL CRecordset::GetFieldValue(LPCSTR lpszName, time_t& value) const {
    if (IsFieldValueNull(lpszName)) return FALSE;
    std::string text;
    GetFieldValue(lpszName, text);
    return ParseLocalTime(text, value) ? TRUE : FALSE;
}

void CRecordset::AddNew() {
    if (!m_open || !m_appendOnly) throw CDBException::LayerError("The recordset is not open for appending.");
    for (CFieldBinding& field : m_fields) {
        field.dirty = false;
        switch (field.kind) {
        case FieldKind::Long: static_cast<std::optional<LONG>*>(field.value)->reset(); break;
        case FieldKind::Int: static_cast<std::optional<int>*>(field.value)->reset(); break;
        case FieldKind::Text: static_cast<std::optional<std::string>*>(field.value)->reset(); break;
        case FieldKind::Date: static_cast<std::optional<time_t>*>(field.value)->reset(); break;
        }
    }
    m_adding = true;
}

void CRecordset::SetFieldDirty(void* pv, BOOL bDirty) {
    for (CFieldBinding& field : m_fields)
        if (pv == nullptr || field.value == pv) field.dirty = bDirty != FALSE;
}

void CRecordset::Update() {
    if (!m_adding) throw CDBException::LayerError("Update without AddNew.");
    PendingRow row;
    row.sent.resize(m_fields.size());
    row.values.resize(m_fields.size());
    for (size_t f = 0; f < m_fields.size(); ++f) {
        const CFieldBinding& field = m_fields[f];
        row.sent[f] = field.dirty;
        if (!field.dirty) continue;
        std::optional<std::string>& text = row.values[f];
        switch (field.kind) {
        case FieldKind::Long: {
            auto& v = *static_cast<std::optional<LONG>*>(field.value);
            if (v) text = std::to_string(*v);
            break;
        }
        case FieldKind::Int: {
            auto& v = *static_cast<std::optional<int>*>(field.value);
            if (v) text = std::to_string(*v);
            break;
        }
        case FieldKind::Text: text = *static_cast<std::optional<std::string>*>(field.value); break;
        case FieldKind::Date: {
            auto& v = *static_cast<std::optional<time_t>*>(field.value);
            if (v) {
                std::string local = LocalTimeText(*v);
                if (!local.empty()) text = local;
            }
            break;
        }
        }
    }
    m_adding = false;
    // Every way of emptying the held rows leaves the vector empty.
    if (m_pending.empty()) m_pendingBytes = 0;
    for (const std::optional<std::string>& text : row.values)
        if (text) m_pendingBytes += text->size();
    m_pending.push_back(std::move(row));
    if (m_pending.size() >= kAppendBatch || m_pendingBytes >= kAppendBytes) HandOverAppends();
}

void CRecordset::HandOverAppends() {
    if (m_writer == nullptr || m_pDatabase == nullptr || m_pDatabase->InTransaction()) {
        FlushAppends();
        return;
    }
    m_writer->HandOver(*this);
}

HSTMT CRecordset::PreparedInsert(const std::vector<size_t>& fields, size_t count) {
    for (const Prepared& prepared : m_prepared)
        if (prepared.count == count && prepared.fields == fields) return prepared.hstmt;
    const size_t kKept = 4;
    if (m_prepared.size() >= kKept) DropPrepared(m_prepared.front().hstmt);
    std::string sql = "INSERT INTO " + m_table + " (";
    for (size_t i = 0; i < fields.size(); ++i) sql += (i ? ", " : "") + m_fields[fields[i]].column;
    sql += ") VALUES ";
    std::string one = "(";
    for (size_t i = 0; i < fields.size(); ++i) one += i ? ", ?" : "?";
    one += ")";
    for (size_t r = 0; r < count; ++r) sql += (r ? ", " : "") + one;
    HSTMT hstmt = SQL_NULL_HSTMT;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, m_pDatabase->m_hdbc, &hstmt), SQL_HANDLE_DBC, m_pDatabase->m_hdbc);
    SQLRETURN rc = SQLPrepare(hstmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
    if (!Succeeded(rc)) FinishStatement(rc, hstmt);  // throws, the handle freed
    m_prepared.push_back(Prepared{fields, count, hstmt});
    return hstmt;
}

void CRecordset::DropPrepared(HSTMT hstmt) {
    for (auto it = m_prepared.begin(); it != m_prepared.end(); ++it) {
        if (it->hstmt != hstmt) continue;
        SQLFreeHandle(SQL_HANDLE_STMT, it->hstmt);
        m_prepared.erase(it);
        return;
    }
}

void CRecordset::ReleasePrepared() {
    for (const Prepared& prepared : m_prepared) SQLFreeHandle(SQL_HANDLE_STMT, prepared.hstmt);
    m_prepared.clear();
}

void CRecordset::StoreRows(const std::vector<size_t>& fields, size_t first, size_t count) {
    HSTMT hstmt = PreparedInsert(fields, count);
    std::vector<SQLLEN> indicators(count * fields.size());
    SQLRETURN rc = SQL_SUCCESS;
    SQLUSMALLINT parameter = 1;
    for (size_t r = 0; r < count && Succeeded(rc); ++r) {
        PendingRow& row = m_pending[first + r];
        for (size_t i = 0; i < fields.size() && Succeeded(rc); ++i, ++parameter) {
            const CFieldBinding& field = m_fields[fields[i]];
            std::optional<std::string>& value = row.values[fields[i]];
            SQLLEN& indicator = indicators[r * fields.size() + i];
            indicator = value ? static_cast<SQLLEN>(value->size()) : SQL_NULL_DATA;
            // Texts go as they are, longer than the bound length too; dates
            // as text, so that they are stored exactly as written.
            SWORD type = field.kind == FieldKind::Date ? SQL_VARCHAR : field.columnType;
            SQLULEN size = value ? std::max<SQLULEN>(value->size(), 1) : 1;
            if (field.kind == FieldKind::Text) size = std::max<SQLULEN>(size, static_cast<SQLULEN>(field.maxLength));
            char* data = value ? value->data() : nullptr;
            rc = SQLBindParameter(hstmt, parameter, SQL_PARAM_INPUT, SQL_C_CHAR, type, size, 0, data,
                                  value ? static_cast<SQLLEN>(value->size()) : 0, &indicator);
        }
    }
    if (Succeeded(rc)) rc = SQLExecute(hstmt);
    if (!Succeeded(rc) && rc != SQL_NO_DATA) {
        try {
            ThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        } catch (...) {
            // A statement that failed is not trusted again.
            DropPrepared(hstmt);
            throw;
        }
    }
    // The bound buffers go with this call: the statement keeps none of them.
    SQLFreeStmt(hstmt, SQL_CLOSE);
    SQLFreeStmt(hstmt, SQL_RESET_PARAMS);
}

void CRecordset::StoreRange(size_t first, size_t total) {
    HDBC hdbc = m_pDatabase->m_hdbc;
    // One statement carries up to this many rows: the driver parses each
    // statement anew, so fewer, longer statements store rows much faster.
    const size_t kRowsPerStatement = 100;
    const size_t end = first + total;
    while (first < end) {
        // Rows that send the same fields go in one statement.
        std::vector<size_t> fields;
        for (size_t f = 0; f < m_fields.size(); ++f)
            if (m_pending[first].sent[f]) fields.push_back(f);
        size_t count = 1;
        while (first + count < end && count < kRowsPerStatement &&
               m_pending[first + count].sent == m_pending[first].sent)
            ++count;
        if (fields.empty()) {
            std::string sql = "INSERT INTO " + m_table + " DEFAULT VALUES";
            for (size_t r = 0; r < count; ++r) {
                HSTMT hstmt = SQL_NULL_HSTMT;
                Check(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &hstmt), SQL_HANDLE_DBC, hdbc);
                FinishStatement(SQLExecDirect(hstmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), hstmt);
            }
        } else {
            StoreRows(fields, first, count);
        }
        first += count;
    }
}

// The batch failed as a whole: one row the database refuses must not take the
// others with it, so they are stored one by one in a transaction of their own.
void CRecordset::StoreOneByOne() {
    // Beyond this many refusals the cause is not the rows: the batch goes.
    const size_t kMaxRefusedRows = 10;
    HDBC hdbc = m_pDatabase->m_hdbc;
    size_t refused = 0;
    SetAutoCommit(hdbc, false);
    for (size_t r = 0; r < m_pending.size(); ++r) {
        try {
            StoreRange(r, 1);
        } catch (const CDBException& e) {
            if (IsLockError(e) || ++refused > kMaxRefusedRows) throw;
            OnAppendRefused(m_pending[r].values, e);
        }
    }
    Check(SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_COMMIT), SQL_HANDLE_DBC, hdbc);
}

void CRecordset::OnAppendRefused(const std::vector<std::optional<std::string>>&, const CDBException& e) {
    WriteDBErrorLine(e);
}

void CRecordset::FlushAppends() {
    if (m_writer != nullptr) {
        // The rows handed over come first: rows are stored in the order they
        // were appended.
        if (m_pDatabase == nullptr || !m_pDatabase->InTransaction()) m_writer->HandOver(*this);
        m_writer->Wait();
    }
    if (m_pending.empty()) return;
    if (m_pDatabase == nullptr || !m_pDatabase->IsOpen()) {
        size_t lost = m_pending.size();
        m_pending.clear();
        throw CDBException::LayerError("The database is not open; " + std::to_string(lost) + " rows were not stored.");
    }
    HDBC hdbc = m_pDatabase->m_hdbc;
    const size_t total = m_pending.size();
    if (m_pDatabase->InTransaction()) {
        // The caller's transaction holds the rows: they stand or fall with it.
        try {
            StoreRange(0, total);
        } catch (...) {
            m_pending.clear();
            throw;
        }
        m_pending.clear();
        return;
    }
    std::unique_ptr<CDBException> failure;
    try {
        SetAutoCommit(hdbc, false);
        StoreRange(0, total);
        Check(SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_COMMIT), SQL_HANDLE_DBC, hdbc);
    } catch (const CDBException& e) {
        SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK);
        failure = std::make_unique<CDBException>(e);
    }
    if (failure && !IsLockError(*failure)) {
        if (total == 1) {
            OnAppendRefused(m_pending[0].values, *failure);
            failure.reset();
        } else {
            try {
                StoreOneByOne();
                failure.reset();
            } catch (const CDBException& e) {
                SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK);
                *failure = e;
            }
        }
    }
    SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    m_pending.clear();
    if (failure) {
        failure->m_strError += "\n" + std::to_string(total) + " appended rows were not stored.";
        throw *failure;
    }
}
