// The Jet statements of the engine and the console, as they are written and
// logged, run on a real database made by the installation.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/database/EngineDatabase.h"
#include "core/database/JetDialect.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/TestDatabase.h"

namespace {

TEST(JetDialect, RewritesOnlyWhatSqliteReadsOtherwise) {
    EXPECT_EQ(JetToSqlite("DELETE * FROM FILES_PROFILES_LNK"), "DELETE FROM FILES_PROFILES_LNK");
    EXPECT_EQ(JetToSqlite("delete  *  from T WHERE (PATH='x')"), "delete from T WHERE (PATH='x')");
    EXPECT_EQ(JetToSqlite("SELECT TO.PATH FROM OLD_DATA AS TO"), "SELECT \"TO\".PATH FROM OLD_DATA AS \"TO\"");
    EXPECT_EQ(JetToSqlite("WHERE (INSTR(PATH, 'C:\\A\\')=1)"), "WHERE (INSTR(UPPER(PATH), UPPER( 'C:\\A\\'))=1)");
    // Literals and quoted names stay as they are.
    EXPECT_EQ(JetToSqlite("SELECT 'DELETE * FROM TO', [TO] FROM T"), "SELECT 'DELETE * FROM TO', [TO] FROM T");
    EXPECT_EQ(JetToSqlite("UPDATE P SET NAME='it''s TO' WHERE X=1"), "UPDATE P SET NAME='it''s TO' WHERE X=1");
    EXPECT_EQ(JetToSqlite("ALTER TABLE A RENAME TO B"), "ALTER TABLE A RENAME TO B");
    EXPECT_EQ(JetToSqlite("SELECT COUNT(*) AS A FROM T"), "SELECT COUNT(*) AS A FROM T");
}

std::string F(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string F(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

class JetStatements : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenDB(), S_OK); }
    void TearDown() override { CloseDB(); }

    void Run(const std::string& sql) { EngineDatabase()->ExecuteSQL(sql.c_str()); }

    // Every row of a query, its columns by the given names, joined with "|".
    std::vector<std::string> Rows(const std::string& sql, const std::vector<std::string>& columns) {
        CRecordset rs(EngineDatabase());
        rs.Open(CRecordset::forwardOnly, sql.c_str(), CRecordset::readOnly);
        std::vector<std::string> rows;
        while (!rs.IsEOF()) {
            std::string row;
            for (size_t c = 0; c < columns.size(); ++c) {
                std::string value;
                rs.GetFieldValue(columns[c].c_str(), value);
                row += (c == 0 ? "" : "|") + value;
            }
            rows.push_back(row);
            rs.MoveNext();
        }
        return rows;
    }

    void Item(const char* table, int id, const char* path, const char* md5, int size, const char* owner,
              const char* pathMd5, int profile, const char* modified = "2024-01-01 10:00:00", int attributes = 32) {
        db.Execute(F("INSERT INTO %s (ITEM_ID, PATH, MD5, SIZE, CREATION_TIME, OWNER, LAST_MODIFIED_TIME, "
                     "LAST_ACCESSED_TIME, ATTRIBUTES, PATH_MD5, PROFILE_ID) VALUES (%d, '%s', %s, %d, "
                     "'2024-01-01 09:00:00', '%s', '%s', '2024-01-02 08:00:00', %d, '%s', %d)",
                     table, id, path, md5, size, owner, modified, attributes, pathMd5, profile));
    }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
    kvtest::EngineLog log{root, 7};
};

