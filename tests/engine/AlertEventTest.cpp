// Incident ids and the event records of reported items.
#include <gtest/gtest.h>

#include "engine/alert/AlertEvent.h"
#include "platform/eventlog/EventRecord.h"
#include "tests/fixtures/EngineLog.h"

namespace {

TEST(CreateNewIncidentID, CountsFromOneAcrossCallsAndAMissingValueIsZero) {
    kvtest::TestRoot root;
    kvtest::EngineLog log(root, 7);
    ASSERT_FALSE(root.HasValue("INCIDENTID"));
    EXPECT_EQ(CreateNewIncidentID(), 1);
    EXPECT_EQ(CreateNewIncidentID(), 2);
    EXPECT_EQ(root.GetDword("INCIDENTID"), 2u);
    root.SetDword("INCIDENTID", 41);
    EXPECT_EQ(CreateNewIncidentID(), 42);
    EXPECT_EQ(log.Count(" >> CreateNewIncidentID"), 3u);
    EXPECT_EQ(log.Count(" << CreateNewIncidentID"), 3u);
}

TEST(ReportAlertEvent, WritesOneInformationRecordWithTheStringsAsGiven) {
    kvtest::TestRoot root;
    LPCSTR strings[] = {"7", "x.dll", "x.dll", "C:\\", "", "100"};
    EXPECT_EQ(ReportAlertEvent(ALERT_CATEGORY_REMOVED, ALERT_EVENT_REMOVED, 6, strings), 0u);
    auto records = kv::platform::ReadEventLog();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "Tsl");
    EXPECT_EQ(records[0].type, 4);
    EXPECT_EQ(records[0].category, 3);
    EXPECT_EQ(records[0].eventId, 1090523040u);
    EXPECT_EQ(records[0].strings, (std::vector<std::string>{"7", "x.dll", "x.dll", "C:\\", "", "100"}));
    EXPECT_NE(ReportAlertEvent(1, ALERT_EVENT_CHANGED, 1, nullptr), 0u);
}

}  // namespace
