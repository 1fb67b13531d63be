#include "engine/run/BaselineRoll.h"

#include <optional>
#include <chrono>
#include <system_error>

#include "common/DebugLog.h"
#include "core/database/BulkIndexes.h"
#include "engine/database/ConnectionBeside.h"

namespace {

// An SQL text literal: a quote inside the text is doubled.
std::string QuotedForSql(const std::string& text) {
    std::string quoted;
    for (char c : text) {
        quoted.push_back(c);
        if (c == '\'') quoted.push_back('\'');
    }
    return quoted;
}

}  // namespace

void RollStatements(CDatabase& db, LONG job, const std::string& oldList, const std::atomic<bool>* abandon) {
    const std::string id = std::to_string(job);
    auto go = [abandon] {
        if (abandon != nullptr && abandon->load()) throw CDBException::LayerError("The roll was abandoned.");
    };
    auto run = [&](const std::string& sql) {
        go();
        db.ExecuteSQL(sql.c_str());
    };
    // The links' path index goes while their statement runs: with it, the
    // database would walk both path lists of that statement to probe a table
    // of a few rows.
    go();
    CBulkIndexes links(db, "FILES_PROFILES_LNK");
    run("DELETE * FROM FILES_PROFILES_LNK WHERE (PROFILE_ID = 0 OR PROFILE_ID = " + id +
        ") AND FLAG = 1 AND (PATH_MD5 IN(SELECT PATH_MD5 FROM CURRENT_DATA) OR PATH_MD5 "
        "IN(SELECT PATH_MD5 FROM OLD_DATA WHERE PROFILE_ID = " + id + "))");
    WriteDebugLog(7, "FILES_PROFILES_LNK for current profile cleared");
    // The roll rewrites the job's share of the baseline: when that is most of
    // it, its indexes are made again afterwards rather than updated row by
    // row. Not before the links' statement, which reads the job's paths from
    // the job index in key order; without it, that list is gathered from the
    // whole table in random order.
    std::optional<CBulkIndexes> baseline;
    go();
    if (4 * CountRows(db, "CURRENT_DATA") >= CountRows(db, "OLD_DATA")) baseline.emplace(db, "OLD_DATA");
    run("DELETE FROM OLD_DATA WHERE PROFILE_ID = " + id + " OR PATH_MD5 IN(SELECT PATH_MD5 FROM CURRENT_DATA)");
    WriteDebugLog(7, "Old data for current profile cleared.");
    run("INSERT INTO OLD_DATA SELECT * FROM CURRENT_DATA");
    WriteDebugLog(7, "Current data copied into the old data table");
    run("DELETE FROM CURRENT_DATA");
    WriteDebugLog(7, "Current data table cleared");
    WriteDebugLogF(7, "OldExtList :%s", oldList.c_str());
    run("UPDATE PROFILES SET OLD_EXT_LIST = '" + QuotedForSql(oldList) + "' WHERE PROFILE_ID = " + id);
    WriteDebugLog(7, "Old excluded extensions for current profile updated.");
    go();
    if (baseline) baseline->Restore();
    go();
    links.Restore();
}

CRollAhead::CRollAhead(CDatabase* connection, LONG job, std::string oldList)
    : m_letGoAt(std::chrono::steady_clock::now() + kLockBudget) {
    if (!OpenBeside(connection, m_database)) return;
    try {
        m_database.BeginTrans();
    } catch (const CDBException&) {
        m_database.Close();
        return;
    }
    try {
        m_roll = std::async(std::launch::async, [this, job, list = std::move(oldList)] { Roll(job, list); });
        m_started = true;
    } catch (const std::system_error&) {
        // No thread to be had: the roll is made where it is asked for.
        m_database.Rollback();
        m_database.Close();
    }
}

void CRollAhead::Roll(LONG job, const std::string& oldList) {
    try {
        DebugLogCapture capture(m_lines);
        RollStatements(m_database, job, oldList, &m_abandon);
    } catch (...) {
        m_database.Rollback();
        throw;
    }
    // The roll holds the database's write lock until the check decides.
    // Others' writes (an administrator saving a scan job) wait for it, as
    // for any roll; when the comparison is slow to end (a mail server that
    // does not answer), it lets go rather than have them wait so long they
    // fail.
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_decided.wait_until(lock, m_letGoAt, [this] { return m_deciding || m_abandon; })) {
        m_database.Rollback();
        m_gaveUp = true;
    }
}

CRollAhead::~CRollAhead() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_abandon = true;
    }
    m_decided.notify_all();
    if (m_roll.valid()) m_roll.wait();
}

bool CRollAhead::Finish() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deciding = true;
    }
    m_decided.notify_all();
    m_roll.wait();
    if (m_gaveUp) return false;
    try {
        // Another program held the file as the roll began: made again
        // afterwards, it may well get through.
        m_roll.get();
    } catch (const CDBException& e) {
        if (IsLockError(e)) return false;
        WriteDebugLogLines(m_lines);
        throw;
    }
    WriteDebugLogLines(m_lines);
    return true;
}
