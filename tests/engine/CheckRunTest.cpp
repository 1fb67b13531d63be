// Whole checks in this process on a temporary drive: the walk's rows, the
// scope from the database, the queue, the first-check flag, stops, failures
// and the comparison's records and mail.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/OrvEngine.h"
#include "platform/eventlog/EventRecord.h"
#include "platform/file/File.h"
#include "platform/library/Library.h"
#include "platform/mail/MailSpool.h"
#include "platform/resource/StringResource.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/SmtpServer.h"
#include "tests/fixtures/TestDatabase.h"

namespace {

namespace fs = std::filesystem;

class CheckRun : public ::testing::Test {
protected:
    void SetUp() override {
        // The engine finds its language library beside OrvEngine.so.
        ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvEngine.so").c_str()), nullptr);
        root.SetDword("WALKDELAY", 0);
        root.SetDword("MATCHDELAY", 0);
        root.SetDword("DEBUG", 1);
        root.SetDword("DEBUGLEVEL", 7);
        fs::create_directories(root.DriveC() + "/Logs");
        root.SetString("LOGDIR", "C:\\Logs");
        Rows("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0)");
        fs::create_directories(root.DriveC() + "/Data/Sub");
        Write("Data/a.txt", "alpha");
        Write("Data/Sub/b.txt", "beta");
    }
    void Rows(const std::string& sql) { db.Execute(sql); }
    void Watch(const std::string& path, int job = 1) {
        Rows("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (" + std::to_string(job) +
             ", '" + path + "', '', 0)");
    }
    void Write(const std::string& relative, const std::string& text) {
        std::ofstream(root.DriveC() + "/" + relative, std::ios::binary) << text;
    }
    std::string Log() { return kvtest::ReadTextFile(root.DriveC() + "/Logs/KvAgentDbg.txt"); }
    bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
    std::string Old(const std::string& column, const std::string& path) {
        return db.Scalar("SELECT " + column + " FROM OLD_DATA WHERE PATH = '" + path + "'");
    }
    // The roll's lines of the last check come after its comparison's, once
    // each, in the order of the roll's statements.
    void ExpectRollLoggedAfterTheComparison() {
        const std::string log = Log();
        const size_t begin = log.rfind(">> DispatchResults"), end = log.rfind("<< DispatchResults");
        ASSERT_NE(begin, std::string::npos);
        ASSERT_NE(end, std::string::npos);
        size_t at = end;
        for (const char* line : {">> UpdateData", "FILES_PROFILES_LNK for current profile cleared",
                                 "Old data for current profile cleared.", "Current data copied into the old data table",
                                 "Current data table cleared", "OldExtList :",
                                 "Old excluded extensions for current profile updated.", "<< UpdateData"}) {
            SCOPED_TRACE(line);
            EXPECT_EQ(log.substr(begin, end - begin).find(line), std::string::npos);
            const size_t next = log.find(line, at);
            ASSERT_NE(next, std::string::npos);
            EXPECT_EQ(log.find(line, next + 1), std::string::npos);
            at = next;
        }
    }
    size_t Events() {
        std::string text = kvtest::ReadTextFile(root.Path() + "/eventlog/Application.log");
        return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
};

TEST_F(CheckRun, AFirstCheckStoresTheScopeAndClearsTheFirstCheckMarks) {
    Watch("C:\\DATA\\");
    EXPECT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "4");  // Data\, Sub\ and two files
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "0");
    EXPECT_EQ(Old("MD5", "C:\\Data\\a.txt"), "2c1743a391305fbf367df8e4f069f9f9");  // md5("alpha")
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "5");
    EXPECT_EQ(Old("MD5", "C:\\Data\\Sub\\"), "<NULL>");
    EXPECT_EQ(Old("SIZE", "C:\\Data\\Sub\\"), "0");
    EXPECT_NE(Old("OWNER", "C:\\Data\\Sub\\"), "<NULL>");
    EXPECT_EQ(Old("PROFILE_ID", "C:\\Data\\a.txt"), "1");
    EXPECT_EQ(db.Scalar("SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = 1"), "0");
    EXPECT_EQ(root.GetDword("SFIRST"), 0u);
    EXPECT_EQ(Events(), 0u);  // the baseline is built silently
    EXPECT_TRUE(Logged("<< CheckFiles - STOP"));
}

