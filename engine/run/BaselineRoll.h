// The statements that roll the capture into the job's baseline, and a roll
// made ahead: on a connection and thread of its own while the comparison
// still reads, so the two use both cores. Its statements stay uncommitted,
// so the comparison's reads and every other connection go on seeing the
// previous baseline, until the check decides: committed once the comparison
// has reported everything, rolled back otherwise.
//
//   CRollAhead ahead(EngineDatabase(), job, oldList);   // starts at once
//   ... the comparison ...
//   if (ahead.Started() && ahead.Finish()) ahead.Database().CommitTrans();
//   else { /* roll on the engine's connection */ }
//   // destroyed unfinished: the statement in hand ends, all is rolled back
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>

#include "common/DebugLog.h"
#include "core/database/Database.h"
#include "platform/win/WinTypes.h"

// The roll's statements on `db`, inside the transaction the caller began,
// each followed by its line in the debug log; `oldList` is the job's
// excluded extensions as OLD_EXT_LIST keeps them. Before each statement
// `abandon` is looked at: once set, the roll ends with a throw. Throws
// CDBException.
void RollStatements(CDatabase& db, LONG job, const std::string& oldList,
                    const std::atomic<bool>* abandon = nullptr);

class CRollAhead {
public:
    // Opens its connection with OpenBeside (ConnectionBeside.h): the rows
    // still being appended are stored first, as the roll must copy them, and
    // their failure is thrown from here. Nothing runs when that gives no
    // connection, or no thread can be had.
    CRollAhead(CDatabase* connection, LONG job, std::string oldList);
    // Unfinished: waits for the statement in hand; closing the connection
    // then rolls everything back.
    ~CRollAhead();
    CRollAhead(const CRollAhead&) = delete;
    CRollAhead& operator=(const CRollAhead&) = delete;

    bool Started() const { return m_started; }
    // Waits for the statements, writes the lines they logged, in their order,
    // to the debug log, then throws what the first failing one threw. True:
    // the transaction is left open, for the caller to commit or roll back.
    // False: nothing was kept nor logged, and the roll is still to do,
    // because it waited for this call past kLockBudget, or another program
    // held the database.
    bool Finish();
    // The roll's connection, for its commit or rollback after Finish.
    CDatabase& Database() { return m_database; }

    // How long from its start a roll that is done waits for Finish, holding
    // the write lock (a roll that takes longer does not wait at all): others'
    // writes wait up to 10 s for a lock before they fail.
    static constexpr std::chrono::seconds kLockBudget{5};

private:
    void Roll(LONG job, const std::string& oldList);

    CDatabase m_database;
    std::chrono::steady_clock::time_point m_letGoAt;
    bool m_started = false;
    std::atomic<bool> m_abandon{false};
    std::mutex m_mutex;
    std::condition_variable m_decided;
    bool m_deciding = false;  // under m_mutex
    // Set on the roll's thread, read once it has ended.
    bool m_gaveUp = false;
    // The roll's log lines, kept on its thread, read only once it has ended.
    DebugLogLines m_lines;
    std::future<void> m_roll;
};
