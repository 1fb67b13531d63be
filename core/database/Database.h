// The database layer over ODBC: a connection (CDatabase), recordsets
// (CRecordset) and the one exception type of database errors
// (CDBException). Every statement is written in Jet's SQL, as the system logs
// it, and passes through JetToSqlite just before it reaches the driver.
//
//   CDatabase db;
//   if (!db.OpenEx("DSN=Kestrava Selvane Tsl 3;", CDatabase::noOdbcDialog | CDatabase::useCursorLib))
//       ...;                                   // data source missing: db.GetOpenError()
//   db.ExecuteSQL("DELETE FROM CURRENT_DATA"); // throws CDBException
//
//   CRecordset rs(&db);
//   rs.Open(CRecordset::forwardOnly, "SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = 1");
//   if (rs.GetRecordCount() > 0) { ... }       // rows seen so far: 1 after Open when there is one
//   while (!rs.IsEOF()) {
//       std::string first;
//       rs.GetFieldValue("SFIRST", first);     // NULL reads as "", see IsFieldValueNull
//       rs.MoveNext();
//   }
//   rs.Close();
//
// Appends (COrvRecordset, OrvRecordset.h) are held in memory and stored in one
// transaction per batch of up to 1000 rows: when the batch is full, before any
// other statement runs on the same connection, and when the recordset or the
// connection closes. A row the database refuses is left out of its batch and
// reported on its own (OnAppendRefused); the other rows are stored. A writer
// (AppendWriter.h) may store the batches on a thread of its own instead.
// Every other statement runs on its own (auto-commit), unless BeginTrans
// opened a transaction on the connection:
//
//   db.BeginTrans();
//   db.ExecuteSQL(...); db.ExecuteSQL(...);
//   db.CommitTrans();                        // all of them or, on a throw, none:
//   ...catch: db.Rollback();
//
// Columns are read by name without regard to case; the driver reports names
// without their table prefix (TC.PATH reads as PATH). Dates come back as
// "YYYY-MM-DD HH:MM:SS", the local date and time.
//
// While open, a connection holds its database file shared (see
// platform/odbc/DatabaseFileLock.h), so the compaction cannot replace the
// file under it.
#pragma once

#include <ctime>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/odbc/DatabaseFileLock.h"
#include "platform/odbc/Odbc.h"
#include "platform/win/WinTypes.h"

// Errors of the layer itself (no ODBC call failed) carry SQL_ERROR and a
// state of the layer's own, "KV000".
class CDBException : public std::exception {
public:
    CDBException(RETCODE retCode, std::string error, std::string stateNativeOrigin)
        : m_nRetCode(retCode), m_strError(std::move(error)), m_strStateNativeOrigin(std::move(stateNativeOrigin)) {}
    const char* what() const noexcept override { return m_strError.c_str(); }
    // An error of the layer itself: SQL_ERROR, state KV000.
    static CDBException LayerError(const std::string& description) {
        return CDBException(SQL_ERROR, description, "State:KV000,Native:0,Origin:[Database layer]\n");
    }

    RETCODE m_nRetCode;                // the ODBC return code (SQL_ERROR is -1)
    std::string m_strError;            // description, without the origin prefixes
    std::string m_strStateNativeOrigin;  // "State:%s,Native:%ld,Origin:%s\n" per record
};

// Another connection held the file (busy or locked): the same statements
// may well succeed later, unlike a refusal of the statement itself.
bool IsLockError(const CDBException& e);

class CRecordset;
class CAppendWriter;

class CDatabase {
public:
    enum DatabaseOptions {
        openExclusive = 0x0001,
        openReadOnly = 0x0002,
        useCursorLib = 0x0004,
        noOdbcDialog = 0x0008,
        forceOdbcDialog = 0x0010,
    };