TEST_F(CheckRun, TheDriveRowHasNoTimesNorContent) {
    Rows("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = 1");
    EXPECT_EQ(CheckFiles(nullptr), S_OK);
    auto rows = db.Query("SELECT SIZE, ATTRIBUTES, MD5, CREATION_TIME, OWNER, PROFILE_ID FROM OLD_DATA WHERE PATH = 'C:\\'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"0", "0", "<NULL>", "<NULL>", "<NULL>", "1"}));
}

TEST_F(CheckRun, TheSecondCheckReportsChangesAddsAndRemovalsOnce) {
    kvtest::SmtpServer smtp;
    root.SetDword("SMTPPORT", static_cast<DWORD>(smtp.Port()));
    root.SetString("SERVERIP", "127.0.0.1");
    Rows("UPDATE PROFILES SET MAILTO = 'a@example.org', MAILFROM = 'tessellon@localhost', SUBJECT = 'Alert'");
    Watch("C:\\DATA\\");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    // Only the last access changes: nothing to report.
    fs::last_write_time(root.DriveC() + "/Data", fs::last_write_time(root.DriveC() + "/Data"));
    std::string unchanged = kvtest::ReadTextFile(root.DriveC() + "/Data/a.txt");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(Events(), 0u);
    EXPECT_TRUE(smtp.Messages().empty());

    ::sleep(1);  // times are stored to the second
    Write("Data/a.txt", "alpha, changed");
    Write("Data/new.txt", "new");
    fs::remove(root.DriveC() + "/Data/Sub/b.txt");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_GE(Events(), 3u);
    ASSERT_EQ(smtp.Messages().size(), 1u);
    const std::string body = smtp.Messages()[0].body;
    size_t changed = body.find("C:\\Data\\a.txt"), added = body.find("C:\\Data\\new.txt"),
           removed = body.find("C:\\Data\\Sub\\b.txt");
    ASSERT_NE(changed, std::string::npos);
    ASSERT_NE(added, std::string::npos);
    ASSERT_NE(removed, std::string::npos);
    EXPECT_LT(changed, added);
    EXPECT_LT(added, removed);
    EXPECT_EQ(root.GetDword("INCIDENTID"), Events());
    // The new capture is the baseline now.
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "14");
    EXPECT_EQ(Old("PATH", "C:\\Data\\Sub\\b.txt"), "");
    ExpectRollLoggedAfterTheComparison();
}

TEST_F(CheckRun, TheQueueNamesTheJobOfEachCheck) {
    Rows("INSERT INTO PROFILES (NAME, SFIRST) VALUES ('Two', 1)");  // job 2
    Rows("INSERT INTO PROFILES (NAME, SFIRST) VALUES ('Three', 1)");  // job 3
    Watch("C:\\DATA\\SUB\\", 3);
    root.SetString("SPROFILES", "3;12;");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(root.GetString("SPROFILES"), "12;");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA WHERE PROFILE_ID = 3"), "2");
    // Job 12 has no row: nothing walked, "Start" not logged, result 0.
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(root.GetString("SPROFILES"), "");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA WHERE PROFILE_ID = 12"), "0");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "0");
    std::string lastCheck = Log().substr(Log().rfind(">> CheckFiles"));
    EXPECT_EQ(lastCheck.find(" Start\r\n"), std::string::npos);
    // Text that is no number names job 0, which has no row either.
    root.SetString("SPROFILES", "abc;");
    EXPECT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(root.GetString("SPROFILES"), "");
}

TEST_F(CheckRun, FirstCheckColumnOnlyOneMeansFirst) {
    Watch("C:\\DATA\\");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);  // the baseline
    int round = 0;
    for (const char* value : {"1", "0", "2", "NULL"}) {
        Rows(std::string("UPDATE PROFILES SET SFIRST = ") + value);
        Write("Data/a.txt", "alpha " + std::to_string(++round));
        root.SetDword("INCIDENTID", 0);
        ASSERT_EQ(CheckFiles(nullptr), S_OK);
        if (std::string(value) == "1") EXPECT_EQ(root.GetDword("INCIDENTID"), 0u);
        else EXPECT_GT(root.GetDword("INCIDENTID"), 0u) << value;
    }
}

