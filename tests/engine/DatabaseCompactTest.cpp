// The compaction after a check: the file steps and their messages, and a
// second process's connection that must keep its file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/Settings.h"
#include "engine/database/EngineDatabase.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/TestDatabase.h"

namespace fs = std::filesystem;

namespace {

unsigned long long InodeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

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

TEST_F(DatabaseCompactTest, ReplacesTheFileByItsCompactedCopy) {
    auto before = fs::file_size(db.DatabaseFile());
    auto inode = InodeOf(db.DatabaseFile());
    CompactDB();
    EXPECT_EQ(log.Text().find("Error in CompactDB"), std::string::npos) << log.Text();
    EXPECT_NE(InodeOf(db.DatabaseFile()), inode);
    EXPECT_LT(fs::file_size(db.DatabaseFile()), before);
    EXPECT_FALSE(fs::exists(db.TempDatabaseFile()));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "10");
    EXPECT_EQ(db.Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = 1"), "Default");
    // The engine opens the new file as it did the old one.
    ASSERT_EQ(OpenDB(), S_OK);
    EngineDatabase()->ExecuteSQL("DELETE FROM OLD_DATA");
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "0");
}

TEST_F(DatabaseCompactTest, LeftoverCopyStopsTheCompaction) {
    kvtest::WriteTextFile(db.TempDatabaseFile(), "left over");
    auto inode = InodeOf(db.DatabaseFile());
    CompactDB();
    std::string text = log.Text();
    size_t at = text.find("Error in CompactDB: ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("already exists", at), std::string::npos) << text;
    EXPECT_EQ(InodeOf(db.DatabaseFile()), inode);
    EXPECT_EQ(kvtest::ReadTextFile(db.TempDatabaseFile()), "left over");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM OLD_DATA"), "10");
}

TEST_F(DatabaseCompactTest, ConnectionInThisProcessKeepsTheFile) {
    CDatabase console;
    ASSERT_TRUE(console.OpenEx("ODBC;DSN=Kestrava Selvane Tsl 3;"));
    auto inode = InodeOf(db.DatabaseFile());
    CompactDB();
    EXPECT_TRUE(log.Holds("Error in CompactDB trying to delete the old DB."));
    EXPECT_FALSE(fs::exists(db.TempDatabaseFile()));
    EXPECT_EQ(InodeOf(db.DatabaseFile()), inode);
    console.ExecuteSQL("INSERT INTO PROFILES (NAME) VALUES ('After')");
    console.Close();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'After'"), "1");
    // With the connection gone the next compaction goes through.
    CompactDB();
    EXPECT_NE(InodeOf(db.DatabaseFile()), inode);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'After'"), "1");
}

TEST_F(DatabaseCompactTest, OtherProcessKeepsItsFileAndItsLaterWrites) {
    std::string handshake = root.Path() + "/handshake";
    fs::create_directories(handshake);
    kvtest::ChildProcess holder(kvtest::SelfPath(),
                                {"--gtest_filter=DatabaseHolder.DISABLED_HoldsAConnection",
                                 "--gtest_also_run_disabled_tests"},
                                {"KV_DB_HANDSHAKE=" + handshake});
    ASSERT_TRUE(kvtest::WaitForFile(handshake + "/ready", 60));
    auto inode = InodeOf(db.DatabaseFile());
    CompactDB();
    EXPECT_TRUE(log.Holds("Error in CompactDB trying to delete the old DB."));
    EXPECT_FALSE(fs::exists(db.TempDatabaseFile()));
    EXPECT_EQ(InodeOf(db.DatabaseFile()), inode);
    kvtest::WriteTextFile(handshake + "/go", "");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(db.Scalar("SELECT group_concat(NAME) FROM (SELECT NAME FROM PROFILES WHERE PROFILE_ID > 1 ORDER BY 1)"),
              "After,Before");
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
