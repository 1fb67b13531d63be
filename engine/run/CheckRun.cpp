#include "engine/run/CheckRun.h"

#include <memory>
#include <string>

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "engine/EngineState.h"
#include "engine/OrvEngine.h"
#include "engine/alert/AlertSpool.h"
#include "engine/alert/DispatchResults.h"
#include "engine/database/EngineDatabase.h"
#include "engine/run/BaselineRoll.h"
#include "engine/run/CurrentProfile.h"
#include "engine/scope/ExtensionRules.h"
#include "engine/scope/ProfileScope.h"
#include "engine/scope/ScopeLists.h"
#include "engine/walk/FingerPrintAhead.h"
#include "engine/walk/Walk.h"
#include "strings/CodeMap.h"

namespace {

// The drives of the running check; owned by the list.
ItemList g_driveList(true);
// The roll made while the comparison reads, until UpdateData commits it.
std::unique_ptr<CRollAhead> g_rollAhead;

std::string Number(LONG value) { return std::to_string(value); }

// The pauses of the walk (WALKDELAY, MATCHDELAY); absent values keep the
// defaults of 2 and 1 milliseconds.
void ReadPacing() {
    DWORD walk = 2, match = 1;
    ReadOptionalValueFromRegistry("WALKDELAY", &walk, sizeof walk);
    ReadOptionalValueFromRegistry("MATCHDELAY", &match, sizeof match);
    g_dwWalkDelay = walk;
    g_dwMatchDelay = match;
}

// The walk appends rows in the order it finds them, a random order of their
// path keys: an index kept up to date through it would cost a random page
// per row. It is made once the walk is over, in one sort, before anything
// looks rows up by path. A check that dies before that leaves the table
// without it; the next one empties the table and makes it again.
const char* const kDropItemPathIndex = "DROP INDEX IF EXISTS CURRENT_DATA_PATH_MD5";
const char* const kMakeItemPathIndex = "CREATE INDEX IF NOT EXISTS CURRENT_DATA_PATH_MD5 ON CURRENT_DATA (PATH_MD5)";

// Either way the comparison and the roll give the same results, only more
// slowly without the index: a failure is logged, never the end of a check.
void RunIndexStatement(const char* statement) {
    CDatabase* db = EngineDatabase();
    if (db == nullptr || !db->IsOpen()) return;
    try {
        db->ExecuteSQL(statement);
    } catch (const CDBException& e) {
        ReportDBError(e);
    }
}

void EndSteps() {
    AbandonUpdateData();
    CloseDB();
    g_driveList.RemoveAll();
    CompactDB();
    WriteDebugLog(1, "<< CheckFiles - STOP");
}

}  // namespace

HRESULT PrepareData() {
    WriteDebugLog(6, ">> PrepareData");
    try {
        OpenDB();
        RunIndexStatement(kDropItemPathIndex);
        EngineDatabase()->ExecuteSQL("DELETE FROM CURRENT_DATA");
        WriteDebugLog(7, "Current data table cleared");
        WriteDebugLog(6, "<< PrepareData");
        return S_OK;
    } catch (const CDBException& e) {
        ReportDBError(e);
        return E_FAIL;
    }
}

// The roll is one transaction: a check that dies or is refused half-way
// leaves the previous baseline whole, so the next check reports again what
// this one saw, instead of finding an empty baseline that hides every change.
HRESULT UpdateData() {
    WriteDebugLog(6, ">> UpdateData");
    std::unique_ptr<CRollAhead> ahead = std::move(g_rollAhead);
    CDatabase* db = nullptr;
    try {
        if (ahead != nullptr) {
            db = &ahead->Database();
            if (!ahead->Finish()) {
                WriteDebugLog(6, "The roll made beside the comparison was let go; made again");
                db = nullptr;
                ahead.reset();
            }
        }
        if (ahead == nullptr) {
            OpenDB();
            db = EngineDatabase();
            if (db == nullptr) throw CDBException::LayerError("The database is not open.");
            db->BeginTrans();
            RollStatements(*db, g_nCurrentProfile, FormatOldExtList(g_excludedExtensions));
        }
        if (g_bFirstCheck) {
            // The registry copy only stands in when the job's row cannot be
            // read, and then nothing is rolled: written ahead of the commit,
            // it can never make a check that failed count as done.
            g_bFirstCheck = FALSE;
            DWORD zero = 0;
            SaveValueToRegistry("SFIRST", REG_DWORD, &zero, sizeof zero);
            WriteDebugLog(7, "Set SFIRST value of the profile to 0");
            db->ExecuteSQL(("UPDATE PROFILES SET SFIRST = 0 WHERE PROFILE_ID = " + Number(g_nCurrentProfile)).c_str());
            WriteDebugLog(7, "Set SFIRST value of the profile to 0 - SUCCESFULL");
        }
        db->CommitTrans();
        g_excludedExtensions.clear();
        g_oldExcludedExtensions.clear();
        g_cList.clear();
        g_oList.clear();
        WriteDebugLog(6, "<< UpdateData");
        return S_OK;
    } catch (const CDBException& e) {
        if (db != nullptr) db->Rollback();
        ReportDBError(e);
        return E_FAIL;
    }
}

