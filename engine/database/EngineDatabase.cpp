#include "engine/database/EngineDatabase.h"

#include <memory>
#include <string>

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/Settings.h"
#include "core/database/AppendWriter.h"
#include "core/database/DatabaseError.h"
#include "platform/jet/JetCompaction.h"
#include "strings/CodeMap.h"

// The walk's SaveItem may define the counter itself; this one then yields.
__attribute__((weak)) DWORD g_dwInsertCounter = 0;

namespace {

std::unique_ptr<CDatabase> g_database;
std::unique_ptr<COrvRecordset> g_itemRecordset;
// The item rows are stored on a connection and thread of their own, held
// from the first OpenDB of a check to its CloseDB, while the walk goes on.
// Held across the restart every 1000 rows, the connection also keeps the
// restart from being the last close of the file, which would fold the
// write-ahead log into the file and wait for the disk each time.
std::unique_ptr<CAppendWriter> g_writer;

// The writer, or null when its connection cannot be had: the rows are then
// stored on the visible connection, only more slowly.
std::unique_ptr<CAppendWriter> StartWriter() {
    try {
        auto connection = std::make_unique<CDatabase>();
        if (!connection->OpenEx(ProductText(PSC_CONNECT_STRING), CDatabase::noOdbcDialog)) return nullptr;
        auto sink = std::make_unique<COrvRecordset>(connection.get());
        if (!sink->Open(CRecordset::snapshot, "CURRENT_DATA", CRecordset::appendOnly | CRecordset::optimizeBulkAdd))
            return nullptr;
        return std::make_unique<CAppendWriter>(std::move(connection), std::move(sink));
    } catch (const CDBException&) {
        return nullptr;
    }
}

const size_t kColumnChars = 255;
const DWORD kRowsPerConnection = 1000;

}  // namespace

void NewEngineDatabase() {
    CloseDB();
    g_database = std::make_unique<CDatabase>();
}

CDatabase* EngineDatabase() { return g_database.get(); }

COrvRecordset* ItemRecordset() { return g_itemRecordset.get(); }

void ReportDBError(const CDBException& e) { WriteDBErrorLine(e); }

HRESULT OpenDB() {
    try {
        if (g_database == nullptr) g_database = std::make_unique<CDatabase>();
        if (g_database->IsOpen()) return S_OK;
        if (!g_database->OpenEx(ProductText(PSC_CONNECT_STRING), CDatabase::noOdbcDialog | CDatabase::useCursorLib)) {
            WriteDebugLog(1, "Could not open the database");
            if (const CDBException* reason = g_database->GetOpenError()) ReportDBError(*reason);
            return S_FALSE;
        }
        WriteDebugLog(7, "Database open");
        if (g_writer == nullptr) g_writer = StartWriter();
        g_itemRecordset.reset();
        g_itemRecordset = std::make_unique<COrvRecordset>(g_database.get());
        if (!g_itemRecordset->Open(CRecordset::snapshot, "CURRENT_DATA",
                                   CRecordset::appendOnly | CRecordset::optimizeBulkAdd)) {
            WriteDebugLog(1, "Could not open the insert recordset");
            return S_FALSE;
        }
        g_itemRecordset->SetAppendWriter(g_writer.get());
        return S_OK;
    } catch (const CDBException& e) {
        WriteDebugLog(1, "Error openning the database");
        ReportDBError(e);
        return E_FAIL;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in OpenDB");
        return E_FAIL;
    }
}

namespace {

void CloseConnection() {
    if (g_itemRecordset != nullptr) {
        try {
            g_itemRecordset->Close();
        } catch (const CDBException& e) {
            ReportDBError(e);
        }
        g_itemRecordset.reset();
    }
    if (g_database != nullptr) {
        try {
            g_database->Close();
        } catch (const CDBException& e) {
            ReportDBError(e);
        }
        g_database.reset();
    }
}

}  // namespace

void CloseDB() {
    // The item recordset waits for the writer as it closes.
    CloseConnection();
    if (g_writer != nullptr) {
        try {
            g_writer->Wait();
        } catch (const CDBException& e) {
            ReportDBError(e);
        }
        g_writer.reset();
    }
}

void AppendItemRow(const ItemRow& row) {
    COrvRecordset* rs = g_itemRecordset.get();
    if (rs == nullptr || !rs->IsOpen())
        throw CDBException::LayerError("The item recordset is not open.");
    rs->AddNew();
    // Longer texts than the columns were made for are kept whole: a cut path
    // would name another file, and a cut owner another account.
    if (row.path.size() > kColumnChars)
        WriteDebugLogF(2, "Path longer than %u characters stored whole: %s", static_cast<unsigned>(kColumnChars),
                       row.path.c_str());
    if (row.owner.size() > kColumnChars)
        WriteDebugLogF(2, "Owner longer than %u characters stored whole for %s", static_cast<unsigned>(kColumnChars),
                       row.path.c_str());
    rs->m_PATH = row.path;
    if (!row.md5.empty()) rs->m_MD5 = row.md5;
    if (row.hasTimes) rs->m_CREATION_TIME = row.creationTime;
    if (!row.owner.empty()) rs->m_OWNER = row.owner;
    if (row.hasTimes) {
        rs->m_LAST_MODIFIED_TIME = row.lastModifiedTime;
        rs->m_LAST_ACCESSED_TIME = row.lastAccessedTime;
    }
    rs->m_ATTRIBUTES = row.attributes;
    rs->m_PROFILE_ID = std::to_string(row.profileId);
    rs->m_SIZE = row.size;
    rs->m_PATH_MD5 = row.pathMd5;

    ++g_dwInsertCounter;
    rs->SetFieldDirty(nullptr, TRUE);
    rs->SetFieldDirty(&rs->m_ITEM_ID, FALSE);
    rs->Update();
    if (g_dwInsertCounter >= kRowsPerConnection) {
        g_dwInsertCounter = 0;
        WriteDebugLog(2, "Reseting the database");
        // Handed to the writer, which stores them while the walk goes on; a
        // failure of these rows reaches the caller of a later append, or of
        // CloseDB.
        rs->HandOverAppends();
        rs->SetAppendWriter(nullptr);
        CloseConnection();
        OpenDB();
    }
}

void CompactDB() {
    std::string folder = g_szDataPath;
    std::string source = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "\\KvData.mdb";
    std::string destination =
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "\\KvTempData.mdb;Jet OLEDB:Engine Type=4";
    kv::platform::JetCompaction engine;
    try {
        std::string description;
        HRESULT result = engine.CompactDatabase(source, destination, description);
        if (engine.RemovedLeftover())
            WriteDebugLog(2, ("Removed the copy an interrupted compaction left: " + folder + "\\KvTempData.mdb").c_str());
        if (FAILED(result)) WriteDebugLog(1, ("Error in CompactDB: " + description).c_str());
    } catch (...) {
        WriteDebugLog(1, "Error in CompactDB: ");
    }
}