TEST_F(JetStatements, CheckRunStatements) {
    std::vector<std::string> first = Rows(F("SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = %d", 1), {"SFIRST"});
    EXPECT_EQ(first, std::vector<std::string>{"1"});

    Item("CURRENT_DATA", 1, "C:\\a.txt", "'m1'", 10, "H\\u", "pa", 2);
    Item("OLD_DATA", 5, "C:\\a.txt", "'m0'", 10, "H\\u", "pa", 1);
    Item("OLD_DATA", 6, "C:\\gone.txt", "'m0'", 10, "H\\u", "pg", 2);
    Item("OLD_DATA", 7, "C:\\other.txt", "'m0'", 10, "H\\u", "po", 3);
    db.Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES "
               "(0, 'C:\\a.txt', 'pa', 1), (2, 'C:\\gone.txt', 'pg', 1), (3, 'C:\\other.txt', 'po', 1), "
               "(2, 'C:\\kept.txt', 'pk', 0)");

    Run(F("DELETE * FROM FILES_PROFILES_LNK WHERE (PROFILE_ID = 0 OR PROFILE_ID = %d) AND FLAG = 1 AND "
          "(PATH_MD5 IN(SELECT PATH_MD5 FROM CURRENT_DATA) OR PATH_MD5 IN(SELECT PATH_MD5 FROM OLD_DATA WHERE "
          "PROFILE_ID = %d))",
          2, 2));
    EXPECT_EQ(db.Scalar("SELECT group_concat(PATH_MD5) FROM (SELECT PATH_MD5 FROM FILES_PROFILES_LNK ORDER BY 1)"),
              "pk,po");
    Run(F("DELETE FROM OLD_DATA WHERE PROFILE_ID = %d OR PATH_MD5 IN(SELECT PATH_MD5 FROM CURRENT_DATA)", 2));
    EXPECT_EQ(db.Scalar("SELECT group_concat(ITEM_ID) FROM OLD_DATA"), "7");
    Run("INSERT INTO OLD_DATA SELECT * FROM CURRENT_DATA");
    EXPECT_EQ(db.Scalar("SELECT PATH || ',' || MD5 || ',' || PROFILE_ID FROM OLD_DATA WHERE ITEM_ID = 1"),
              "C:\\a.txt,m1,2");
    Run("DELETE FROM CURRENT_DATA");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM CURRENT_DATA"), "0");
    Run(F("UPDATE PROFILES SET OLD_EXT_LIST = '%s' WHERE PROFILE_ID = %d", "EXE;DLL;", 1));
    Run(std::string("UPDATE PROFILES SET SFIRST = 0 WHERE PROFILE_ID = ") + "1");
    EXPECT_EQ(db.Scalar("SELECT OLD_EXT_LIST || ',' || SFIRST FROM PROFILES WHERE PROFILE_ID = 1"), "EXE;DLL;,0");

    EXPECT_EQ(Rows("SELECT PROFILE_ID, PATH, FLAG FROM FILES_PROFILES_LNK", {"PROFILE_ID", "PATH", "FLAG"}).size(), 2u);
    EXPECT_EQ(Rows(F("SELECT MAILTO, MAILFROM, SUBJECT, OLD_EXT_LIST FROM PROFILES WHERE PROFILE_ID = %d", 1),
                   {"MAILTO", "MAILFROM", "SUBJECT", "OLD_EXT_LIST"}),
              std::vector<std::string>{"||Kestrava Selvane Tessellon Alert|EXE;DLL;"});
}

const char* const kChangedQuery =
    "SELECT TC.PATH, TC.SIZE AS CURRENT_SIZE, TC.OWNER AS CURRENT_OWNER, TC.CREATION_TIME , TC.LAST_MODIFIED_TIME, "
    "TC.LAST_ACCESSED_TIME, TO.ITEM_ID, TO.SIZE AS OLD_SIZE, TO.OWNER AS OLD_OWNER, TO.CREATION_TIME AS "
    "OLD_CREATION_TIME, TO.LAST_MODIFIED_TIME AS OLD_MODIFIED_TIME, TO.LAST_ACCESSED_TIME AS OLD_ACCESSED_TIME FROM "
    "CURRENT_DATA AS TC LEFT JOIN OLD_DATA AS TO ON TC.PATH_MD5 = TO.PATH_MD5 WHERE (TO.ITEM_ID IS NULL OR (TC.MD5 "
    "<> TO.MD5 OR TC.SIZE <> TO.SIZE OR TC.CREATION_TIME <> TO.CREATION_TIME OR TC.OWNER <> TO.OWNER OR "
    "TC.LAST_MODIFIED_TIME <> TO.LAST_MODIFIED_TIME OR TC.ATTRIBUTES <> TO.ATTRIBUTES))";
const char* const kRemovedQuery =
    "SELECT TO.PATH, TO.SIZE, TO.OWNER AS CURRENT_OWNER, TO.CREATION_TIME, TO.LAST_MODIFIED_TIME, "
    "TO.LAST_ACCESSED_TIME FROM OLD_DATA AS TO LEFT JOIN CURRENT_DATA AS TC ON TC.PATH_MD5 = TO.PATH_MD5 WHERE "
    "TO.PROFILE_ID = %d AND TC.ITEM_ID IS NULL";

