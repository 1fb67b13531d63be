// The engine's connection, item recordset and item append against a database
// made by the installation, over the SQLite ODBC driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/database/EngineDatabase.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/TestDatabase.h"

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void TearDown() override { CloseDB(); }

    ItemRow FileRow(int n) {
        ItemRow row;
        row.path = "C:\\data\\file" + std::to_string(n) + ".txt";
        row.md5 = "0123456789abcdef0123456789abcdef";
        row.size = n;
        row.hasTimes = true;
        row.creationTime = 1700000000;
        row.lastModifiedTime = 1700000100;
        row.lastAccessedTime = 1700000200;
        row.owner = "HOST\\root";
        row.attributes = 32;
        row.pathMd5 = "p" + std::to_string(n);
        row.profileId = 1;
        return row;
    }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
    kvtest::EngineLog log{root, 7};
};

TEST_F(DatabaseTest, InstallationMakesSchemaDefaultJobAndDataSource) {
    EXPECT_EQ(db.Scalar("SELECT NAME || ',' || SFIRST FROM PROFILES WHERE PROFILE_ID = 1"), "Default,1");
    for (const char* table : {"PROFILES", "FILES_PROFILES_LNK", "CURRENT_DATA", "OLD_DATA"})
        EXPECT_EQ(db.Scalar(std::string("SELECT COUNT(*) FROM sqlite_master WHERE name = '") + table + "'"), "1");
    std::string columns;
    for (auto& row : db.Query("SELECT name FROM pragma_table_info('OLD_DATA')")) columns += row[0] + " ";
    EXPECT_EQ(columns,
              "ITEM_ID PATH MD5 SIZE CREATION_TIME OWNER LAST_MODIFIED_TIME LAST_ACCESSED_TIME ATTRIBUTES "
              "PATH_MD5 PROFILE_ID ");
    EXPECT_EQ(db.Scalar("SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master WHERE type = 'index' "
                        "AND sql LIKE '%PATH_MD5%' ORDER BY name)"),
              "CURRENT_DATA_PATH_MD5 FILES_PROFILES_LNK_PATH_MD5 OLD_DATA_PATH_MD5 OLD_DATA_PROFILE_ID_PATH_MD5");

    // A second installation leaves the database and the registration alone.
    db.Execute("INSERT INTO PROFILES (NAME) VALUES ('Mine')");
    std::string ini = kvtest::ReadTextFile(root.Path() + "/odbc/odbc.ini");
    kvtest::TestDatabase again(root);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES"), "2");
    EXPECT_EQ(kvtest::ReadTextFile(root.Path() + "/odbc/odbc.ini"), ini);
    // FLAG takes 0 when a row is inserted without it.
    db.Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (1, 'C:\\a\\', 'x')");
    EXPECT_EQ(db.Scalar("SELECT FLAG FROM FILES_PROFILES_LNK"), "0");
}

TEST_F(DatabaseTest, OpenDbIsCheapWhenOpenAndReportsAMissingDataSource) {
    ASSERT_EQ(OpenDB(), S_OK);
    EXPECT_EQ(log.Count("Database open"), 1u);
    std::filesystem::remove(root.Path() + "/odbc/odbc.ini");
    EXPECT_EQ(OpenDB(), S_OK);  // never looks at the data source again
    EXPECT_EQ(log.Count("Database open"), 1u);
    CloseDB();
    CloseDB();  // nothing open: nothing happens
    EXPECT_EQ(OpenDB(), S_FALSE);
    EXPECT_TRUE(log.Holds("Could not open the database"));
    EXPECT_EQ(ItemRecordset(), nullptr);
}

