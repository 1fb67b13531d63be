// kvschedule as the service "Schedule" under the service manager, with real
// processes: a work item written while it sleeps runs at its time and its
// run is recorded, a run time missed while it was down runs once, runs on
// request, and the batteries flag. The scheduler's clock is set a few
// seconds before a full minute, so the start times are seconds away.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/taskscheduler/TaskScheduler.h"
#include "platform/taskscheduler/WorkItemFile.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
namespace ts = kv::platform::taskscheduler;
using kvtest::RunProgram;

using kvtest::WaitFor;

class Scheduler : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(root.Path() + "/tasks");  // as the installation makes it
        auto created = RunProgram(kvtest::BinPath("kvsc"), {"create", "Schedule", "binPath=", kvtest::BinPath("kvschedule"),
                                                            "start=", "auto"});
        ASSERT_EQ(created.exitCode, 0) << created.out << created.err;
        // The program a work item runs: it records its arguments, its
        // session, terminal and standard output, counts its runs, and ends
        // with 3. Named as "C:\job.exe" in the work items.
        std::string script = root.DriveC() + "/job";
        kvtest::WriteTextFile(script,
                              "#!/bin/sh\n"
                              "read -r pid comm state ppid pgrp sid tty rest < /proc/$$/stat\n"
                              "echo \"$* sid=$([ \"$sid\" = $$ ] && echo own) tty=$tty out=$(readlink /proc/$$/fd/1)\" "
                              "> \"" + root.DriveC() + "/ran.tmp\"\n"
                              "mv \"" + root.DriveC() + "/ran.tmp\" \"" + root.DriveC() + "/ran\"\n"
                              "echo x >> \"" + root.DriveC() + "/count\"\n"
                              "exit 3\n");
        ::chmod(script.c_str(), 0755);
    }
    void TearDown() override {
        RunProgram(kvtest::BinPath("kvsc"), {"stop", "Schedule", "--wait"});
        ::unsetenv("KESTRAVA_CLOCK_OFFSET");
    }

    // Sets the scheduler's clock (this process's and the service's to be
    // started) to `before` seconds ahead of a full minute; returns it.
    time_t ClockBefore(int before) {
        time_t now = std::time(nullptr);
        time_t minute = (now / 60 + 2) * 60;
        offset = minute - now - before;
        ::setenv("KESTRAVA_CLOCK_OFFSET", std::to_string(offset).c_str(), 1);
        return minute;
    }
    void StartService() {
        auto started = RunProgram(kvtest::BinPath("kvsc"), {"start", "Schedule"},
                                  {"KESTRAVA_CLOCK_OFFSET=" + std::to_string(offset)});
        ASSERT_EQ(started.exitCode, 0) << started.out << started.err;
    }
    void StopService() { ASSERT_EQ(RunProgram(kvtest::BinPath("kvsc"), {"stop", "Schedule", "--wait"}).exitCode, 0); }

    void WriteItem(const std::string& name, time_t at, DWORD flags = 0) {
        ITaskScheduler* scheduler = nullptr;
        ASSERT_EQ(CreateTaskScheduler(&scheduler), S_OK);
        ITask* task = nullptr;
        ASSERT_EQ(scheduler->NewWorkItem(name.c_str(), &task), S_OK);
        task->SetApplicationName("C:\\job.exe");
        task->SetParameters("7 \"two words\"");
        task->SetFlags(flags);
        WORD index;
        ITaskTrigger* trigger = nullptr;
        ASSERT_EQ(task->CreateTrigger(&index, &trigger), S_OK);
        TASK_TRIGGER t;
        std::memset(&t, 0, sizeof t);
        struct tm local;
        localtime_r(&at, &local);
        t.TriggerType = TASK_TIME_TRIGGER_ONCE;
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
    }
    ts::WorkItem Item(const std::string& name) {
        ts::WorkItem item;
        std::string reason;
        EXPECT_TRUE(ts::ReadWorkItem(ts::WorkItemPath(name), item, reason)) << reason;
        return item;
    }
    bool RunEnded(const std::string& name) {
        ts::WorkItem item;
        std::string reason;
        return ts::ReadWorkItem(ts::WorkItemPath(name), item, reason) && item.lastRun != 0 &&
               item.exitCode != ts::kStillActive;
    }
    std::string Ran() { return fs::exists(root.DriveC() + "/ran") ? kvtest::ReadTextFile(root.DriveC() + "/ran") : ""; }
    size_t Runs() {
        std::string count = fs::exists(root.DriveC() + "/count") ? kvtest::ReadTextFile(root.DriveC() + "/count") : "";
        return count.size() / 2;
    }
    std::string ServiceLog() { return kvtest::ReadTextFile(root.Path() + "/services/Schedule/service.log"); }

    kvtest::TestRoot root;
    time_t offset = 0;
};

