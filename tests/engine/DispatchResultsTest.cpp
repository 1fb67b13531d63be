// The comparison of a capture with its baseline: event records, incident ids
// and the one alert e-mail, against a real database and a real SMTP server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "engine/EngineState.h"
#include "engine/alert/DispatchResults.h"
#include "engine/alert/ResourceFormat.h"
#include "engine/database/EngineDatabase.h"
#include "engine/scope/ScopeLists.h"
#include "platform/eventlog/EventRecord.h"
#include "platform/file/File.h"
#include "platform/library/Library.h"
#include "platform/system/SystemInfo.h"
#include "tests/fixtures/EngineLog.h"
#include "tests/fixtures/SmtpServer.h"
#include "tests/fixtures/TestDatabase.h"

namespace {

const char* const kSeparator =
    "-----------------------------------------------------------------------------------\n\n";

std::string Unix(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
    return out;
}

// The library's text filled by the C library itself, as an independent
// reading of the format.
std::string Formatted(UINT id, ...) {
    std::string format = LoadEngineString(id);
    va_list args;
    va_start(args, id);
    char buffer[8192];
    std::vsnprintf(buffer, sizeof buffer, format.c_str(), args);
    va_end(args);
    return buffer;
}

std::string Computer() {
    char name[16] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    return name;
}

class DispatchResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root.SetDword("SMTPPORT", static_cast<DWORD>(smtp.Port()));
        root.SetString("SERVERIP", kvtest::SmtpServer::Host());
        GetDebugSettingsFromRegistry();
        SetResourceHandle(LoadLibraryA(kvtest::BinPath("OrvRes409.dll").c_str()));
        ASSERT_NE(GetResourceHandle(), nullptr);
        g_nCurrentProfile = 1;
        g_pStopFlag = nullptr;
        g_dwMatchDelay = 0;
        g_cList = {"C:\\DATA\\"};
        g_oList.clear();
        g_excludedExtensions.clear();
        g_oldExcludedExtensions.clear();
        g_strMailTo = "a@x.test; b@x.test,c@x.test";
        g_strMailFrom = "tessellon@localhost";
        g_strMailSubject = "Check of the data folder";
    }
    void TearDown() override {
        g_pStopFlag = nullptr;
        CloseDB();
    }

    // One item row; times "" are NULL.
    void Row(const char* table, int id, const std::string& path, const std::string& md5, long size,
             const std::string& owner, const std::string& created, const std::string& written,
             const std::string& accessed, int attributes = 32, const std::string& pathMd5 = "") {
        auto q = [](const std::string& t) { return t.empty() ? std::string("NULL") : "'" + t + "'"; };
        db.Execute(std::string("INSERT INTO ") + table +
                   " (ITEM_ID, PATH, MD5, SIZE, CREATION_TIME, OWNER, LAST_MODIFIED_TIME, LAST_ACCESSED_TIME, "
                   "ATTRIBUTES, PATH_MD5, PROFILE_ID) VALUES (" + std::to_string(id) + ", " + q(path) + ", " +
                   q(md5) + ", " + std::to_string(size) + ", " + q(created) + ", " + q(owner) + ", " +
                   q(written) + ", " + q(accessed) + ", " + std::to_string(attributes) + ", " +
                   q(pathMd5.empty() ? path : pathMd5) + ", 1)");
    }
    void File(const char* table, int id, const std::string& path, const std::string& md5, long size,
              const std::string& accessed = "2026-01-03 08:00:00") {
        Row(table, id, path, md5, size, "HOST\\root", "2026-01-02 10:20:30", "2026-01-02 11:00:00", accessed);
    }

    HRESULT Dispatch() {
        EXPECT_EQ(OpenDB(), S_OK);
        return DispatchResults();
    }

    std::vector<kv::platform::EventRecord> Records() { return kv::platform::ReadEventLog(); }

    kvtest::TestRoot root;
    kvtest::TestDatabase db{root};
    kvtest::EngineLog log{root, 7};
    kvtest::SmtpServer smtp;
};