// Another program that closes its last connection folds the write-ahead log
// into the file and deletes it, unless this process still holds the file.
// Closing one connection of this process (every 1000 rows, a read beside
// the comparison) must leave the hold of the others; otherwise the two
// programs go on in two different logs and one's rows are lost.
TEST_F(DatabaseTest, ClosingOneConnectionLeavesTheOthersHoldOnTheFile) {
    ASSERT_EQ(OpenDB(), S_OK);
    EngineDatabase()->ExecuteSQL("INSERT INTO PROFILES (NAME) VALUES ('before')");
    {
        CDatabase beside;
        ASSERT_TRUE(beside.OpenEx(EngineDatabase()->GetConnect().c_str(), CDatabase::noOdbcDialog));
        beside.Close();
    }
    auto other = [&](const std::string& sql) {
        kvtest::ChildProcess shell("/usr/bin/sqlite3", {"-cmd", ".timeout 10000", db.DatabaseFile(), sql});
        EXPECT_EQ(shell.Wait(), 0);
    };
    other("SELECT COUNT(*) FROM PROFILES");
    EXPECT_TRUE(std::filesystem::exists(db.DatabaseFile() + "-wal"));
    other("INSERT INTO PROFILES (NAME) VALUES ('other')");
    EngineDatabase()->ExecuteSQL("INSERT INTO PROFILES (NAME) VALUES ('after')");
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT group_concat(NAME) FROM (SELECT NAME FROM PROFILES WHERE PROFILE_ID > 1 "
                        "ORDER BY PROFILE_ID)"),
              "before,other,after");
    EXPECT_EQ(db.Scalar("PRAGMA integrity_check"), "ok");
}

TEST_F(DatabaseTest, MissingDatabaseFileIsNotCreated) {
    std::filesystem::remove(db.DatabaseFile());
    EXPECT_EQ(OpenDB(), S_FALSE);
    EXPECT_TRUE(log.Holds("Could not open the database"));
    EXPECT_FALSE(std::filesystem::exists(db.DatabaseFile()));
}

TEST_F(DatabaseTest, ReportDbErrorWidensTheReturnCode) {
    ReportDBError(CDBException(SQL_ERROR, "Something failed", "State:HY000,Native:1,Origin:[x]\n"));
    EXPECT_TRUE(log.Holds("Database error; RetCode 0xFFFFFFFF, Description Something failed, Native state "
                          "State:HY000,Native:1,Origin:[x]"));

    ASSERT_EQ(OpenDB(), S_OK);
    try {
        EngineDatabase()->ExecuteSQL("SELECT * FROM NO_SUCH_TABLE");
        FAIL() << "no exception";
    } catch (const CDBException& e) {
        EXPECT_EQ(e.m_nRetCode, SQL_ERROR);
        EXPECT_NE(e.m_strError.find("no such table"), std::string::npos) << e.m_strError;
        EXPECT_EQ(e.m_strStateNativeOrigin.rfind("State:", 0), 0u) << e.m_strStateNativeOrigin;
        ReportDBError(e);
    }
    EXPECT_NE(log.Text().find("Database error; RetCode 0xFFFFFFFF, Description no such table"), std::string::npos);
}

TEST_F(DatabaseTest, AppendRestartsTheConnectionEveryThousandRows) {
    g_dwInsertCounter = 0;
    ASSERT_EQ(OpenDB(), S_OK);
    for (int n = 0; n < 2500; ++n) AppendItemRow(FileRow(n));
    EXPECT_EQ(log.Count("Reseting the database"), 2u);
    EXPECT_EQ(log.Count("Database open"), 3u);
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "2500");
    EXPECT_EQ(db.Scalar("SELECT COUNT(DISTINCT ITEM_ID) FROM CURRENT_DATA WHERE ITEM_ID IS NOT NULL"), "2500");

    // The counter carries over: the next check resets after its 500th row.
    ASSERT_EQ(OpenDB(), S_OK);
    for (int n = 0; n < 499; ++n) AppendItemRow(FileRow(10000 + n));
    EXPECT_EQ(log.Count("Reseting the database"), 2u);
    AppendItemRow(FileRow(20000));
    EXPECT_EQ(log.Count("Reseting the database"), 3u);
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "3000");
}