    CDatabase();
    virtual ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Connects without any prompt ("ODBC;" before the string is allowed).
    // FALSE when the data source cannot be reached; the reason is kept in
    // GetOpenError(). Throws CDBException only when ODBC itself fails.
    BOOL OpenEx(LPCSTR lpszConnectString, DWORD dwOptions = 0);
    BOOL IsOpen() const { return m_hdbc != SQL_NULL_HDBC; }
    // Stores pending appends, disconnects and lets the file go; errors of the
    // pending appends are thrown after the connection is closed.
    void Close();
    // Direct execution; throws CDBException.
    void ExecuteSQL(LPCSTR lpszSQL);
    const CDBException* GetOpenError() const { return m_openError.get(); }
    const std::string& GetConnect() const { return m_connect; }

    // Stores the appends every append recordset of this connection holds.
    void FlushAppends();

    // One transaction over the statements that follow, until CommitTrans or
    // Rollback. Held appends are stored before it begins. A process that
    // dies before CommitTrans leaves none of the transaction's changes.
    // Throws CDBException.
    void BeginTrans();
    void CommitTrans();
    // Safe when no transaction is open; never throws.
    void Rollback();
    bool InTransaction() const { return m_inTransaction; }

    HDBC m_hdbc = SQL_NULL_HDBC;

private:
    friend class CRecordset;
    void Attach(CRecordset* recordset);
    void Detach(CRecordset* recordset);

    HENV m_henv = SQL_NULL_HENV;
    std::string m_connect;
    std::unique_ptr<CDBException> m_openError;
    kv::platform::DatabaseFileLock m_fileLock;
    std::vector<CRecordset*> m_appendSets;
    bool m_inTransaction = false;
};

// Field exchange: the bound fields of a recordset, listed by DoFieldExchange.
enum class FieldKind { Long, Int, Text, Date };

struct CFieldBinding {
    std::string column;  // as bound, e.g. "[PATH]"
    FieldKind kind;
    void* value;         // the std::optional member
    int maxLength;
    SWORD columnType;
    bool dirty;
};

class CFieldExchange {
public:
    std::vector<CFieldBinding>* m_fields = nullptr;
};

// A value of nullopt is NULL.
void RFX_Long(CFieldExchange* pFX, LPCSTR szName, std::optional<LONG>& value);
void RFX_Int(CFieldExchange* pFX, LPCSTR szName, std::optional<int>& value);
void RFX_Text(CFieldExchange* pFX, LPCSTR szName, std::optional<std::string>& value, int nMaxLength = 255,
              SWORD nColumnType = SQL_VARCHAR);
// A calendar time, sent as the local date and time to the second.
void RFX_Date(CFieldExchange* pFX, LPCSTR szName, std::optional<time_t>& value);

#define AFX_DB_USE_DEFAULT_TYPE (0xFFFFFFFF)

class CRecordset {
public:
    enum OpenType { dynaset = 0, snapshot = 1, dynamic = 2, forwardOnly = 3 };
    enum OpenOptions {
        none = 0x0,
        readOnly = 0x0004,
        appendOnly = 0x0008,
        optimizeBulkAdd = 0x4000,
    };

    explicit CRecordset(CDatabase* pDatabase = nullptr);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    virtual const char* GetRuntimeClassName() const { return "CRecordset"; }
    virtual std::string GetDefaultConnect() { return "ODBC;"; }
    virtual std::string GetDefaultSQL() { return std::string(); }
    virtual void DoFieldExchange(CFieldExchange*) {}

    // A SELECT statement, or a table name (the bound fields are then its
    // columns). With appendOnly nothing is fetched: the recordset only
    // takes AddNew and Update. Throws CDBException when the statement fails;
    // FALSE when there is no open connection to run it on.
    virtual BOOL Open(UINT nOpenType = AFX_DB_USE_DEFAULT_TYPE, LPCSTR lpszSQL = nullptr, DWORD dwOptions = none);
    // Stores pending appends (throws CDBException after closing when that fails).
    virtual void Close();
    BOOL IsOpen() const { return m_open; }
    BOOL IsEOF() const { return m_eof; }
    BOOL IsBOF() const { return m_rowsSeen == 0; }
    void MoveNext();
    // Rows seen so far (MoveNext counts on): 0 after opening an empty result.
    long GetRecordCount() const { return m_rowsSeen; }
    short GetODBCFieldCount() const { return static_cast<short>(m_columnNames.size()); }
    const std::string& GetFieldName(short index) const { return m_columnNames.at(static_cast<size_t>(index)); }

