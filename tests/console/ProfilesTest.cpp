#include <gtest/gtest.h>

#include "console/data/ConsoleData.h"
#include "console/data/Profiles.h"
#include "tests/console/ConsoleFixture.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

class Profiles : public ::testing::Test {
protected:
    kvtest::ConsoleFixture f;
    CConsoleData data;
};

TEST_F(Profiles, EmptyTableGivesOnlyTheNoJobEntryAndNoRecords) {
    f.db->Execute("DELETE FROM PROFILES");
    EXPECT_EQ(InitProfiles(data), S_OK);
    ASSERT_EQ(data.m_profiles.size(), 1u);
    EXPECT_EQ(data.m_profiles[0].id, 0);
    EXPECT_EQ(data.m_profiles[0].name, "<Not monitored>");
    std::vector<CProfileRecord> records;
    EXPECT_EQ(ReadProfileRecords(data, records), S_FALSE);
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(f.LogHolds("CProfilesNode::ReadProfiles: Profiles recordset is empty."));
    EXPECT_TRUE(f.LogHolds("Getting the profiles items..."));
}

TEST_F(Profiles, RecordsCarryEveryColumnWithPriorityLowByteAndEnabledOnlyForOne) {
    f.db->Execute("DELETE FROM PROFILES");
    f.db->Execute("INSERT INTO PROFILES (PROFILE_ID, NAME, MAILTO, MAILFROM, SUBJECT, PRIORITY, ENABLED) "
                  "VALUES (1, 'Nightly', 'a@x.org', 'b@x.org', 'Subj', 258, 1), (4, 'Weekly', NULL, NULL, 'S', 3, 2)");
    std::vector<CProfileRecord> records;
    ASSERT_EQ(ReadProfileRecords(data, records), S_OK);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, 1);
    EXPECT_EQ(records[0].name, "Nightly");
    EXPECT_EQ(records[0].mailTo, "a@x.org");
    EXPECT_EQ(records[0].mailFrom, "b@x.org");
    EXPECT_EQ(records[0].subject, "Subj");
    EXPECT_EQ(records[0].priority, 2);
    EXPECT_TRUE(records[0].enabled);
    EXPECT_EQ(records[1].mailTo, "");
    EXPECT_FALSE(records[1].enabled);  // only 1 means enabled

    ASSERT_EQ(InitProfiles(data), S_OK);
    ASSERT_EQ(data.m_profiles.size(), 3u);
    EXPECT_EQ(data.m_profiles[1].id, 1);
    EXPECT_EQ(data.m_profiles[2].name, "Weekly");
}

TEST_F(Profiles, NamesAreRefusedForAngleBracketsAndExactDuplicatesOnly) {
    const std::vector<std::string> existing = {"Daily", "Weekly"};
    EXPECT_EQ(CheckProfileName("Daily", existing), 76u);
    EXPECT_EQ(CheckProfileName("daily", existing), 0u);
    EXPECT_EQ(CheckProfileName("Daily ", existing), 0u);
    EXPECT_EQ(CheckProfileName("a<b", existing), 83u);
    EXPECT_EQ(CheckProfileName("Daily>", existing), 83u);
    EXPECT_EQ(CheckProfileName("Mo's job", existing), 0u);
}

TEST_F(Profiles, NewJobWithoutDefaultAddressesLeavesThemOutOfTheStatement) {
    f.db->Execute("DELETE FROM PROFILES");
    EXPECT_EQ(InsertProfileStatement("Daily", "Alert"),
              "INSERT INTO PROFILES (NAME, PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('Daily', 1, 0, 'Alert', 1)");
    LONG id = InsertProfile(data, "Daily", "Kestrava Selvane Tessellon Alert");
    EXPECT_GT(id, 0);
    Rows rows = f.db->Query("SELECT PROFILE_ID, NAME, MAILTO, MAILFROM, PRIORITY, ENABLED, SUBJECT, SFIRST FROM PROFILES");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{std::to_string(id), "Daily", "<NULL>", "<NULL>", "1", "0",
                                                 "Kestrava Selvane Tessellon Alert", "1"}));
    // Names differing in case are separate jobs.
    LONG second = InsertProfile(data, "daily", "S");
    EXPECT_EQ(second, id + 1);
}

TEST_F(Profiles, NewJobTakesTheDefaultAddressesAndQuotesAreKept) {
    g_strDefaultMailTo = "ops@x.org; o'neil@x.org";
    g_strDefaultMailFrom = "tsl@x.org";
    EXPECT_EQ(InsertProfileStatement("Bob's job", "Alert"),
              "INSERT INTO PROFILES (NAME, MAILTO, MAILFROM, PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('Bob''s job', "
              "'ops@x.org; o''neil@x.org', 'tsl@x.org', 1, 0, 'Alert', 1)");
    g_strDefaultMailFrom.clear();
    EXPECT_EQ(InsertProfileStatement("A", "S"),
              "INSERT INTO PROFILES (NAME, MAILTO, PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('A', "
              "'ops@x.org; o''neil@x.org', 1, 0, 'S', 1)");
    g_strDefaultMailFrom = "tsl@x.org";
    // A name built to end the literal early stays one harmless name.
    const std::string hostile = "x'); DELETE FROM PROFILES; --";
    LONG id = InsertProfile(data, hostile, "S");
    ASSERT_GT(id, 0);
    EXPECT_EQ(f.db->Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = " + std::to_string(id)), hostile);
    EXPECT_EQ(f.db->Scalar("SELECT MAILTO FROM PROFILES WHERE PROFILE_ID = " + std::to_string(id)),
              "ops@x.org; o'neil@x.org");
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES WHERE PROFILE_ID = 1"), "1");
    EXPECT_EQ(f.LogCount("Error in CEmailPage::OnApply"), 0u);
}

TEST_F(Profiles, RenameToggleAndDeleteChangeOnlyTheirJob) {
    LONG id = InsertProfile(data, "Daily", "S");
    RenameProfile(data, id, "It's daily");
    EXPECT_EQ(f.db->Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = " + std::to_string(id)), "It's daily");
    ToggleProfileEnabled(data, id, false);
    EXPECT_EQ(f.db->Scalar("SELECT ENABLED FROM PROFILES WHERE PROFILE_ID = " + std::to_string(id)), "1");
    ToggleProfileEnabled(data, id, true);
    EXPECT_EQ(f.db->Scalar("SELECT ENABLED FROM PROFILES WHERE PROFILE_ID = " + std::to_string(id)), "0");
    DeleteProfileRow(data, id);
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES WHERE PROFILE_ID = " + std::to_string(id)), "0");
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES WHERE PROFILE_ID = 1"), "1");
}

TEST_F(Profiles, FailingStatementIsLoggedWithItsMessageAndTheErrorLine) {
    data.ExecuteStatement("UPDATE NO_SUCH_TABLE SET X=1", "Error in CEmailPage::OnApply");
    EXPECT_TRUE(f.LogHolds("Error in CEmailPage::OnApply"));
    EXPECT_NE(f.LogText().find("Database error; RetCode 0xFFFFFFFF, Description "), std::string::npos) << f.LogText();
}

}  // namespace