TEST_F(DatabaseTest, AppendStoresEveryFieldAsTheColumnsExpect) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    ASSERT_EQ(OpenDB(), S_OK);
    ItemRow drive;
    drive.path = "C:\\";
    drive.pathMd5 = "d";
    drive.profileId = 7;
    AppendItemRow(drive);
    ItemRow file = FileRow(1);
    file.size = -5;
    AppendItemRow(file);
    CloseDB();
    auto rows = db.Query(
        "SELECT ITEM_ID IS NOT NULL, PATH, MD5, SIZE, CREATION_TIME, OWNER, LAST_MODIFIED_TIME, LAST_ACCESSED_TIME, "
        "ATTRIBUTES, PATH_MD5, PROFILE_ID, typeof(PROFILE_ID), typeof(SIZE) FROM CURRENT_DATA ORDER BY ITEM_ID");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "C:\\", "<NULL>", "0", "<NULL>", "<NULL>", "<NULL>", "<NULL>",
                                                 "0", "d", "7", "integer", "integer"}));
    // 1700000000 is 2023-11-14 22:13:20 UTC, 23:13:20 in Berlin.
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "C:\\data\\file1.txt", "0123456789abcdef0123456789abcdef", "-5",
                                                 "2023-11-14 23:13:20", "HOST\\root", "2023-11-14 23:15:00",
                                                 "2023-11-14 23:16:40", "32", "p1", "1", "integer", "integer"}));
    unsetenv("TZ");
    tzset();
}

TEST_F(DatabaseTest, LongPathsAndOwnersAreStoredWholeAndNoted) {
    ASSERT_EQ(OpenDB(), S_OK);
    ItemRow row = FileRow(1);
    row.path = "C:\\" + std::string(300, 'a');
    row.owner = "HOST\\" + std::string(260, 'o');
    AppendItemRow(row);
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT length(PATH) || ',' || length(OWNER) FROM CURRENT_DATA"), "303,265");
    EXPECT_TRUE(log.Holds("Path longer than 255 characters stored whole: " + row.path));
    EXPECT_TRUE(log.Holds("Owner longer than 255 characters stored whole for " + row.path));
}

TEST_F(DatabaseTest, PendingAppendsReachTheDatabaseBeforeOtherStatementsAndAtClose) {
    ASSERT_EQ(OpenDB(), S_OK);
    for (int n = 0; n < 10; ++n) AppendItemRow(FileRow(n));
    CRecordset rs(EngineDatabase());
    rs.Open(CRecordset::forwardOnly, "SELECT COUNT(*) AS A FROM CURRENT_DATA");
    std::string count;
    rs.GetFieldValue("A", count);
    EXPECT_EQ(count, "10");
    rs.Close();
    for (int n = 10; n < 15; ++n) AppendItemRow(FileRow(n));
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "15");
}

// Rows of very long paths (a deep tree) are stored before the row count of a
// batch is reached, so the rows held never amount to much memory.
TEST_F(DatabaseTest, LongRowsAreStoredBeforeTheBatchIsFull) {
    ASSERT_EQ(OpenDB(), S_OK);
    for (int n = 0; n < 20; ++n) {
        ItemRow row = FileRow(n);
        row.path += "\\" + std::string(200000, 'x');
        AppendItemRow(row);
        EXPECT_LE(ItemRecordset()->PendingAppends(), 6u);
    }
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA WHERE length(PATH) > 200000"), "20");
}

TEST_F(DatabaseTest, AppendWithoutAnOpenRecordsetThrows) {
    EXPECT_THROW(AppendItemRow(FileRow(1)), CDBException);
    // A missing item table: the connection opens, the recordset does not.
    db.Execute("DROP TABLE CURRENT_DATA");
    EXPECT_EQ(OpenDB(), E_FAIL);
    EXPECT_TRUE(log.Holds("Error openning the database"));
    EXPECT_THROW(AppendItemRow(FileRow(1)), CDBException);
}