TEST_F(JetStatements, ComparisonQueries) {
    Item("OLD_DATA", 11, "C:\\same.txt", "'m'", 5, "H\\u", "ps", 1);
    Item("CURRENT_DATA", 1, "C:\\same.txt", "'m'", 5, "H\\u", "ps", 1);
    Item("OLD_DATA", 12, "C:\\grown.txt", "'m'", 100, "H\\u", "pg", 1);
    Item("CURRENT_DATA", 2, "C:\\grown.txt", "'m'", 150, "H\\u", "pg", 1);
    Item("OLD_DATA", 13, "C:\\dir\\", "NULL", 0, "H\\u", "pd", 1);
    Item("CURRENT_DATA", 3, "C:\\dir\\", "NULL", 0, "H\\u", "pd", 1);  // no MD5 on either side: unchanged
    Item("CURRENT_DATA", 4, "C:\\new.txt", "'m'", 7, "H\\u", "pn", 1);
    Item("OLD_DATA", 14, "C:\\removed.txt", "'m'", 9, "H\\old", "pr", 1);
    Item("OLD_DATA", 15, "C:\\elsewhere.txt", "'m'", 9, "H\\u", "pe", 2);
    Item("OLD_DATA", 16, "C:\\attr.txt", "'m'", 9, "H\\u", "pt", 1, "2024-01-01 10:00:00", 32);
    Item("CURRENT_DATA", 5, "C:\\attr.txt", "'m'", 9, "H\\u", "pt", 1, "2024-01-01 10:00:00", 33);

    std::vector<std::string> changed =
        Rows(kChangedQuery, {"PATH", "CURRENT_SIZE", "CURRENT_OWNER", "CREATION_TIME", "LAST_MODIFIED_TIME",
                             "LAST_ACCESSED_TIME", "ITEM_ID", "OLD_SIZE", "OLD_OWNER", "OLD_CREATION_TIME",
                             "OLD_MODIFIED_TIME", "OLD_ACCESSED_TIME"});
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed[0], "C:\\grown.txt|150|H\\u|2024-01-01 09:00:00|2024-01-01 10:00:00|2024-01-02 08:00:00|12|100|"
                          "H\\u|2024-01-01 09:00:00|2024-01-01 10:00:00|2024-01-02 08:00:00");
    EXPECT_EQ(changed[1], "C:\\new.txt|7|H\\u|2024-01-01 09:00:00|2024-01-01 10:00:00|2024-01-02 08:00:00||||||");
    EXPECT_EQ(changed[2].substr(0, 12), "C:\\attr.txt|");

    std::vector<std::string> removed =
        Rows(F(kRemovedQuery, 1), {"PATH", "SIZE", "CURRENT_OWNER", "CREATION_TIME", "LAST_MODIFIED_TIME",
                                   "LAST_ACCESSED_TIME"});
    EXPECT_EQ(removed, std::vector<std::string>{
                           "C:\\removed.txt|9|H\\old|2024-01-01 09:00:00|2024-01-01 10:00:00|2024-01-02 08:00:00"});
}