TEST_F(CheckRun, AStopBeforeTheCheckEndsTheWalkAndKeepsTheBaseline) {
    Watch("C:\\DATA\\");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    const std::string baseline = db.Scalar("SELECT COUNT(*) FROM OLD_DATA");
    Write("Data/new.txt", "new");
    LONG stop = 1;
    EXPECT_EQ(CheckFiles(&stop), S_OK);
    EXPECT_TRUE(Logged("Stop Service encountered 1"));
    EXPECT_TRUE(Logged("Stop Service encountered 3"));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), baseline);
    EXPECT_EQ(Events(), 0u);
    // The end steps still run: closed, compacted, the exit line written.
    const std::string log = Log();
    EXPECT_GT(log.rfind("<< CheckFiles - STOP"), log.rfind("Stop Service encountered 3"));
}

// A comparison stopped half-way has not reported everything: the baseline
// must stay, so that the next check reports what this one did not.
TEST_F(CheckRun, AStopDuringTheComparisonKeepsTheBaseline) {
    Watch("C:\\DATA\\");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    Write("Data/a.txt", "alpha, changed");
    Write("Data/Sub/b.txt", "beta, changed");
    LONG stop = 0;
    {
        // The event log is held, so the engine waits inside its first record;
        // the flag is set meanwhile, and the next row sees it.
        HANDLE held = CreateFileA(kv::platform::EventLogFile().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::thread stopper([&] {
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!Logged(" Mod\r\n") && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::atomic_ref<LONG>(stop).store(1);
            CloseHandle(held);
        });
        EXPECT_EQ(CheckFiles(&stop), S_OK);
        stopper.join();
    }
    EXPECT_TRUE(Logged("Stop Service encountered in DispatchResults"));
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "5");  // the old baseline
    const DWORD reportedBefore = root.GetDword("INCIDENTID");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_GE(root.GetDword("INCIDENTID"), reportedBefore + 2);  // both changes reported now
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "14");
}

// The roll is made while the comparison reads, and committed only after it.
// A comparison held up (inside its first event record, as by a log another
// program keeps locked) leaves others seeing the previous baseline, and does
// not keep their writes waiting until they fail: the roll lets go and is
// made again once the comparison is over.
TEST_F(CheckRun, ARollMadeDuringAHeldComparisonIsUnseenAndLetsOthersWrite) {
    Watch("C:\\DATA\\");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    Write("Data/a.txt", "alpha, changed");
    HANDLE held = CreateFileA(kv::platform::EventLogFile().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0,
                              nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HRESULT result = E_FAIL;
    std::thread check([&] { result = CheckFiles(nullptr); });
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Logged(" Mod\r\n") && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "5");
    // Waits, as for any roll, but not for the comparison (the test database
    // gives up after 10 s).
    EXPECT_NO_THROW(Rows("INSERT INTO PROFILES (NAME) VALUES ('saved meanwhile')"));
    EXPECT_FALSE(Logged("<< DispatchResults"));
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "5");
    CloseHandle(held);
    check.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "14");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'saved meanwhile'"), "1");
    EXPECT_GT(Log().rfind("The roll made beside the comparison was let go; made again"),
              Log().rfind("<< DispatchResults"));
    ExpectRollLoggedAfterTheComparison();
}

TEST_F(CheckRun, AMissingDataSourceEndsTheCheckAtOnce) {
    fs::remove(root.Path() + "/odbc/odbc.ini");
    EXPECT_EQ(CheckFiles(nullptr), S_FALSE);
    EXPECT_FALSE(Logged("<< CheckFiles - STOP"));
}

TEST_F(CheckRun, SpecialEntriesNeverHangAndOddRowsAreIgnored) {
    Watch("C:\\DATA\\");
    Watch("");
    Watch("DATA");
    ASSERT_EQ(::mkfifo((root.DriveC() + "/Data/pipe").c_str(), 0644), 0);
    fs::create_symlink("/etc/passwd", root.DriveC() + "/Data/link");
    Write("Data/back\\slash.txt", "x");
    {
        std::ofstream big(root.DriveC() + "/Data/big.bin", std::ios::binary);
    }
    fs::resize_file(root.DriveC() + "/Data/big.bin", 3000000000ull);
    EXPECT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(Old("MD5", "C:\\Data\\pipe"), "<NULL>");
    EXPECT_EQ(Old("MD5", "C:\\Data\\link"), "<NULL>");
    EXPECT_EQ(Old("SIZE", "C:\\Data\\big.bin"), "-1294967296");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA WHERE PATH LIKE '%slash%'"), "0");
    EXPECT_TRUE(Logged("its name holds a backslash"));
    EXPECT_TRUE(Logged("Ignoring the malformed path '' of FILES_PROFILES_LNK"));
    EXPECT_TRUE(Logged("Ignoring the malformed path 'DATA' of FILES_PROFILES_LNK"));
}

