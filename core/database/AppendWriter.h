// A thread and a connection of their own that store the appends of a
// recordset while its owner goes on: the owner hands each full batch over
// and carries on filling the next one. The rows are stored in the order they
// were appended, one batch after the other, each in its transaction, exactly
// as FlushAppends would have stored them. What their storing logged is
// written, and a failure thrown, at the owner's next hand-over or wait: one
// batch later than FlushAppends reports it, never lost.
//
//   auto connection = std::make_unique<CDatabase>();
//   connection->OpenEx(connect, CDatabase::noOdbcDialog);
//   auto sink = std::make_unique<COrvRecordset>(connection.get());
//   sink->Open(CRecordset::snapshot, "CURRENT_DATA", CRecordset::appendOnly | CRecordset::optimizeBulkAdd);
//   CAppendWriter writer(std::move(connection), std::move(sink));
//   items.SetAppendWriter(&writer);   // items: the same class, open on the caller's connection
//   ... items.AddNew(); ...; items.Update();   // full batches go to the writer
//   items.FlushAppends();             // waits until every row is stored (as every statement on
//                                     // items' connection does first)
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/DebugLog.h"
#include "core/database/Database.h"

class CAppendWriter {
public:
    // sink: an append-only recordset of the class of the ones that hand rows
    // over, open on connection.
    CAppendWriter(std::unique_ptr<CDatabase> connection, std::unique_ptr<CRecordset> sink);
    // Waits for the rows handed over and writes what they logged; their
    // failure is dropped here, so the owner waits first to learn of it.
    // Never throws.
    ~CAppendWriter();
    CAppendWriter(const CAppendWriter&) = delete;
    CAppendWriter& operator=(const CAppendWriter&) = delete;

    // Takes the rows source holds (leaving it none) once the batch before is
    // stored, and returns while they are stored. Writes the lines the batch
    // before logged and throws its failure (CDBException), after taking
    // these rows.
    void HandOver(CRecordset& source);
    // Returns when every row handed over is stored; writes what their storing
    // logged and throws its failure.
    void Wait();

private:
    void Work();
    // Waits for the batch being stored; its failure and lines move to the
    // caller's. Called with m_lock held.
    void Settle(std::unique_lock<std::mutex>& held, std::unique_ptr<CDBException>& failure, DebugLogLines& log);
    static void Report(std::unique_ptr<CDBException>& failure, const DebugLogLines& log);

    std::unique_ptr<CDatabase> m_connection;
    std::unique_ptr<CRecordset> m_sink;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_storing = false;
    bool m_stopping = false;
    std::unique_ptr<CDBException> m_failure;
    DebugLogLines m_log;
    std::thread m_thread;
};