TEST_F(DatabaseTest, RecordsetReadsColumnsByNameWithNullsAndCounts) {
    db.Execute("UPDATE PROFILES SET MAILTO = '' , MAILFROM = NULL WHERE PROFILE_ID = 1");
    CDatabase connection;
    ASSERT_TRUE(connection.OpenEx("ODBC;DSN=Kestrava Selvane Tsl 3;", CDatabase::useCursorLib));
    CRecordset rs(&connection);
    rs.Open(CRecordset::forwardOnly, "SELECT * FROM PROFILES");
    EXPECT_EQ(rs.GetRecordCount(), 1);
    std::string value;
    rs.GetFieldValue("name", value);
    EXPECT_EQ(value, "Default");
    rs.GetFieldValue("MAILTO", value);
    EXPECT_EQ(value, "");
    EXPECT_FALSE(rs.IsFieldValueNull("MAILTO"));
    rs.GetFieldValue("MAILFROM", value);
    EXPECT_EQ(value, "");
    EXPECT_TRUE(rs.IsFieldValueNull("MAILFROM"));
    EXPECT_THROW(rs.GetFieldValue("NO_SUCH", value), CDBException);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(rs.GetRecordCount(), 1);
    EXPECT_THROW(rs.MoveNext(), CDBException);
    rs.Close();

    rs.Open(CRecordset::forwardOnly, "SELECT PROFILE_ID FROM PROFILES WHERE PROFILE_ID = 99");
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(rs.GetRecordCount(), 0);
    rs.Close();
    EXPECT_THROW(rs.Open(CRecordset::forwardOnly, "SELECT * FROM NOWHERE"), CDBException);
}

TEST_F(DatabaseTest, DatesReadBackAsTheCalendarTimeStored) {
    ASSERT_EQ(OpenDB(), S_OK);
    AppendItemRow(FileRow(1));
    CRecordset rs(EngineDatabase());
    rs.Open(CRecordset::forwardOnly, "SELECT CREATION_TIME, MD5 FROM CURRENT_DATA");
    time_t when = 0;
    ASSERT_TRUE(rs.GetFieldValue("CREATION_TIME", when));
    EXPECT_EQ(when, 1700000000);
    EXPECT_FALSE(rs.GetFieldValue("MD5", when));
}

}  // namespace

namespace {

// One row the database refuses, in the middle of a batch, at the batch's
// restart and at close: only that row is missing, and the log names it.
TEST_F(DatabaseTest, ARefusedAppendLosesOnlyItsOwnRow) {
    db.Execute("CREATE TRIGGER refuse BEFORE INSERT ON CURRENT_DATA WHEN NEW.PATH LIKE '%\\file7.txt' "
               "OR NEW.PATH LIKE '%\\file999.txt' OR NEW.PATH LIKE '%\\file1204.txt' "
               "BEGIN SELECT RAISE(ABORT, 'row refused'); END");
    g_dwInsertCounter = 0;
    ASSERT_EQ(OpenDB(), S_OK);
    for (int n = 0; n < 1205; ++n) AppendItemRow(FileRow(n));
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "1202");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA WHERE SIZE IN (7, 999, 1204)"), "0");
    EXPECT_TRUE(log.Holds("The item row of C:\\data\\file7.txt was not stored"));
    EXPECT_TRUE(log.Holds("The item row of C:\\data\\file999.txt was not stored"));
    EXPECT_TRUE(log.Holds("The item row of C:\\data\\file1204.txt was not stored"));
    EXPECT_EQ(log.Count("The item row of C:\\data\\file7.txt was not stored"), 1u);
    EXPECT_NE(log.Text().find("Description row refused"), std::string::npos);
}