// A check killed (SIGKILL) between the statements of its baseline roll keeps
// the previous baseline whole: the next check reports every change again.
TEST_F(CheckRun, AKilledRollLeavesTheBaselineForTheNextCheck) {
    kvtest::SmtpServer smtp;
    root.SetDword("SMTPPORT", static_cast<DWORD>(smtp.Port()));
    root.SetString("SERVERIP", "127.0.0.1");
    Rows("UPDATE PROFILES SET MAILTO = 'a@example.org', MAILFROM = 'tessellon@localhost'");
    Watch("C:\\DATA\\");
    Write("Data/Sub/gone0.txt", "gone");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    int round = 0;
    const std::string indexes = db.Scalar("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master "
                                          "WHERE type = 'index' ORDER BY name)");
    for (const char* statement : {"DROP INDEX IF EXISTS CURRENT_DATA", "CREATE INDEX IF NOT EXISTS CURRENT_DATA",
                                  "DROP INDEX \"FILES", "DELETE * FROM FILES_PROFILES_LNK", "DELETE FROM OLD_DATA",
                                  "INSERT INTO OLD_DATA", "UPDATE PROFILES SET OLD_EXT_LIST",
                                  "CREATE INDEX FILES_PROFILES_LNK_PATH_MD5"}) {
        SCOPED_TRACE(statement);
        ++round;
        const std::string rows = db.Scalar("SELECT group_concat(PATH || '=' || SIZE) FROM "
                                           "(SELECT PATH, SIZE FROM OLD_DATA ORDER BY PATH)");
        Write("Data/a.txt", std::string(static_cast<size_t>(round) * 10, 'x'));
        Write("Data/new" + std::to_string(round) + ".txt", "new");
        fs::remove(root.DriveC() + "/Data/Sub/gone" + std::to_string(round - 1) + ".txt");
        Write("Data/Sub/gone" + std::to_string(round) + ".txt", "gone");
        kvtest::ChildProcess killed(kvtest::SelfPath(),
                                    {"--gtest_filter=CheckRunChild.DISABLED_RunsOneCheck",
                                     "--gtest_also_run_disabled_tests"},
                                    {std::string("KV_TEST_KILL_AFTER_SQL=") + statement});
        ASSERT_EQ(killed.Wait(), 128 + 9);
        EXPECT_EQ(db.Scalar("SELECT group_concat(PATH || '=' || SIZE) FROM "
                            "(SELECT PATH, SIZE FROM OLD_DATA ORDER BY PATH)"), rows);
        const size_t mails = smtp.Messages().size();
        ASSERT_EQ(CheckFiles(nullptr), S_OK);
        ASSERT_EQ(smtp.Messages().size(), mails + 1);
        const std::string body = smtp.Messages().back().body;
        EXPECT_NE(body.find("C:\\Data\\a.txt"), std::string::npos) << body;
        EXPECT_NE(body.find("C:\\Data\\new" + std::to_string(round) + ".txt"), std::string::npos) << body;
        EXPECT_NE(body.find("C:\\Data\\Sub\\gone" + std::to_string(round - 1) + ".txt"), std::string::npos) << body;
        EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), std::to_string(round * 10));
        EXPECT_EQ(db.Scalar("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master "
                            "WHERE type = 'index' ORDER BY name)"), indexes);
    }
}

// The first check killed as it clears the first-check marker: the marker
// stays, and no baseline is left half made.
TEST_F(CheckRun, AKilledFirstCheckStaysTheFirst) {
    Watch("C:\\DATA\\");
    kvtest::ChildProcess killed(kvtest::SelfPath(),
                                {"--gtest_filter=CheckRunChild.DISABLED_RunsOneCheck",
                                 "--gtest_also_run_disabled_tests"},
                                {"KV_TEST_KILL_AFTER_SQL=UPDATE PROFILES SET SFIRST"});
    ASSERT_EQ(killed.Wait(), 128 + 9);
    EXPECT_EQ(db.Scalar("SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = 1"), "1");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "0");
    EXPECT_EQ(db.Scalar("SELECT OLD_EXT_LIST IS NULL FROM PROFILES WHERE PROFILE_ID = 1"), "1");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(db.Scalar("SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = 1"), "0");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "4");
    EXPECT_EQ(Events(), 0u);
}