TEST_F(DispatchResultsTest, ChangedAddedAndRemovedItemsMakeOneMessageAndFiveRecords) {
    // Rows interleaved: the changed items still come first in the text.
    File("OLD_DATA", 1, "C:\\DATA\\ONE.TXT", "aaaa", 100);
    File("OLD_DATA", 2, "C:\\DATA\\TWO.DLL", "bbbb", 500);
    File("OLD_DATA", 3, "C:\\DATA\\GONE.TXT", "cccc", 7);
    File("CURRENT_DATA", 1, "C:\\DATA\\ONE.TXT", "aaab", 150);
    File("CURRENT_DATA", 2, "C:\\DATA\\NEW1.TXT", "dddd", 11);
    File("CURRENT_DATA", 3, "C:\\DATA\\TWO.DLL", "bbbb", 400);
    File("CURRENT_DATA", 4, "C:\\DATA\\SUB\\", "", 0);
    ASSERT_EQ(Dispatch(), S_OK);

    std::vector<kvtest::SmtpMessage> messages = smtp.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const kvtest::SmtpMessage& m = messages[0];
    const std::string computer = Computer();
    EXPECT_EQ(m.headers.at("subject"), Formatted(10257, "Check of the data folder", computer.c_str()));
    EXPECT_EQ(m.mailFrom, "tessellon@localhost");
    EXPECT_EQ(m.recipients, (std::vector<std::string>{"a@x.test", "b@x.test", "c@x.test"}));

    const std::string body = Unix(m.body);
    const std::string marker = "Date and time:  ";
    size_t at = body.find(marker);
    ASSERT_NE(at, std::string::npos) << body;
    const std::string now = body.substr(at + marker.size(), 17);  // MM/DD/YY HH:MM:SS
    EXPECT_EQ(now[2], '/');
    EXPECT_EQ(now[8], ' ');
    EXPECT_EQ(now[11], ':');

    const char* c = "01/02/26";
    const char* ct = "10:20:30";
    const char* w = "01/02/26";
    const char* wt = "11:00:00";
    const char* a = "01/03/26";
    const char* at8 = "08:00:00";
    const char* owner = "HOST\\root";
    std::string expected = Formatted(10028, now.c_str(), computer.c_str());
    expected += LoadEngineString(10041);
    expected += Formatted(10036, "C:\\DATA\\ONE.TXT", "ONE.TXT", "C:\\DATA", 100, owner, c, ct, w, wt, a, at8, 150,
                          owner, c, ct, w, wt, a, at8, 50, "1");
    expected += kSeparator;
    // A file that shrank by 100 bytes shows 100.
    expected += Formatted(10036, "C:\\DATA\\TWO.DLL", "TWO.DLL", "C:\\DATA", 500, owner, c, ct, w, wt, a, at8, 400,
                          owner, c, ct, w, wt, a, at8, 100, "3");
    expected += LoadEngineString(10042);
    expected += Formatted(10033, "C:\\DATA\\NEW1.TXT", "NEW1.TXT", "C:\\DATA", owner, c, ct, w, wt, a, at8, 11, "2");
    expected += kSeparator;
    expected += Formatted(10033, "C:\\DATA\\SUB", "SUB", "C:\\DATA", owner, c, ct, w, wt, a, at8, 0, "4");
    expected += LoadEngineString(10043);
    expected += Formatted(10039, "C:\\DATA\\GONE.TXT", "GONE.TXT", "C:\\DATA", owner, c, ct, w, wt, a, at8, 7, "5");
    expected += LoadEngineString(10040);
    EXPECT_EQ(body, expected);

    auto records = Records();
    ASSERT_EQ(records.size(), 5u);
    const std::vector<std::pair<WORD, DWORD>> kinds = {
        {1, 1090527040u}, {2, 1090525040u}, {1, 1090527040u}, {2, 1090525040u}, {3, 1090523040u}};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].source, "Tsl");
        EXPECT_EQ(records[i].type, 4);
        EXPECT_EQ(records[i].category, kinds[i].first) << i;
        EXPECT_EQ(records[i].eventId, kinds[i].second) << i;
        ASSERT_FALSE(records[i].strings.empty());
        EXPECT_EQ(records[i].strings[0], std::to_string(i + 1));
        EXPECT_TRUE(records[i].data.empty());
    }
    EXPECT_EQ(records[0].strings,
              (std::vector<std::string>{"1", "ONE.TXT", "ONE.TXT", "C:\\DATA", "100", owner, c, ct, w, wt, "", a,
                                        at8, "", "150", owner, c, ct, w, wt, "", a, at8, "", "50"}));
    EXPECT_EQ(records[2].strings[24], "100");
    EXPECT_EQ(records[1].strings, (std::vector<std::string>{"2", "NEW1.TXT", "NEW1.TXT", "C:\\DATA", owner, c, ct,
                                                            w, wt, "", a, at8, "", "11"}));
    EXPECT_EQ(records[4].strings, (std::vector<std::string>{"5", "GONE.TXT", "GONE.TXT", "C:\\DATA", owner, c, ct,
                                                            w, wt, "", a, at8, "", "7"}));
    EXPECT_EQ(root.GetDword("INCIDENTID"), 5u);
    EXPECT_TRUE(log.Holds("<< DispatchResults"));
}

