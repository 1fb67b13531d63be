#include "core/database/AppendWriter.h"

#include <utility>

CAppendWriter::CAppendWriter(std::unique_ptr<CDatabase> connection, std::unique_ptr<CRecordset> sink)
    : m_connection(std::move(connection)), m_sink(std::move(sink)), m_thread([this] { Work(); }) {}

CAppendWriter::~CAppendWriter() {
    {
        std::unique_lock<std::mutex> held(m_lock);
        std::unique_ptr<CDBException> failure;
        DebugLogLines log;
        Settle(held, failure, log);
        m_stopping = true;
        WriteDebugLogLines(log);
    }
    m_changed.notify_all();
    m_thread.join();
    try {
        m_sink->Close();
        m_connection->Close();
    } catch (const CDBException&) {
        // Nothing is held any more: only the disconnect failed.
    }
}

void CAppendWriter::Work() {
    std::unique_lock<std::mutex> held(m_lock);
    for (;;) {
        m_changed.wait(held, [this] { return m_storing || m_stopping; });
        if (!m_storing) return;
        // The sink's rows are this thread's alone while it stores them.
        held.unlock();
        std::unique_ptr<CDBException> failure;
        DebugLogLines log;
        {
            DebugLogCapture capture(log);
            try {
                m_sink->FlushAppends();
            } catch (const CDBException& e) {
                failure = std::make_unique<CDBException>(e);
            } catch (const std::exception& e) {
                failure = std::make_unique<CDBException>(CDBException::LayerError(e.what()));
            }
        }
        held.lock();
        m_failure = std::move(failure);
        m_log = std::move(log);
        m_storing = false;
        m_changed.notify_all();
    }
}

void CAppendWriter::Settle(std::unique_lock<std::mutex>& held, std::unique_ptr<CDBException>& failure,
                           DebugLogLines& log) {
    m_changed.wait(held, [this] { return !m_storing; });
    failure = std::move(m_failure);
    log = std::move(m_log);
    m_log.clear();
}

void CAppendWriter::Report(std::unique_ptr<CDBException>& failure, const DebugLogLines& log) {
    WriteDebugLogLines(log);
    if (failure) throw *failure;
}

void CAppendWriter::HandOver(CRecordset& source) {
    std::unique_ptr<CDBException> failure;
    DebugLogLines log;
    {
        std::unique_lock<std::mutex> held(m_lock);
        // Nothing to hand over: no reason to wait for the batch being stored.
        if (source.m_pending.empty() && m_storing) return;
        Settle(held, failure, log);
        if (!source.m_pending.empty()) {
            m_sink->m_pending = std::move(source.m_pending);
            source.m_pending.clear();
            source.m_pendingBytes = 0;
            m_storing = true;
            m_changed.notify_all();
        }
    }
    Report(failure, log);
}

void CAppendWriter::Wait() {
    std::unique_ptr<CDBException> failure;
    DebugLogLines log;
    {
        std::unique_lock<std::mutex> held(m_lock);
        Settle(held, failure, log);
    }
    Report(failure, log);
}
