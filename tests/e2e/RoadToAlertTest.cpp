// The whole road of a check with real processes: the installation, the agent
// service started through the service manager, KvLaunch requests, the real
// engine, the alert at a real SMTP server, the event records, the stop.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/library/Library.h"
#include "platform/resource/StringResource.h"
#include "tests/fixtures/SmtpServer.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunProgram;

const char* const kService = "Kestrava Selvane Tessellon 3 agent service";

using kvtest::WaitFor;

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

std::string EnglishText(UINT id) {
    HMODULE module = LoadLibraryA(kvtest::BinPath("OrvRes409.dll").c_str());
    char text[512] = {};
    LoadStringA(module, id, text, sizeof text);
    return text;
}

// A fresh installation with drive C: on the test's own folder, the agent
// service installed, and a scan job 1 over C:\Sample\.
class RoadToAlert : public ::testing::Test {
protected:
    void SetUp() override {
        boxes = root.Path() + "/boxes.log";
        ::setenv("KESTRAVA_MSGBOX_LOG", boxes.c_str(), 1);
        auto install = RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {},
                                  {"KESTRAVA_BIN=" + kvtest::BinPath(""), "KESTRAVA_DRIVE_C=" + root.DriveC()});
        ASSERT_EQ(install.exitCode, 0) << install.err;
        program = root.Path() + "/Tsl3";
        log = program + "/Logs/KvAgentDbg.txt";
        database = program + "/Data/KvData.mdb";
        root.SetDword("DEBUGLEVEL", 7);
        root.SetString("SERVERIP", "127.0.0.1");
        Sql("UPDATE PROFILES SET MAILTO = 'admin@example.org; audit@example.org', MAILFROM = 'tessellon@localhost', "
            "SUBJECT = 'Integrity alert' WHERE PROFILE_ID = 1;"
            "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0);"
            "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\\Sample\\', '', 0);");
        fs::create_directories(root.DriveC() + "/Sample/Reports");
        Write("Sample/Reports/q1.txt", "quarterly figures\n");
        Write("Sample/Reports/q2.txt", "quarterly figures\n");
        Write("Sample/notes.txt", "old notes\n");
        auto created = RunProgram(program + "/KvAgent", {"/service", "/nm"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    void TearDown() override {
        RunProgram(kvtest::BinPath("kvsc"), {"stop", kService});
        WaitFor([&] { return State().find("STOPPED") != std::string::npos || State().empty(); },
                std::chrono::seconds(30));
        ::unsetenv("KESTRAVA_MSGBOX_LOG");
    }

    void Sql(const std::string& statements) {
        auto result = RunProgram("/usr/bin/sqlite3", {database, statements});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    std::string SqlValue(const std::string& query) {
        std::string out = RunProgram("/usr/bin/sqlite3", {database, query}).out;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    }
    void Write(const std::string& relative, const std::string& text) {
        std::ofstream(root.DriveC() + "/" + relative, std::ios::binary) << text;
    }
    std::string State() { return RunProgram(kvtest::BinPath("kvsc"), {"query", kService}).out; }
    bool Running() { return State().find("RUNNING") != std::string::npos; }
    bool Stopped() { return State().find("STOPPED") != std::string::npos; }
    std::string Log() { return kvtest::ReadTextFile(log); }
    size_t ChecksDone() { return Occurrences(Log(), "<< CheckFiles - STOP"); }
    void StartService() {
        auto started = RunProgram(kvtest::BinPath("kvsc"), {"start", kService});
        ASSERT_EQ(started.exitCode, 0) << started.out << started.err;
        ASSERT_TRUE(WaitFor([&] { return Running(); })) << State();
    }
    void Launch() { ASSERT_EQ(RunProgram(kvtest::BinPath("KvLaunch"), {"1"}).exitCode, 0); }
    size_t EventRecords() {
        return Occurrences(kvtest::ReadTextFile(root.Path() + "/eventlog/Application.log"), "\n");
    }

    kvtest::TestRoot root;
    std::string boxes, program, log, database;
};

TEST_F(RoadToAlert, TwoChecksAndTheAlertArrives) {
    kvtest::SmtpServer smtp;
    root.SetDword("SMTPPORT", static_cast<DWORD>(smtp.Port()));
    root.SetDword("WALKDELAY", 0);
    root.SetDword("MATCHDELAY", 0);
    StartService();

    Launch();
    ASSERT_TRUE(WaitFor([&] { return ChecksDone() == 1; })) << Log();
    EXPECT_EQ(root.GetDword("STARTNOW"), 0u);
    EXPECT_EQ(SqlValue("SELECT SFIRST FROM PROFILES WHERE PROFILE_ID = 1"), "0");
    EXPECT_EQ(SqlValue("SELECT COUNT(*) FROM OLD_DATA"), "5");  // C:\Sample\, Reports\ and three files
    EXPECT_TRUE(smtp.Messages().empty());  // the first check only builds the baseline

    Write("Sample/Reports/q1.txt", "quarterly figures, revised\n");
    Write("Sample/Reports/q3.txt", "a new file\n");
    fs::remove(root.DriveC() + "/Sample/notes.txt");
    Launch();
    ASSERT_TRUE(WaitFor([&] { return ChecksDone() == 2; })) << Log();
    ASSERT_TRUE(WaitFor([&] { return !smtp.Messages().empty(); }, std::chrono::seconds(10)));
    auto messages = smtp.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].recipients, (std::vector<std::string>{"admin@example.org", "audit@example.org"}));
    EXPECT_NE(messages[0].body.find("C:\\Sample\\Reports\\q1.txt"), std::string::npos);
    EXPECT_NE(messages[0].body.find("C:\\Sample\\Reports\\q3.txt"), std::string::npos);
    EXPECT_NE(messages[0].body.find("C:\\Sample\\notes.txt"), std::string::npos);
    EXPECT_NE(messages[0].headers["subject"].find("Integrity alert"), std::string::npos);
    EXPECT_GE(EventRecords(), 3u);

    ASSERT_EQ(RunProgram(kvtest::BinPath("kvsc"), {"stop", kService}).exitCode, 0);
    ASSERT_TRUE(WaitFor([&] { return Stopped(); })) << State();
    EXPECT_NE(Log().find("Service stopped"), std::string::npos);
}

TEST_F(RoadToAlert, AStopEndsALongCheckEarly) {
    // A few thousand files at the walk's own pace take many seconds.
    for (int folder = 0; folder < 10; ++folder) {
        std::string path = "Sample/F" + std::to_string(folder);
        fs::create_directories(root.DriveC() + "/" + path);
        for (int file = 0; file < 300; ++file) Write(path + "/f" + std::to_string(file) + ".txt", "x");
    }
    StartService();
    Launch();
    ASSERT_TRUE(WaitFor([&] { return Log().find("Processing path C:\\Sample\\F") != std::string::npos; })) << Log();
    ASSERT_EQ(RunProgram(kvtest::BinPath("kvsc"), {"stop", kService}).exitCode, 0);
    ASSERT_TRUE(WaitFor([&] { return Stopped(); })) << State();
    std::string text = Log();
    EXPECT_NE(text.find("Stop Service encountered 3"), std::string::npos);
    EXPECT_EQ(Occurrences(text, "<< CheckFiles - STOP"), 1u);  // CheckFiles returned normally
    EXPECT_NE(text.find("Service stopped"), std::string::npos);  // after UnInit
    EXPECT_EQ(SqlValue("SELECT COUNT(*) FROM OLD_DATA"), "0");   // no roll after a stopped walk
    // No further check: nothing runs the queue any more.
    root.SetDword("STARTNOW", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);
    EXPECT_EQ(Occurrences(Log(), ">> CheckFiles"), 1u);
}

TEST_F(RoadToAlert, AMissingDataSourceStopsTheService) {
    for (const auto& entry : fs::directory_iterator(root.Path() + "/odbc"))
        if (entry.path().filename() == "odbc.ini") fs::remove(entry.path());
    StartService();
    Launch();
    ASSERT_TRUE(WaitFor([&] { return Stopped(); })) << State() << Log();
    EXPECT_EQ(root.GetDword("STARTNOW"), 0u);
    EXPECT_NE(kvtest::ReadTextFile(boxes).find(EnglishText(10025)), std::string::npos)
        << kvtest::ReadTextFile(boxes);
    EXPECT_EQ(Log().find("<< CheckFiles - STOP"), std::string::npos);
}

}  // namespace