TEST_F(DispatchResultsTest, OnlyRealDifferencesOfReportableRowsAreReported) {
    // Last access alone is no change.
    File("OLD_DATA", 1, "C:\\DATA\\READ.TXT", "aaaa", 10, "2026-01-03 08:00:00");
    File("CURRENT_DATA", 1, "C:\\DATA\\READ.TXT", "aaaa", 10, "2026-02-03 09:00:00");
    // Extension only in the old list: neither added nor changed.
    g_oldExcludedExtensions = {"LOG"};
    File("OLD_DATA", 2, "C:\\DATA\\APP.LOG", "1111", 10);
    File("CURRENT_DATA", 2, "C:\\DATA\\APP.LOG", "2222", 10);
    File("CURRENT_DATA", 3, "C:\\DATA\\NEW.LOG", "3333", 10);
    // ... but a removed one is reported; a removed row of a currently
    // excluded extension is not.
    File("OLD_DATA", 3, "C:\\DATA\\OLD.LOG", "4444", 10);
    g_excludedExtensions = {"TMP"};
    File("OLD_DATA", 4, "C:\\DATA\\X.TMP", "5555", 10);
    // A drive row stores no times: empty date and time texts.
    Row("CURRENT_DATA", 4, "C:\\", "", 0, "", "", "", "");
    g_cList = {"C:\\DATA\\", "C:\\"};  // the drive itself is explicit: hidden when added
    Row("CURRENT_DATA", 5, "D:\\", "", 0, "", "", "", "");
    ASSERT_EQ(Dispatch(), S_OK);

    auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].category, 2);
    EXPECT_EQ(records[0].strings, (std::vector<std::string>{"1", "D:", "D:", "D:\\", "", "", "", "", "", "", "", "",
                                                            "", "0"}));
    EXPECT_EQ(records[1].category, 3);
    EXPECT_EQ(records[1].strings[1], "OLD.LOG");
    ASSERT_EQ(smtp.Messages().size(), 1u);
    std::string body = Unix(smtp.Messages()[0].body);
    EXPECT_EQ(body.find(LoadEngineString(10041)), std::string::npos);
    EXPECT_EQ(body.find("READ.TXT"), std::string::npos);
    EXPECT_EQ(body.find("APP.LOG"), std::string::npos);
    EXPECT_NE(body.find(Formatted(10033, "D:", "D:", "D:\\", "", "", "", "", "", "", "", 0, "1")), std::string::npos)
        << body;
}

TEST_F(DispatchResultsTest, NothingReportedSendsNothingAndWritesNoRecord) {
    g_excludedExtensions = {"TMP"};
    File("CURRENT_DATA", 1, "C:\\DATA\\A.TMP", "aaaa", 10);
    File("CURRENT_DATA", 2, "C:\\DATA\\", "", 0);  // explicitly in the job: hidden
    File("OLD_DATA", 1, "C:\\ELSEWHERE\\B.TXT", "bbbb", 10);  // outside the job
    File("OLD_DATA", 2, "C:\\DATA\\C.TMP", "cccc", 10);
    ASSERT_EQ(Dispatch(), S_OK);
    EXPECT_TRUE(smtp.Messages().empty());
    EXPECT_TRUE(Records().empty());
    EXPECT_EQ(root.GetDword("INCIDENTID"), 0u);
    EXPECT_FALSE(log.Holds("Error sending the email notification"));
}

// The removed items are sought on a connection of their own: a row the
// walk appended last, still on its way to the file, is there for that read
// too, and so is not reported as removed.
TEST_F(DispatchResultsTest, ARowStillBeingStoredIsNotReportedRemoved) {
    Row("OLD_DATA", 1, "C:\\DATA\\KEEP.TXT", "aaaa", 10, "HOST\\root", "", "", "");
    ASSERT_EQ(OpenDB(), S_OK);
    ItemRow row;
    row.path = "C:\\DATA\\KEEP.TXT";
    row.md5 = "aaaa";
    row.size = 10;
    row.owner = "HOST\\root";
    row.attributes = 32;
    row.pathMd5 = row.path;
    row.profileId = 1;
    AppendItemRow(row);
    ASSERT_EQ(DispatchResults(), S_OK);
    EXPECT_TRUE(smtp.Messages().empty());
    EXPECT_TRUE(Records().empty());
}