// A statement of the roll the database refuses: nothing of the roll is kept,
// the log reads as before up to the refusal, and the next check reports.
TEST_F(CheckRun, ARefusedRollLeavesTheBaseline) {
    Watch("C:\\DATA\\");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    Write("Data/a.txt", "alpha, changed");
    Rows("CREATE TRIGGER refuse BEFORE INSERT ON OLD_DATA BEGIN SELECT RAISE(ABORT, 'roll refused'); END");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "5");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "4");
    const std::string last = Log().substr(Log().rfind(">> UpdateData"));
    EXPECT_NE(last.find("Old data for current profile cleared."), std::string::npos);
    EXPECT_NE(last.find("Description roll refused"), std::string::npos);
    EXPECT_EQ(last.find("<< UpdateData"), std::string::npos);
    EXPECT_NE(last.find("<< CheckFiles - STOP"), std::string::npos);
    Rows("DROP TRIGGER refuse");
    root.SetDword("INCIDENTID", 0);
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(root.GetDword("INCIDENTID"), 1u);  // a.txt, reported again
    EXPECT_EQ(Old("SIZE", "C:\\Data\\a.txt"), "14");
}

// Another program (the sqlite3 shell, which knows nothing of the system's
// file lock) commits rows while checks run and compact the file: every row
// it saw committed is there afterwards.
TEST_F(CheckRun, CompactionsKeepEveryRowAnotherProgramCommitted) {
    Watch("C:\\DATA\\");
    const std::string stop = root.Path() + "/stop", acks = root.Path() + "/acks", errors = root.Path() + "/errors";
    const std::string script =
        "i=0; while [ ! -e '" + stop + "' ] && [ $i -lt 3000 ]; do i=$((i+1)); "
        "if [ $((i % 2)) -eq 0 ]; then "
        // Half the rows from a program that opens the file for one row...
        "sqlite3 -batch -cmd '.timeout 30000' '" + db.DatabaseFile() +
        "' \"INSERT INTO PROFILES (NAME) VALUES ('w$i'); SELECT 'ack $i ' || changes();\" >> '" + acks +
        "' 2>> '" + errors + "'; else "
        // ...half from one that keeps it open all along.
        "echo \"INSERT INTO PROFILES (NAME) VALUES ('w$i'); SELECT 'ack $i ' || changes();\"; sleep 0.005; fi; "
        "done | sqlite3 -batch -cmd '.timeout 30000' '" + db.DatabaseFile() + "' >> '" + acks + "' 2>> '" + errors + "'";
    // Enough rows that every roll leaves pages for the compaction to move.
    fs::create_directories(root.DriveC() + "/Data/Bulk");
    for (int n = 0; n < 300; ++n) Write("Data/Bulk/f" + std::to_string(n), std::to_string(n));
    kvtest::ChildProcess writer("/bin/sh", {"-c", script});
    for (int check = 0; check < 20; ++check) {
        Write("Data/a.txt", std::string(static_cast<size_t>(check) + 1, 'x'));
        ASSERT_EQ(CheckFiles(nullptr), S_OK);
    }
    kvtest::WriteTextFile(stop, "");
    ASSERT_EQ(writer.Wait(), 0);
    EXPECT_EQ(kvtest::ReadTextFile(errors), "");
    EXPECT_EQ(Log().find("Error in CompactDB"), std::string::npos);
    std::istringstream lines(kvtest::ReadTextFile(acks));
    std::string word, number, changes;
    size_t acked = 0;
    while (lines >> word >> number >> changes) {
        ASSERT_EQ(changes, "1") << number;
        EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'w" + number + "'"), "1") << number;
        ++acked;
    }
    EXPECT_GT(acked, 20u);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME LIKE 'w%'"), std::to_string(acked));
}

