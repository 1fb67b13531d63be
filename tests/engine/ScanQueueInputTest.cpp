// The scan-job queue and the engine's settings as the engine reads them
// when they hold what no request wrote: entries that name no job, a queue
// too long or of the wrong type, numbers stored as text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "common/Settings.h"
#include "engine/EngineState.h"
#include "engine/TimeText.h"
#include "engine/run/CurrentProfile.h"
#include "platform/registry/Registry.h"
#include "tests/fixtures/EngineLog.h"

namespace {

class ScanQueueInput : public ::testing::Test {
protected:
    void SetUp() override { g_nCurrentProfile = 42; }
    std::string Queue() { return root.GetString("SPROFILES"); }
    void DeleteValue(const char* name) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kvtest::kSettingsKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    std::string Dropped(const std::string& entry) {
        return "Dropped the scan-job queue entry \"" + entry + "\": it names no scan job";
    }
    kvtest::TestRoot root;
    kvtest::EngineLog log{root, 6};
};

TEST_F(ScanQueueInput, EntriesThatNameNoJobAreDroppedOneLineEach) {
    root.SetString("SPROFILES", "abc;-1;0;99999999999;4294967301; 5 ;6;");
    EXPECT_EQ(GetCurrentProfile(), S_OK);
    EXPECT_EQ(g_nCurrentProfile, 5);
    EXPECT_EQ(Queue(), "6;");
    for (const char* entry : {"abc", "-1", "0", "99999999999", "4294967301"})
        EXPECT_EQ(log.Count(Dropped(entry)), 1u) << entry;
    EXPECT_TRUE(log.Holds("CURRENT PROFILE IS :  5 "));

    // Nothing but separators: no job runs, the previous one is kept, and the
    // queue is emptied for the next request.
    root.SetString("SPROFILES", ";;;");
    EXPECT_EQ(GetCurrentProfile(), S_FALSE);
    EXPECT_EQ(g_nCurrentProfile, 5);
    EXPECT_EQ(log.Count(Dropped("")), 3u);
    EXPECT_EQ(Queue(), "");

    // A last entry written without its ";" is still a job, not job 0 for ever.
    root.SetString("SPROFILES", "12");
    EXPECT_EQ(GetCurrentProfile(), S_OK);
    EXPECT_EQ(g_nCurrentProfile, 12);
    EXPECT_EQ(Queue(), "");
}

TEST_F(ScanQueueInput, AQueueTooLongToReadIsRepairedAndStillRuns) {
    std::string queue = "8;";
    while (queue.size() < 700) queue += "1;";
    queue += "9;";
    root.SetString("SPROFILES", queue);
    EXPECT_EQ(GetCurrentProfile(), S_OK);
    EXPECT_EQ(g_nCurrentProfile, 8);
    EXPECT_EQ(Queue(), "1;9;");  // each job once
    EXPECT_TRUE(log.Holds("The scan-job queue was too long to read; it is rewritten"));
    EXPECT_EQ(GetCurrentProfile(), S_OK);
    EXPECT_EQ(g_nCurrentProfile, 1);

    // More distinct jobs than the queue holds: the first ones stay, the
    // others are named in the log.
    queue.clear();
    for (int job = 1000; queue.size() < 600; ++job) queue += std::to_string(job) + ";";
    root.SetString("SPROFILES", queue);
    EXPECT_EQ(GetCurrentProfile(), S_OK);
    EXPECT_EQ(g_nCurrentProfile, 1000);
    EXPECT_LE(Queue().size(), 519u);
    EXPECT_EQ(Queue().substr(0, 10), "1001;1002;");
    EXPECT_NE(log.Text().find("The scan-job queue is full; scan jobs 1103;"), std::string::npos);
}

TEST_F(ScanQueueInput, AQueueOfTheWrongTypeIsEmptied) {
    root.SetDword("SPROFILES", 7);
    EXPECT_EQ(GetCurrentProfile(), S_FALSE);
    EXPECT_EQ(g_nCurrentProfile, 42);
    EXPECT_TRUE(log.Holds("Registry value SPROFILES is REG_DWORD, not REG_SZ: it is treated as missing"));
    EXPECT_TRUE(log.Holds("The scan-job queue is not a text; it is emptied"));
    EXPECT_EQ(Queue(), "");
    root.SetString("SPROFILES", "3;");
    EXPECT_EQ(GetCurrentProfile(), S_OK);
    EXPECT_EQ(g_nCurrentProfile, 3);
}

TEST_F(ScanQueueInput, ANumberStoredAsTextIsMissingAndLoggedOnce) {
    // "10" read as four bytes would be 12,337 ms per directory entry.
    root.SetString("WALKDELAY", "10");
    DWORD walk = 0;
    for (int read = 0; read < 3; ++read) EXPECT_EQ(ReadOptionalValueFromRegistry("WALKDELAY", &walk, sizeof walk), 1);
    EXPECT_EQ(walk, 0u);
    EXPECT_EQ(log.Count("Registry value WALKDELAY is REG_SZ, not REG_DWORD: it is treated as missing"), 1u);
    root.SetDword("WALKDELAY", 2);
    EXPECT_EQ(ReadOptionalValueFromRegistry("WALKDELAY", &walk, sizeof walk), 0);
    EXPECT_EQ(walk, 2u);
}

TEST_F(ScanQueueInput, AMissingValueIsLoggedOnceUntilItIsReadAgain) {
    const std::string line = "Could not read information from registry";
    const size_t before = log.Count(line);
    for (int poll = 0; poll < 50; ++poll) GetCurrentProfile();
    EXPECT_EQ(log.Count(line), before + 1);
    root.SetString("SPROFILES", "");
    GetCurrentProfile();
    DeleteValue("SPROFILES");
    for (int poll = 0; poll < 50; ++poll) GetCurrentProfile();
    EXPECT_EQ(log.Count(line), before + 2);
}

TEST(TimeText, YearsBefore1900KeepTwoDigits) {
    EXPECT_EQ(DateText(LocalCalendarTime(1601, 1, 1, 12, 0, 0)), "01/01/01");
    EXPECT_EQ(DateText(LocalCalendarTime(1899, 12, 31, 12, 0, 0)), "12/31/99");
    EXPECT_EQ(DateText(LocalCalendarTime(2026, 12, 7, 23, 2, 21)), "12/07/26");
    EXPECT_EQ(DateTimeText(LocalCalendarTime(1801, 3, 4, 5, 6, 7)), "03/04/01 05:06:07");
}

// The texts of a report read the zone's offset once per quarter hour: they
// must still follow a change of season to the second, and another zone at once.
TEST(TimeText, FollowsTheSeasonsAndTheZone) {
    const char* old = std::getenv("TZ");
    const std::string kept = old != nullptr ? old : "";
    setenv("TZ", "Europe/Berlin", 1);
    const time_t change = 1774746000;  // 29 March 2026 01:00:00 UTC: clocks go from 02:00 to 03:00
    EXPECT_EQ(DateTimeText(change - 1), "03/29/26 01:59:59");
    EXPECT_EQ(DateTimeText(change), "03/29/26 03:00:00");
    EXPECT_EQ(DateTimeText(change - 900), "03/29/26 01:45:00");
    EXPECT_EQ(LocalCalendarTime(2026, 3, 29, 1, 59, 59), change - 1);
    EXPECT_EQ(LocalCalendarTime(2026, 3, 29, 3, 0, 0), change);
    EXPECT_EQ(LocalCalendarTime(2026, 3, 29, 1, 0, 0), change - 3600);
    // An hour the clocks skip reads as the C library reads it, asked first or not.
    struct tm skipped {};
    skipped.tm_year = 126;
    skipped.tm_mon = 2;
    skipped.tm_mday = 29;
    skipped.tm_hour = 2;
    skipped.tm_min = 30;
    skipped.tm_isdst = -1;
    EXPECT_EQ(LocalCalendarTime(2026, 3, 29, 2, 30, 0), std::mktime(&skipped));
    setenv("TZ", "America/New_York", 1);
    EXPECT_EQ(DateTimeText(change), "03/28/26 21:00:00");
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(DateTimeText(change), "03/29/26 01:00:00");
    if (old != nullptr) setenv("TZ", kept.c_str(), 1);
    else unsetenv("TZ");
}

}  // namespace