    // Column values of the current row as text; NULL reads as "". Throws
    // CDBException for a column the result does not have or when at EOF.
    void GetFieldValue(LPCSTR lpszName, std::string& value) const;
    void GetFieldValue(short nIndex, std::string& value) const;
    BOOL IsFieldValueNull(LPCSTR lpszName) const;
    // A date column as a calendar time (local); FALSE when it is NULL or no date.
    BOOL GetFieldValue(LPCSTR lpszName, time_t& value) const;

    // Appending: AddNew empties every bound field (all NULL), the caller sets
    // fields, marks them (SetFieldDirty), and Update keeps the row for the
    // next batch. Fields not marked dirty are not sent.
    void AddNew();
    void SetFieldDirty(void* pv, BOOL bDirty = TRUE);
    void Update();
    // Appends waiting to be stored.
    size_t PendingAppends() const { return m_pending.size(); }
    // Stores the waiting appends in one transaction. Rows the database
    // refuses are left out, each reported through OnAppendRefused; throws
    // CDBException when the batch as a whole cannot be stored (the rows are
    // then dropped and the count is in the description).
    void FlushAppends();
    // While a writer is set (see AppendWriter.h), full batches are handed to
    // it instead, and FlushAppends (so every statement on the connection,
    // and Close) first waits until it has stored every row. Null: stored
    // here again. Rows appended inside a transaction are stored in it.
    void SetAppendWriter(CAppendWriter* writer) { m_writer = writer; }
    // Hands the held rows to the writer without waiting for them (throws the
    // failure of the rows handed over before); without a writer, FlushAppends.
    void HandOverAppends();

    CDatabase* m_pDatabase;

protected:
    static const size_t kAppendBatch = 1000;
    // Held rows are stored sooner when their texts reach this size: rows of
    // very long paths would otherwise hold megabytes until the count is met.
    static const size_t kAppendBytes = 1 << 20;
    // A held row the database refused, with the texts of its bound fields in
    // field order (nullopt: NULL or not sent). The default writes the
    // database error line.
    virtual void OnAppendRefused(const std::vector<std::optional<std::string>>& values, const CDBException& e);

private:
    friend class CDatabase;
    friend class CAppendWriter;
    struct PendingRow {
        std::vector<bool> sent;  // per bound field
        std::vector<std::optional<std::string>> values;
    };
    void Bind();
    void Fetch();
    void CloseStatement();
    size_t ColumnIndex(LPCSTR lpszName) const;
    void StoreRows(const std::vector<size_t>& fields, size_t first, size_t count);
    HSTMT PreparedInsert(const std::vector<size_t>& fields, size_t count);
    void DropPrepared(HSTMT hstmt);
    void ReleasePrepared();
    void StoreRange(size_t first, size_t total);
    void StoreOneByOne();

    std::unique_ptr<CDatabase> m_ownDatabase;
    HSTMT m_hstmt = SQL_NULL_HSTMT;
    bool m_open = false;
    bool m_eof = true;
    bool m_appendOnly = false;
    long m_rowsSeen = 0;
    std::string m_table;
    std::vector<std::string> m_columnNames;
    std::vector<std::optional<std::string>> m_row;
    std::vector<CFieldBinding> m_fields;
    bool m_adding = false;
    std::vector<PendingRow> m_pending;
    size_t m_pendingBytes = 0;  // of the texts in m_pending
    CAppendWriter* m_writer = nullptr;
    // Insert statements prepared on the connection, by fields sent and rows
    // carried: a batch mostly repeats one or two of them.
    struct Prepared {
        std::vector<size_t> fields;
        size_t count;
        HSTMT hstmt;
    };
    std::vector<Prepared> m_prepared;
};

// Throws the CDBException of the diagnostics of an ODBC handle.
[[noreturn]] void ThrowDBException(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle);