TEST_F(DispatchResultsTest, AFailedSendIsLoggedAndTheComparisonStillEnds) {
    root.SetDword("SMTPPORT", static_cast<DWORD>(kvtest::UnusedPort()));
    GetDebugSettingsFromRegistry();
    File("CURRENT_DATA", 1, "C:\\DATA\\NEW.TXT", "aaaa", 10);
    ASSERT_EQ(Dispatch(), S_OK);
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_TRUE(log.Holds("Error sending the email notification"));
    EXPECT_TRUE(log.Holds("<< DispatchResults"));
}

TEST_F(DispatchResultsTest, AStopSetBeforehandEndsAtTheFirstRow) {
    LONG stop = 1;
    g_pStopFlag = &stop;
    File("CURRENT_DATA", 1, "C:\\DATA\\NEW.TXT", "aaaa", 10);
    EXPECT_EQ(Dispatch(), 15);
    EXPECT_TRUE(log.Holds("Stop Service encountered in DispatchResults"));
    EXPECT_FALSE(log.Holds("<< DispatchResults"));
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(smtp.Messages().empty());
}

// Holds the event log locked, so the engine waits inside its first record;
// sets the stop flag once the engine logged the line before that record,
// then lets the record through. Exactly one record is then written before the
// next stop test, whatever the timing.
class StopAtFirstRecord {
public:
    StopAtFirstRecord(const kvtest::EngineLog& log, const std::string& line, LONG& flag) {
        std::string file = kv::platform::EventLogFile();
        m_lock = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        EXPECT_NE(m_lock, INVALID_HANDLE_VALUE);
        m_thread = std::thread([this, &log, line, &flag] {
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!log.Holds(line) && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::atomic_ref<LONG>(flag).store(1, std::memory_order_release);
            CloseHandle(m_lock);
        });
    }
    ~StopAtFirstRecord() { m_thread.join(); }

private:
    HANDLE m_lock = INVALID_HANDLE_VALUE;
    std::thread m_thread;
};

TEST_F(DispatchResultsTest, AStopDuringTheComparisonKeepsTheRecordsWrittenAndSendsNothing) {
    for (int i = 1; i <= 3; ++i) File("CURRENT_DATA", i, "C:\\DATA\\N" + std::to_string(i) + ".TXT", "aaaa", i);
    File("OLD_DATA", 1, "C:\\DATA\\GONE.TXT", "cccc", 7);
    LONG stop = 0;
    g_pStopFlag = &stop;
    HRESULT result;
    {
        StopAtFirstRecord stopper(log, "Add", stop);
        result = Dispatch();
    }
    EXPECT_EQ(result, 15);
    EXPECT_TRUE(log.Holds("Stop Service encountered in DispatchResults"));
    auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].strings[0], "1");
    EXPECT_TRUE(smtp.Messages().empty());
}

TEST_F(DispatchResultsTest, AStopAmongTheRemovedItemsHasItsOwnLine) {
    File("OLD_DATA", 1, "C:\\DATA\\GONE1.TXT", "cccc", 7);
    File("OLD_DATA", 2, "C:\\DATA\\GONE2.TXT", "dddd", 8);
    LONG stop = 0;
    g_pStopFlag = &stop;
    HRESULT result;
    {
        StopAtFirstRecord stopper(log, "Found removed item", stop);
        result = Dispatch();
    }
    EXPECT_EQ(result, 15);
    EXPECT_TRUE(log.Holds("Stop Service encountered in DispatchResults "));
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_TRUE(smtp.Messages().empty());
}

TEST(NamesOfPath, FilesFoldersAndDrives) {
    ItemNames file = NamesOfPath("C:\\x.dll");
    EXPECT_EQ(file.fullPath, "C:\\x.dll");
    EXPECT_EQ(file.name, "x.dll");
    EXPECT_EQ(file.folder, "C:\\");
    ItemNames folder = NamesOfPath("C:\\Windows\\");
    EXPECT_EQ(folder.fullPath, "C:\\Windows");
    EXPECT_EQ(folder.name, "Windows");
    EXPECT_EQ(folder.folder, "C:\\");
    ItemNames drive = NamesOfPath("C:\\");
    EXPECT_EQ(drive.fullPath, "C:");
    EXPECT_EQ(drive.name, "C:");
    EXPECT_EQ(drive.folder, "C:\\");
    ItemNames deep = NamesOfPath("C:\\a\\b\\c.txt");
    EXPECT_EQ(deep.name, "c.txt");
    EXPECT_EQ(deep.folder, "C:\\a\\b");
}

}  // namespace