void StartUpdateData() {
    g_rollAhead.reset();
    if (g_bFirstCheck || StopRequested()) return;
    try {
        auto ahead = std::make_unique<CRollAhead>(EngineDatabase(), g_nCurrentProfile,
                                                  FormatOldExtList(g_excludedExtensions));
        if (ahead->Started()) g_rollAhead = std::move(ahead);
    } catch (const CDBException& e) {
        // Rows of the capture that could not be stored: said here, where it
        // is found; the roll is then made after the comparison, as ever.
        ReportDBError(e);
    }
}

void AbandonUpdateData() { g_rollAhead.reset(); }

HRESULT RunCheck(LONG* stopFlag) {
    try {
        LoadProductStrings();
        SetResourceHandle(GetResourceModule());
        NewEngineDatabase();
        GetDebugSettingsFromRegistry();
        g_bFirstCheck = g_dwFirstCheck != 0 ? TRUE : FALSE;
        ReadPacing();
        WriteDebugLog(7, ">> CheckFiles");
        GetCurrentProfile();
        g_pStopFlag = stopFlag;
        WriteDebugLog(7, "Open the database");
        WriteDebugLog(7, ProductText(PSC_CONNECT_STRING));
        if (OpenDB() != S_OK) return S_FALSE;
        WriteDebugLog(7, "Prepare the data");
        PrepareData();

        WriteDebugLog(7, "Get SFIRST value of the profile");
        bool haveJob = false;
        {
            CRecordset first(EngineDatabase());
            try {
                first.Open(CRecordset::forwardOnly,
                           ("SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = " + Number(g_nCurrentProfile)).c_str());
                if (!first.IsEOF()) {
                    std::string value;
                    first.GetFieldValue("SFIRST", value);
                    g_bFirstCheck = value == "1" ? TRUE : FALSE;
                    haveJob = true;
                }
                first.Close();
            } catch (const CDBException& e) {
                ReportDBError(e);
            }
        }
        if (haveJob) {
            LoadExtensionFile(std::string(g_szDataPath) + "\\ExtExcluded.dat", g_excludedExtensions, false);
            InitProfiles();
            WriteDebugLog(1, "Start");
            IsCurrentProfileEnabled();
            ReadDrives(g_driveList);
            bool stopped = false;
            {
                // Files are read on every core; only for the walk, as the
                // engine may be unloaded between checks.
                FingerPrintWorkers workers;
                while (!g_driveList.IsEmpty()) {
                    ScanItem* drive = g_driveList.GetHead();
                    drive->children = std::make_unique<ItemList>();
                    HRESULT result = ReadFromSystem(*drive->children, drive);
                    delete g_driveList.RemoveHead();
                    if (result == WALK_STOPPED) {
                        WriteDebugLog(2, "Stop Service encountered 3");
                        stopped = true;
                        break;
                    }
                }
            }
            if (!stopped) {
                RunIndexStatement(kMakeItemPathIndex);
                InitCore();
                // Alerts an earlier check could not deliver go first, also
                // when this check has none of its own.
                SendSpooledAlerts();
                // A comparison that stopped did not report everything it
                // found: the baseline stays, so the next check reports it.
                bool compared = true;
                if (!g_bFirstCheck) {
                    StartUpdateData();
                    compared = DispatchResults() != DISPATCH_STOPPED;
                }
                UnInit();
                if (compared) UpdateData();
                else AbandonUpdateData();
            }
        }
        EndSteps();
        return S_OK;
    } catch (...) {
        AbandonUpdateData();
        WriteDebugLog(1, "Unexpected error in CheckFiles");
        return E_FAIL;
    }
}