TEST_F(JetStatements, ConsoleStatements) {
    // Scan jobs.
    Run("INSERT INTO PROFILES (NAME, PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('Daily', 1, 0, 'Alert', 1)");
    Run("INSERT INTO PROFILES (NAME, MAILTO, MAILFROM, PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('Weekly', "
        "'a@b.c', 'me@b.c', 1, 0, 'Alert', 1)");
    EXPECT_EQ(Rows("SELECT MAX(PROFILE_ID) AS ID_VAL FROM PROFILES", {"ID_VAL"}), std::vector<std::string>{"3"});
    EXPECT_EQ(Rows("SELECT PROFILE_ID, NAME, ENABLED  FROM PROFILES", {"PROFILE_ID", "NAME", "ENABLED"}),
              (std::vector<std::string>{"1|Default|0", "2|Daily|0", "3|Weekly|0"}));
    Run(std::string("UPDATE PROFILES SET NAME='") + "Nightly" + "'" + " WHERE PROFILE_ID=" + "2");
    Run(std::string("UPDATE PROFILES SET ENABLED=") + "1" + " WHERE PROFILE_ID=" + "2");
    Run(std::string("UPDATE PROFILES SET ") + "PRIORITY=" + "3" + ", MAILFROM='" + "x@y.z" + "'" + ", MAILTO='" +
        "p@q.r; s@t.u" + "'" + ", SUBJECT='" + "Hello" + "'" + " WHERE PROFILE_ID = " + "2");
    EXPECT_EQ(Rows("SELECT * FROM PROFILES", {"PROFILE_ID", "NAME", "MAILTO", "MAILFROM", "SUBJECT", "PRIORITY",
                                              "ENABLED"})[1],
              "2|Nightly|p@q.r; s@t.u|x@y.z|Hello|3|1");
    Run(F("DELETE FROM PROFILES WHERE PROFILE_ID = %d", 3));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PROFILES"), "2");

    // Link rows. The console lower-cases cached paths; Jet compares without case.
    const char* const kInsert = "INSERT INTO FILES_PROFILES_LNK(PROFILE_ID, PATH, PATH_MD5) VALUES(%d, '%s', '%s')";
    Run(F(kInsert, 2, "C:\\Data\\", "h1"));
    Run(F(kInsert, 2, "C:\\Data\\Sub\\", "h2"));
    Run(F(kInsert, 0, "C:\\Data\\Sub\\x.txt", "h3"));
    Run(F(kInsert, 1, "C:\\It''s\\", "h4"));
    EXPECT_EQ(db.Scalar("SELECT PATH FROM FILES_PROFILES_LNK WHERE PATH_MD5 = 'h4'"), "C:\\It's\\");
    EXPECT_EQ(Rows("SELECT PROFILE_ID, PATH  FROM FILES_PROFILES_LNK WHERE (FLAG<>1)", {"PROFILE_ID", "PATH"}).size(),
              4u);
    const char* const kTreeCount = "SELECT COUNT(*) AS A FROM FILES_PROFILES_LNK WHERE (INSTR(PATH, '%s')=1) AND "
                                   "(PATH <> '%s') AND (FLAG=0)";
    const char* const kPageCount = "SELECT COUNT(*) AS A FROM FILES_PROFILES_LNK WHERE (INSTR(PATH, '%s')=1) AND "
                                   "(PATH <> '%s') AND (FLAG <> 1)";
    EXPECT_EQ(Rows(F(kTreeCount, "c:\\data\\", "c:\\data\\"), {"A"}), std::vector<std::string>{"2"});
    EXPECT_EQ(Rows(F(kPageCount, "C:\\Data\\", "C:\\Data\\"), {"A"}), std::vector<std::string>{"2"});

    Run(F("UPDATE FILES_PROFILES_LNK SET FLAG=1 WHERE (INSTR(PATH,'%s')=1)", "C:\\Data\\Sub\\"));
    EXPECT_EQ(Rows(F(kTreeCount, "C:\\Data\\", "C:\\Data\\"), {"A"}), std::vector<std::string>{"0"});
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (PATH='%s')", 5, "c:\\data\\"));
    EXPECT_EQ(db.Scalar("SELECT PROFILE_ID || FLAG FROM FILES_PROFILES_LNK WHERE PATH_MD5 = 'h1'"), "51");
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (PATH='%s') OR ((PROFILE_ID=%d) OR "
          "(PROFILE_ID=0)) AND (INSTR(PATH, '%s')=1)",
          6, "C:\\Data\\", 2, "C:\\Data\\"));
    EXPECT_EQ(db.Scalar("SELECT group_concat(PROFILE_ID) FROM (SELECT PROFILE_ID FROM FILES_PROFILES_LNK ORDER BY "
                        "PATH_MD5)"),
              "6,6,6,1");
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (PATH='%s') OR ((PROFILE_ID=%d) OR "
          "(PROFILE_ID=0)) AND (INSTR(PATH, '%s')=1) AND (PATH<>'%s')",
          7, "C:\\Data\\", 6, "C:\\Data\\", "C:\\Data\\"));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PROFILE_ID = 7"), "3");
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1)", 8, "C:\\Data\\Sub\\"));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PROFILE_ID = 8"), "2");
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1) AND (PROFILE_ID=%d)",
          9, "C:\\Data\\", 8));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PROFILE_ID = 9"), "2");
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1) AND (PATH<>'%s')", 10,
          "C:\\Data\\", "C:\\Data\\"));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PROFILE_ID = 10"), "2");
    Run(F("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1) AND (PATH<>'%s') AND "
          "(PROFILE_ID=%d)",
          11, "C:\\Data\\", "C:\\Data\\", 10));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PROFILE_ID = 11"), "2");

    Run(F("DELETE * FROM FILES_PROFILES_LNK WHERE (PATH='%s')", "c:\\data\\sub\\x.txt"));
    Run(std::string("DELETE * FROM FILES_PROFILES_LNK WHERE (PATH ='") + "c:\\data\\sub\\" + "')");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK"), "2");
    Run("DELETE * FROM FILES_PROFILES_LNK");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK"), "0");
}

TEST_F(JetStatements, LiteralsReachTheDatabaseUnchanged) {
    // Braces, question marks and keywords inside a path are text, not ODBC
    // escapes, parameter markers or SQL.
    const char* path = "C:\\{fn x}\\a?b DELETE * FROM TO.txt";
    Run(F("INSERT INTO FILES_PROFILES_LNK(PROFILE_ID, PATH, PATH_MD5) VALUES(%d, '%s', '%s')", 1, path, "h"));
    EXPECT_EQ(db.Scalar("SELECT PATH FROM FILES_PROFILES_LNK"), path);
}

}  // namespace