// Batches are stored by the writer while appends go on: the rows keep the
// order they were appended in across batches and connection restarts, a
// statement on the engine's connection sees every row appended before it,
// and a row refused in a batch handed over is reported by the time CloseDB
// returns.
TEST_F(DatabaseTest, RowsStoredBehindTheAppendsKeepTheirOrderAndTheirReports) {
    db.Execute("CREATE TRIGGER refuse BEFORE INSERT ON CURRENT_DATA WHEN NEW.PATH LIKE '%\\file2999.txt' "
               "BEGIN SELECT RAISE(ABORT, 'row refused'); END");
    g_dwInsertCounter = 0;
    ASSERT_EQ(OpenDB(), S_OK);
    std::string expected;
    for (int n = 0; n < 3000; ++n) {
        AppendItemRow(FileRow(n));
        if (n != 2999) expected += (expected.empty() ? "" : ",") + std::to_string(n);
        if (n == 2001) {
            CRecordset rs(EngineDatabase());
            rs.Open(CRecordset::forwardOnly, "SELECT COUNT(*) AS A FROM CURRENT_DATA");
            std::string count;
            rs.GetFieldValue("A", count);
            EXPECT_EQ(count, "2002");
        }
    }
    CloseDB();
    EXPECT_TRUE(log.Holds("The item row of C:\\data\\file2999.txt was not stored"));
    EXPECT_EQ(db.Scalar("SELECT group_concat(SIZE) FROM (SELECT SIZE FROM CURRENT_DATA ORDER BY ITEM_ID)"), expected);
}

// A table that refuses every row: the batch goes as a whole, with a bounded
// number of lines rather than one per row.
TEST_F(DatabaseTest, ABatchRefusedAsAWholeIsReportedOnce) {
    db.Execute("CREATE TRIGGER refuse BEFORE INSERT ON CURRENT_DATA BEGIN SELECT RAISE(ABORT, 'all refused'); END");
    ASSERT_EQ(OpenDB(), S_OK);
    for (int n = 0; n < 50; ++n) AppendItemRow(FileRow(n));
    EXPECT_THROW(EngineDatabase()->ExecuteSQL("DELETE FROM OLD_DATA"), CDBException);
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "0");
    EXPECT_LE(log.Count("Database error; RetCode 0xFFFFFFFF, Description all refused, Native state "), 11u);
}

// Statements between BeginTrans and CommitTrans stand or fall together; a
// connection closed with its transaction open keeps none of it.
TEST_F(DatabaseTest, TransactionsKeepAllOrNothing) {
    ASSERT_EQ(OpenDB(), S_OK);
    CDatabase* connection = EngineDatabase();
    AppendItemRow(FileRow(1));
    connection->BeginTrans();
    connection->ExecuteSQL("INSERT INTO OLD_DATA (ITEM_ID, PATH, PATH_MD5, PROFILE_ID) VALUES (1, 'a', 'a', 1)");
    EXPECT_THROW(connection->ExecuteSQL("INSERT INTO NO_SUCH_TABLE VALUES (1)"), CDBException);
    connection->Rollback();
    EXPECT_FALSE(connection->InTransaction());
    connection->BeginTrans();
    EXPECT_THROW(connection->BeginTrans(), CDBException);
    connection->ExecuteSQL("INSERT INTO OLD_DATA (ITEM_ID, PATH, PATH_MD5, PROFILE_ID) VALUES (2, 'b', 'b', 1)");
    connection->CommitTrans();
    connection->BeginTrans();
    connection->ExecuteSQL("INSERT INTO OLD_DATA (ITEM_ID, PATH, PATH_MD5, PROFILE_ID) VALUES (3, 'c', 'c', 1)");
    CloseDB();
    EXPECT_EQ(db.Scalar("SELECT group_concat(PATH) FROM OLD_DATA"), "b");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "1");  // held before the transaction began
}

}  // namespace