TEST_F(Scheduler, AWorkItemWrittenWhileItSleepsRunsAtItsTimeAndIsRecorded) {
    time_t minute = ClockBefore(3);
    StartService();
    // A corrupt neighbour is reported once and harms nothing.
    kvtest::WriteTextFile(root.Path() + "/tasks/.broken", "not a work item\n");
    fs::rename(root.Path() + "/tasks/.broken", root.Path() + "/tasks/broken.job");
    WriteItem("Tsl3 Scan 7", minute);
    ASSERT_TRUE(WaitFor([&] { return RunEnded("Tsl3 Scan 7"); })) << ServiceLog();
    ts::WorkItem item = Item("Tsl3 Scan 7");
    EXPECT_EQ(item.exitCode, 3u);
    EXPECT_GE(item.lastRun, minute);
    EXPECT_LT(item.lastRun, minute + 20);
    // Its own session, no terminal, output nowhere, the parameters as split
    // by the C runtime.
    EXPECT_EQ(Ran(), "7 two words sid=own tty=0 out=/dev/null\n");
    EXPECT_EQ(Runs(), 1u);

    auto listed = RunProgram(kvtest::BinPath("kvschtasks"), {}, {"KESTRAVA_CLOCK_OFFSET=" + std::to_string(offset)});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("Tsl3 Scan 7\n    Run:         C:\\job.exe 7 \"two words\""), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("Last result: 3 (0x3)"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("Next run:    Never"), std::string::npos) << listed.out;
    std::string log = ServiceLog();
    size_t first = log.find("broken.job skipped");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("broken.job skipped", first + 1), std::string::npos) << log;
}

TEST_F(Scheduler, ARunTimeMissedWhileDownRunsOnceLateAndNeverAgain) {
    time_t minute = ClockBefore(60);
    WriteItem("missed", minute);
    // The service comes up 100 seconds after the run time.
    offset += 160;
    StartService();
    ASSERT_TRUE(WaitFor([&] { return RunEnded("missed"); })) << ServiceLog();
    EXPECT_EQ(Runs(), 1u);
    StopService();
    // Up again, and with the clock set back before the run time: nothing.
    offset -= 200;
    StartService();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(Runs(), 1u) << ServiceLog();
}

TEST_F(Scheduler, RunAndDeleteOnRequest) {
    time_t minute = ClockBefore(3);
    WriteItem("on request", minute + 86400);
    auto refused = RunProgram(kvtest::BinPath("kvschtasks"), {"/run", "on request"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("not running"), std::string::npos) << refused.err;

    StartService();
    auto run = RunProgram(kvtest::BinPath("kvschtasks"), {"/run", "/tn", "on request"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(WaitFor([&] { return RunEnded("on request"); })) << ServiceLog();
    EXPECT_EQ(Item("on request").exitCode, 3u);
    EXPECT_EQ(Runs(), 1u);

    EXPECT_EQ(RunProgram(kvtest::BinPath("kvschtasks"), {"/run", "nothing"}).exitCode, 1);
    EXPECT_EQ(RunProgram(kvtest::BinPath("kvschtasks"), {"/delete", "on request"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(root.Path() + "/tasks/on request.job"));
    EXPECT_EQ(RunProgram(kvtest::BinPath("kvschtasks"), {"/delete", "on request"}).exitCode, 1);
    EXPECT_EQ(RunProgram(kvtest::BinPath("kvschtasks"), {"/frobnicate", "x"}).exitCode, 2);
}

TEST_F(Scheduler, OnBatteriesAnItemThatMustNotStartThereDoesNot) {
    std::string supply = root.Path() + "/power/BAT0";
    fs::create_directories(supply);
    kvtest::WriteTextFile(supply + "/type", "Battery\n");
    kvtest::WriteTextFile(supply + "/status", "Discharging\n");
    time_t minute = ClockBefore(3);
    WriteItem("mains only", minute, TASK_FLAG_DONT_START_IF_ON_BATTERIES);
    WriteItem("anywhere", minute);
    auto started = RunProgram(kvtest::BinPath("kvsc"), {"start", "Schedule"},
                              {"KESTRAVA_CLOCK_OFFSET=" + std::to_string(offset),
                               "KESTRAVA_POWER_SUPPLY=" + root.Path() + "/power"});
    ASSERT_EQ(started.exitCode, 0) << started.err;
    ASSERT_TRUE(WaitFor([&] { return RunEnded("anywhere"); })) << ServiceLog();
    ASSERT_TRUE(WaitFor([&] { return ServiceLog().find("\"mains only\" not started") != std::string::npos; }))
        << ServiceLog();
    EXPECT_EQ(Item("mains only").lastRun, 0);
    EXPECT_EQ(Runs(), 1u);
}

TEST_F(Scheduler, AWorkItemOthersMayWriteIsNotObeyed) {
    time_t minute = ClockBefore(3);
    WriteItem("loose", minute);
    ::chmod((root.Path() + "/tasks/loose.job").c_str(), 0622);
    StartService();
    ASSERT_TRUE(WaitFor([&] { return ServiceLog().find("loose.job skipped") != std::string::npos; })) << ServiceLog();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    EXPECT_EQ(Runs(), 0u);
    EXPECT_EQ(Item("loose").lastRun, 0);
}

TEST_F(Scheduler, ARunWhoseEndTheLastServiceMissedDoesNotReadAsRunningForEver) {
    time_t minute = ClockBefore(60);
    WriteItem("cut off", minute + 86400);
    ts::WorkItem item = Item("cut off");
    item.lastRun = minute - 30;
    item.exitCode = ts::kStillActive;
    ASSERT_TRUE(ts::WriteWorkItem(ts::WorkItemPath("cut off"), item));
    StartService();
    ASSERT_TRUE(WaitFor([&] { return Item("cut off").exitCode != ts::kStillActive; })) << ServiceLog();
    EXPECT_EQ(Item("cut off").exitCode, ts::kEndNotSeen);
    EXPECT_EQ(Item("cut off").lastRun, minute - 30);
    EXPECT_EQ(Runs(), 0u);
}

}  // namespace