class CheckRunMail : public CheckRun {
protected:
    void SetUp() override {
        CheckRun::SetUp();
        root.SetString("SERVERIP", "127.0.0.1");
        Rows("UPDATE PROFILES SET MAILTO = 'a@example.org', MAILFROM = 'tessellon@localhost', SUBJECT = 'Alert'");
        Watch("C:\\DATA\\");
        ASSERT_EQ(CheckFiles(nullptr), S_OK);  // the baseline
    }
    void ServerAt(int port) { root.SetDword("SMTPPORT", static_cast<DWORD>(port)); }
    std::vector<std::string> Spooled() {
        std::vector<std::string> names;
        if (fs::exists(db.DataFolder() + "/AlertSpool"))
            for (const auto& entry : fs::directory_iterator(db.DataFolder() + "/AlertSpool"))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The server down for two checks and up at the third: the three alerts arrive
// at the third, in the order of their checks, each as it was composed.
TEST_F(CheckRunMail, AlertsTheServerDidNotTakeGoFirstAtTheNextCheck) {
    ServerAt(kvtest::UnusedPort());
    Write("Data/one.txt", "1");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_TRUE(Logged("Error sending the email notification"));
    Write("Data/two.txt", "2");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    ASSERT_EQ(Spooled().size(), 2u);
    struct stat folder {}, file {};
    ASSERT_EQ(::stat((db.DataFolder() + "/AlertSpool").c_str(), &folder), 0);
    ASSERT_EQ(::stat((db.DataFolder() + "/AlertSpool/" + Spooled()[0]).c_str(), &file), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
    EXPECT_EQ(file.st_mode & 07777, 0600u);

    kvtest::SmtpServer smtp;
    ServerAt(smtp.Port());
    Write("Data/three.txt", "3");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    const auto messages = smtp.Messages();
    ASSERT_EQ(messages.size(), 3u);
    const char* names[] = {"one.txt", "two.txt", "three.txt"};
    for (size_t m = 0; m < 3; ++m) {
        for (size_t n = 0; n < 3; ++n)
            EXPECT_EQ(messages[m].body.find(names[n]) != std::string::npos, m == n) << m << " " << names[n];
        EXPECT_EQ(messages[m].recipients, std::vector<std::string>{"a@example.org"});
        EXPECT_EQ(messages[m].headers.at("subject"), messages[2].headers.at("subject"));
    }
    EXPECT_TRUE(Spooled().empty());
    // Nothing left to send, nothing new: no mail.
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_EQ(smtp.Messages().size(), 3u);
}

TEST_F(CheckRunMail, AKeptAlertGoesAlsoAtACheckWithoutAnAlertOfItsOwn) {
    ServerAt(kvtest::UnusedPort());
    Write("Data/one.txt", "1");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    kvtest::SmtpServer smtp;
    ServerAt(smtp.Port());
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    ASSERT_EQ(smtp.Messages().size(), 1u);
    EXPECT_NE(smtp.Messages()[0].body.find("one.txt"), std::string::npos);
    EXPECT_TRUE(Spooled().empty());
}

// A recipient the server refuses for good would refuse the alert at every
// later check too: it is not kept to hold up the alerts behind it.
TEST_F(CheckRunMail, AnAlertRefusedForGoodIsNotKept) {
    kvtest::SmtpServer smtp({{"a@example.org"}, {}});
    ServerAt(smtp.Port());
    Write("Data/one.txt", "1");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_TRUE(Logged("Error sending the email notification"));
    EXPECT_TRUE(Spooled().empty());
}

TEST_F(CheckRunMail, AFullSpoolKeepsItsAlertsAndSaysSo) {
    kv::platform::MailSpool direct(db.DataFolder() + "/AlertSpool");
    for (int n = 0; n < 100; ++n) ASSERT_EQ(direct.Add({"f@x.org", "a@example.org", "s", std::to_string(n)}), 0u);
    ServerAt(kvtest::UnusedPort());
    Write("Data/one.txt", "1");
    ASSERT_EQ(CheckFiles(nullptr), S_OK);
    EXPECT_TRUE(Logged("The alert spool is full (100 alerts waiting); this alert is not kept"));
    EXPECT_EQ(Spooled().size(), 100u);
    kv::platform::SpooledMail first;
    ASSERT_EQ(direct.Read(direct.List().front(), first), 0u);
    EXPECT_EQ(first.body, "0");
}

}  // namespace

// Run by the tests above as a process of its own, to be killed part-way.
TEST(CheckRunChild, DISABLED_RunsOneCheck) {
    if (std::getenv("KV_TEST_KILL_AFTER_SQL") == nullptr) GTEST_SKIP();
    ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvEngine.so").c_str()), nullptr);
    CheckFiles(nullptr);
}
