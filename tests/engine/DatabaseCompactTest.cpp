// The compaction after a check: in place, beside connections of this and
// other processes and beside a writer that knows nothing of the system's
// file lock, and the copy an interrupted compaction left.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "common/Settings.h"
#include "engine/database/EngineDatabase.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/TestDatabase.h"

namespace fs = std::filesystem;

namespace {

class DatabaseCompactTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(g_szDataPath[0], '\0');
        // Rows to compact away.
        db.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                   "INSERT INTO OLD_DATA (ITEM_ID, PATH, PATH_MD5, PROFILE_ID) SELECT i, 'C:\\' || i || "
                   "'\\some\\long\\path\\text', 'x' || i, 1 FROM n");
        db.Execute("DELETE FROM OLD_DATA WHERE ITEM_ID > 10");
    }
    void TearDown() override { CloseDB(); }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
    kvtest::EngineLog log{root, 7};
};

TEST_F(DatabaseCompactTest, CompactsTheFileInPlace) {
    auto before = fs::file_size(db.DatabaseFile());
    CompactDB();
    EXPECT_EQ(log.Text().find("Error in CompactDB"), std::string::npos) << log.Text();
    EXPECT_LT(fs::file_size(db.DatabaseFile()), before);
    EXPECT_FALSE(fs::exists(db.TempDatabaseFile()));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "10");
    EXPECT_EQ(db.Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = 1"), "Default");
    ASSERT_EQ(OpenDB(), S_OK);
    EngineDatabase()->ExecuteSQL("DELETE FROM OLD_DATA");
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "0");
}

// Pages freed by fewer rows than the file holds are left for the next rows:
// the file is only rewritten once at least half of it is free.
TEST_F(DatabaseCompactTest, AFileMostlyInUseIsLeftAsItIs) {
    db.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
               "INSERT INTO CURRENT_DATA (ITEM_ID, PATH, PATH_MD5, PROFILE_ID) SELECT i, 'C:\\' || i || "
               "'\\some\\long\\path\\text', 'x' || i, 1 FROM n");
    CompactDB();
    const auto compacted = fs::file_size(db.DatabaseFile());
    db.Execute("DELETE FROM CURRENT_DATA WHERE ITEM_ID > 2000");
    CompactDB();
    EXPECT_EQ(fs::file_size(db.DatabaseFile()), compacted);
    EXPECT_NE(db.Scalar("PRAGMA freelist_count"), "0");
    db.Execute("DELETE FROM CURRENT_DATA WHERE ITEM_ID > 500");
    CompactDB();
    EXPECT_LT(fs::file_size(db.DatabaseFile()), compacted);
    EXPECT_EQ(db.Scalar("PRAGMA freelist_count"), "0");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "500");
    EXPECT_EQ(log.Text().find("Error in CompactDB"), std::string::npos) << log.Text();
}

// A copy left by a compaction that was killed would otherwise stand in the
// way of every later one.
TEST_F(DatabaseCompactTest, ALeftoverCopyIsRemovedAndTheCompactionGoesOn) {
    kvtest::WriteTextFile(db.TempDatabaseFile(), "left over");
    kvtest::WriteTextFile(db.TempDatabaseFile() + "-wal", "left over");
    auto before = fs::file_size(db.DatabaseFile());
    CompactDB();
    EXPECT_FALSE(fs::exists(db.TempDatabaseFile()));
    EXPECT_FALSE(fs::exists(db.TempDatabaseFile() + "-wal"));
    EXPECT_NE(log.Text().find("Removed the copy an interrupted compaction left: "), std::string::npos) << log.Text();
    EXPECT_EQ(log.Text().find("Error in CompactDB"), std::string::npos) << log.Text();
    EXPECT_LT(fs::file_size(db.DatabaseFile()), before);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "10");
}

TEST_F(DatabaseCompactTest, ConnectionsOpenMeanwhileKeepTheirFileAndWrites) {
    std::string handshake = root.Path() + "/handshake";
    fs::create_directories(handshake);
    kvtest::ChildProcess holder(kvtest::SelfPath(),
                                {"--gtest_filter=DatabaseHolder.DISABLED_HoldsAConnection",
                                 "--gtest_also_run_disabled_tests"},
                                {"KV_DB_HANDSHAKE=" + handshake});
    ASSERT_TRUE(kvtest::WaitForFile(handshake + "/ready", 60));
    CDatabase console;
    ASSERT_TRUE(console.OpenEx("ODBC;DSN=Kestrava Selvane Tsl 3;"));
    auto before = fs::file_size(db.DatabaseFile());
    CompactDB();
    EXPECT_EQ(log.Text().find("Error in CompactDB"), std::string::npos) << log.Text();
    EXPECT_LT(fs::file_size(db.DatabaseFile()), before);
    console.ExecuteSQL("INSERT INTO PROFILES (NAME) VALUES ('Console')");
    console.Close();
    kvtest::WriteTextFile(handshake + "/go", "");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(db.Scalar("SELECT group_concat(NAME) FROM (SELECT NAME FROM PROFILES WHERE PROFILE_ID > 1 ORDER BY 1)"),
              "After,Before,Console");
}

// A writer in the middle of a transaction, which knows nothing of the
// system's own file lock: the compaction waits, gives up with its line and
// leaves the file and the writer's transaction alone.
TEST_F(DatabaseCompactTest, AWriterHoldingTheFileMakesTheCompactionGiveUp) {
    const std::string ready = root.Path() + "/ready";
    const std::string script = "(echo \"BEGIN IMMEDIATE; INSERT INTO PROFILES (NAME) VALUES ('Held');\"; "
                               "echo \"SELECT 'in';\"; sleep 14; echo 'COMMIT;') | sqlite3 -batch '" +
                               db.DatabaseFile() + "' > '" + ready + "'";
    kvtest::ChildProcess writer("/bin/sh", {"-c", script});
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (kvtest::ReadTextFile(ready).find("in") == std::string::npos && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(kvtest::ReadTextFile(ready).find("in"), std::string::npos);
    auto before = fs::file_size(db.DatabaseFile());
    CompactDB();
    EXPECT_TRUE(log.Holds("Error in CompactDB: database is locked")) << log.Text();
    EXPECT_EQ(fs::file_size(db.DatabaseFile()), before);
    EXPECT_EQ(writer.Wait(), 0);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'Held'"), "1");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "10");
}

// Run by the test above as a second process: holds a connection while the
// first compacts, then writes through it.
TEST(DatabaseHolder, DISABLED_HoldsAConnection) {
    const char* handshake = std::getenv("KV_DB_HANDSHAKE");
    if (handshake == nullptr) GTEST_SKIP();
    CDatabase connection;
    ASSERT_TRUE(connection.OpenEx("ODBC;DSN=Kestrava Selvane Tsl 3;"));
    connection.ExecuteSQL("INSERT INTO PROFILES (NAME) VALUES ('Before')");
    kvtest::WriteTextFile(std::string(handshake) + "/ready", "");
    ASSERT_TRUE(kvtest::WaitForFile(std::string(handshake) + "/go", 60));
    connection.ExecuteSQL("INSERT INTO PROFILES (NAME) VALUES ('After')");
    connection.Close();
}

}  // namespace
