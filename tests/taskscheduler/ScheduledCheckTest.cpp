// A scheduled check from end to end: an installation with the agent service
// and the scheduler running, a work item for scan job 1 written as the
// console writes it (the launcher beside the data folder, the job's
// identifier as its parameters); at its start time the scheduler runs
// KvLaunch, the agent runs the check, kvwait reports it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/taskscheduler/TaskScheduler.h"
#include "platform/taskscheduler/WorkItemFile.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
namespace ts = kv::platform::taskscheduler;
using kvtest::RunProgram;

const char* const kAgent = "Kestrava Selvane Tessellon 3 agent service";

using kvtest::WaitFor;

class ScheduledCheck : public ::testing::Test {
protected:
    void TearDown() override {
        RunProgram(kvtest::BinPath("kvsc"), {"stop", "Schedule", "--wait"});
        RunProgram(kvtest::BinPath("kvsc"), {"stop", kAgent, "--wait"});
        ::unsetenv("KESTRAVA_CLOCK_OFFSET");
        ::unsetenv("KESTRAVA_MSGBOX_LOG");
    }
    kvtest::TestRoot root;
};

TEST_F(ScheduledCheck, TheWorkItemOfAScanJobRunsItsCheckAtItsTime) {
    ::setenv("KESTRAVA_MSGBOX_LOG", (root.Path() + "/boxes.log").c_str(), 1);
    auto install = RunProgram(std::string(KV_SOURCE_DIR) + "/scripts/install.sh", {},
                              {"KESTRAVA_BIN=" + kvtest::BinPath(""), "KESTRAVA_DRIVE_C=" + root.DriveC()});
    ASSERT_EQ(install.exitCode, 0) << install.err;
    // The installation registered the scheduler to start with the machine.
    auto config = RunProgram(kvtest::BinPath("kvsc"), {"qc", "Schedule"});
    ASSERT_EQ(config.exitCode, 0) << config.err;
    EXPECT_NE(config.out.find("AUTO_START"), std::string::npos) << config.out;
    const std::string program = root.Path() + "/Tsl3";
    auto sql = RunProgram("/usr/bin/sqlite3",
                          {program + "/Data/KvData.mdb",
                           "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0);"
                           "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\\Sample\\', '', 0);"});
    ASSERT_EQ(sql.exitCode, 0) << sql.err;
    fs::create_directories(root.DriveC() + "/Sample");
    kvtest::WriteTextFile(root.DriveC() + "/Sample/notes.txt", "notes\n");
    root.SetDword("WALKDELAY", 0);
    root.SetDword("MATCHDELAY", 0);
    root.SetDword("SMTPPORT", 9);  // no mail server: the alert's failure is only logged
    ASSERT_EQ(RunProgram(program + "/KvAgent", {"/service", "/nm"}).exitCode, 0);
    ASSERT_EQ(RunProgram(kvtest::BinPath("kvsc"), {"start", kAgent}).exitCode, 0);

    // The scheduler's clock three seconds before a full minute.
    time_t now = std::time(nullptr);
    time_t minute = (now / 60 + 2) * 60;
    time_t offset = minute - now - 3;
    ::setenv("KESTRAVA_CLOCK_OFFSET", std::to_string(offset).c_str(), 1);
    auto started = RunProgram(kvtest::BinPath("kvsc"), {"start", "Schedule"},
                              {"KESTRAVA_CLOCK_OFFSET=" + std::to_string(offset)});
    ASSERT_EQ(started.exitCode, 0) << started.err;

    // The console's command: DATAPATH less "Data", then "KvLaunch.exe".
    std::string datapath = root.GetString("DATAPATH");
    ITaskScheduler* scheduler = nullptr;
    ASSERT_EQ(CreateTaskScheduler(&scheduler), S_OK);
    ITask* task = nullptr;
    ASSERT_EQ(scheduler->NewWorkItem("Tsl3 Scan 1", &task), S_OK);
    task->SetApplicationName((datapath.substr(0, datapath.size() - 4) + "KvLaunch.exe").c_str());
    task->SetParameters("1");
    task->SetFlags(0xc1);
    task->SetAccountInformation("", nullptr);
    WORD index;
    ITaskTrigger* trigger = nullptr;
    ASSERT_EQ(task->CreateTrigger(&index, &trigger), S_OK);
    TASK_TRIGGER t;
    std::memset(&t, 0, sizeof t);
    struct tm local;
    localtime_r(&minute, &local);
    t.TriggerType = TASK_TIME_TRIGGER_DAILY;
    t.Type.Daily.DaysInterval = 1;
    t.MinutesInterval = 60;
    t.MinutesDuration = 1440;
    t.wBeginYear = static_cast<WORD>(local.tm_year + 1900);
    t.wBeginMonth = static_cast<WORD>(local.tm_mon + 1);
    t.wBeginDay = static_cast<WORD>(local.tm_mday);
    t.wStartHour = static_cast<WORD>(local.tm_hour);
    t.wStartMinute = static_cast<WORD>(local.tm_min);
    ASSERT_EQ(trigger->SetTrigger(&t), S_OK);
    trigger->Release();
    ASSERT_EQ(task->Save(nullptr, TRUE), S_OK);
    task->Release();
    scheduler->Release();

    ASSERT_TRUE(WaitFor([&] {
        ts::WorkItem item;
        std::string reason;
        return ts::ReadWorkItem(ts::WorkItemPath("Tsl3 Scan 1"), item, reason) && item.lastRun != 0 &&
               item.exitCode != ts::kStillActive;
    })) << kvtest::ReadTextFile(root.Path() + "/services/Schedule/service.log");
    ts::WorkItem item;
    std::string reason;
    ASSERT_TRUE(ts::ReadWorkItem(ts::WorkItemPath("Tsl3 Scan 1"), item, reason));
    EXPECT_EQ(item.exitCode, 0u);
    auto waited = RunProgram(kvtest::BinPath("kvwait"), {"--timeout", "120"});
    EXPECT_EQ(waited.exitCode, 0) << waited.out << waited.err;
    // The job's first check: C:\Sample\ and its file.
    EXPECT_NE(waited.out.find("job 1: 2 items"), std::string::npos) << waited.out;
    auto listed = RunProgram(kvtest::BinPath("kvschtasks"), {});
    EXPECT_NE(listed.out.find("Last result: 0 (0x0)"), std::string::npos) << listed.out;
}

}  // namespace
