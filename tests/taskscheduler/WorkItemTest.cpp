// Work items through the Task Scheduler interfaces: what the console writes
// for its schedules reads back the same, the files are root's alone, and a
// corrupt file is passed over without harm to the others.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/taskscheduler/TaskScheduler.h"
#include "platform/taskscheduler/WorkItemFile.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
namespace ts = kv::platform::taskscheduler;

TASK_TRIGGER Trigger(TASK_TRIGGER_TYPE type, WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    TASK_TRIGGER t;
    std::memset(&t, 0, sizeof t);
    t.cbTriggerSize = sizeof t;
    t.TriggerType = type;
    t.wBeginYear = year;
    t.wBeginMonth = month;
    t.wBeginDay = day;
    t.wStartHour = hour;
    t.wStartMinute = minute;
    return t;
}

class WorkItems : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateTaskScheduler(&scheduler), S_OK); }
    void TearDown() override { scheduler->Release(); }

    // Writes a work item as the console does: application, parameters,
    // comment, flags 0xc1, the system account and one trigger.
    void Write(const std::string& name, const TASK_TRIGGER& trigger) {
        ITask* task = nullptr;
        ASSERT_EQ(scheduler->NewWorkItem(name.c_str(), &task), S_OK);
        task->SetApplicationName("C:\\Tsl3\\KvLaunch.exe");
        task->SetParameters("5");
        task->SetComment("Scan job");
        task->SetFlags(TASK_FLAG_INTERACTIVE | TASK_FLAG_DONT_START_IF_ON_BATTERIES |
                       TASK_FLAG_KILL_IF_GOING_ON_BATTERIES);
        ASSERT_EQ(task->SetAccountInformation("", nullptr), S_OK);
        WORD index = 99;
        ITaskTrigger* created = nullptr;
        ASSERT_EQ(task->CreateTrigger(&index, &created), S_OK);
        EXPECT_EQ(index, 0);
        ASSERT_EQ(created->SetTrigger(&trigger), S_OK);
        created->Release();
        ASSERT_EQ(task->Save(nullptr, TRUE), S_OK);
        task->Release();
    }

    TASK_TRIGGER ReadBack(const std::string& name) {
        ITask* task = nullptr;
        TASK_TRIGGER t;
        std::memset(&t, 0, sizeof t);
        EXPECT_EQ(scheduler->Activate(name.c_str(), &task), S_OK);
        if (task == nullptr) return t;
        std::string application, parameters, comment, account;
        DWORD flags = 0;
        task->GetApplicationName(application);
        task->GetParameters(parameters);
        task->GetComment(comment);
        task->GetAccountInformation(account);
        task->GetFlags(&flags);
        EXPECT_EQ(application, "C:\\Tsl3\\KvLaunch.exe");
        EXPECT_EQ(parameters, "5");
        EXPECT_EQ(comment, "Scan job");
        EXPECT_EQ(account, "");
        EXPECT_EQ(flags, 0xc1u);
        WORD count = 0;
        task->GetTriggerCount(&count);
        EXPECT_EQ(count, 1);
        ITaskTrigger* trigger = nullptr;
        if (task->GetTrigger(0, &trigger) == S_OK) {
            trigger->GetTrigger(&t);
            trigger->Release();
        }
        task->Release();
        return t;
    }

    kvtest::TestRoot root;
    ITaskScheduler* scheduler = nullptr;
};

TEST_F(WorkItems, TheConsolesSchedulesReadBackAsWritten) {
    TASK_TRIGGER every = Trigger(TASK_TIME_TRIGGER_DAILY, 2026, 12, 9, 8, 0);
    every.Type.Daily.DaysInterval = 1;
    every.MinutesInterval = 180;
    every.MinutesDuration = 1440;
    Write("Tsl3 Scan 5", every);
    TASK_TRIGGER back = ReadBack("Tsl3 Scan 5");
    EXPECT_EQ(back.TriggerType, TASK_TIME_TRIGGER_DAILY);
    EXPECT_EQ(back.wStartHour, 8);
    EXPECT_EQ(back.wStartMinute, 0);
    EXPECT_EQ(back.MinutesInterval, 180u);
    EXPECT_EQ(back.MinutesDuration, 1440u);
    EXPECT_EQ(back.Type.Daily.DaysInterval, 1);
    EXPECT_EQ(std::memcmp(&back, &every, sizeof every), 0);

    // 9 December 2026 is a Wednesday.
    TASK_TRIGGER weekly = Trigger(TASK_TIME_TRIGGER_WEEKLY, 2026, 12, 9, 22, 30);
    weekly.Type.Weekly.WeeksInterval = 1;
    weekly.Type.Weekly.rgfDaysOfTheWeek = TASK_WEDNESDAY;
    Write("Tsl3 Scan 6", weekly);
    back = ReadBack("Tsl3 Scan 6");
    EXPECT_EQ(back.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(back.Type.Weekly.rgfDaysOfTheWeek, TASK_WEDNESDAY);
    EXPECT_EQ(std::memcmp(&back, &weekly, sizeof weekly), 0);

    TASK_TRIGGER monthly = Trigger(TASK_TIME_TRIGGER_MONTHLYDATE, 2026, 12, 31, 6, 15);
    monthly.Type.MonthlyDate.rgfDays = 1u << 30;
    monthly.Type.MonthlyDate.rgfMonths = TASK_ALL_MONTHS;
    Write("Tsl3 Scan 7", monthly);
    back = ReadBack("Tsl3 Scan 7");
    EXPECT_EQ(back.Type.MonthlyDate.rgfDays, 1u << 30);
    EXPECT_EQ(back.Type.MonthlyDate.rgfMonths, TASK_ALL_MONTHS);
    EXPECT_EQ(std::memcmp(&back, &monthly, sizeof monthly), 0);

    std::string text;
    ITask* task = nullptr;
    ASSERT_EQ(scheduler->Activate("Tsl3 Scan 5", &task), S_OK);
    task->GetTriggerString(0, text);
    task->Release();
    EXPECT_EQ(text, "At 08:00 every day, every 180 minute(s) for a duration of 1440 minute(s), starting 2026-12-09");
}

TEST_F(WorkItems, FilesAreRootsAloneAndEnumeratedByName) {
    TASK_TRIGGER once = Trigger(TASK_TIME_TRIGGER_ONCE, 2027, 1, 2, 3, 4);
    Write("b", once);
    Write("a", once);
    struct stat info;
    ASSERT_EQ(::stat((root.Path() + "/tasks").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((root.Path() + "/tasks/a.job").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Nothing left behind by the atomic replace.
    for (const auto& entry : fs::directory_iterator(root.Path() + "/tasks"))
        EXPECT_TRUE(entry.path().filename() == "a.job" || entry.path().filename() == "b.job" ||
                    entry.path().filename() == ".lock")
            << entry.path();

    IEnumWorkItems* items = nullptr;
    ASSERT_EQ(scheduler->Enum(&items), S_OK);
    std::vector<std::string> names;
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(5, names, &fetched), S_FALSE);
    EXPECT_EQ(names, (std::vector<std::string>{"a.job", "b.job"}));
    items->Release();

    ITask* task = nullptr;
    EXPECT_EQ(scheduler->NewWorkItem("a", &task), KV_E_FILE_EXISTS);
    EXPECT_EQ(scheduler->NewWorkItem("../escape", &task), KV_E_INVALID_NAME);
    EXPECT_EQ(scheduler->NewWorkItem("", &task), KV_E_INVALID_NAME);
    // Found without regard to case, as Windows file names are.
    ASSERT_EQ(scheduler->Activate("A", &task), S_OK);
    task->Release();
    EXPECT_EQ(scheduler->Delete("a"), S_OK);
    EXPECT_EQ(scheduler->Delete("a"), KV_E_FILE_NOT_FOUND);
    EXPECT_EQ(scheduler->Activate("a", &task), KV_E_FILE_NOT_FOUND);
    EXPECT_EQ(task, nullptr);
}

TEST_F(WorkItems, ACorruptFileIsSkippedAndTheOthersStillRead) {
    TASK_TRIGGER once = Trigger(TASK_TIME_TRIGGER_ONCE, 2027, 1, 2, 3, 4);
    Write("good", once);
    std::string good = kvtest::ReadTextFile(root.Path() + "/tasks/good.job");
    const std::vector<std::string> corrupt = {
        "",
        "garbage\n",
        good.substr(0, good.size() / 2),                                    // cut short
        std::string("WorkItem=1\n\0\n", 13),                                // a NUL byte
        good + "Unknown=1\n",                                               // a key of another format
        good.substr(0, good.find("Trigger=")) + "Trigger=Daily Begin=2027-02-30 Start=08:00 Every=1\n",
        good.substr(0, good.find("Trigger=")) + "Trigger=Daily Begin=2027-01-01 Start=25:00 Every=1\n",
        good.substr(0, good.find("Trigger=")) +
            "Trigger=Daily Begin=2027-01-01 Start=08:00 Every=1 Interval=200 Duration=100\n",
        good.substr(0, good.find("Flags=")) + "Flags=12\n" + good.substr(good.find("Account=")),
    };
    for (size_t i = 0; i < corrupt.size(); ++i) {
        SCOPED_TRACE(i);
        kvtest::WriteTextFile(root.Path() + "/tasks/bad.job", corrupt[i]);
        IEnumWorkItems* items = nullptr;
        ASSERT_EQ(scheduler->Enum(&items), S_OK);
        std::vector<std::string> names;
        ULONG fetched = 0;
        items->Next(10, names, &fetched);
        items->Release();
        EXPECT_EQ(names, std::vector<std::string>{"good.job"});
        ITask* task = nullptr;
        EXPECT_TRUE(FAILED(scheduler->Activate("bad", &task)));
        EXPECT_EQ(task, nullptr);
    }
    // A folder under a work item's name is no work item either.
    fs::remove(root.Path() + "/tasks/bad.job");
    fs::create_directory(root.Path() + "/tasks/folder.job");
    ITask* task = nullptr;
    EXPECT_TRUE(FAILED(scheduler->Activate("folder", &task)));
}

TEST_F(WorkItems, TextsWithLineEndsAndBackslashesSurvive) {
    ITask* task = nullptr;
    ASSERT_EQ(scheduler->NewWorkItem("texts", &task), S_OK);
    task->SetApplicationName("C:\\Program Files\\Tsl3\\KvLaunch.exe");
    task->SetParameters("\"a b\" \\\\server\\share");
    task->SetComment("line one\nline two\\n\r=");
    ASSERT_EQ(task->Save(nullptr, TRUE), S_OK);
    task->Release();
    ASSERT_EQ(scheduler->Activate("texts", &task), S_OK);
    std::string application, parameters, comment;
    task->GetApplicationName(application);
    task->GetParameters(parameters);
    task->GetComment(comment);
    task->Release();
    EXPECT_EQ(application, "C:\\Program Files\\Tsl3\\KvLaunch.exe");
    EXPECT_EQ(parameters, "\"a b\" \\\\server\\share");
    EXPECT_EQ(comment, "line one\nline two\\n\r=");
}

TEST_F(WorkItems, AnEditKeepsTheRunRecordTheSchedulerWroteMeanwhile) {
    TASK_TRIGGER once = Trigger(TASK_TIME_TRIGGER_ONCE, 2027, 1, 2, 3, 4);
    Write("edited", once);
    ITask* task = nullptr;
    ASSERT_EQ(scheduler->Activate("edited", &task), S_OK);
    SYSTEMTIME when;
    EXPECT_EQ(task->GetMostRecentRunTime(&when), SCHED_S_TASK_HAS_NOT_RUN);
    HRESULT status = 0;
    task->GetStatus(&status);
    EXPECT_EQ(status, SCHED_S_TASK_HAS_NOT_RUN);

    // The service records a run while the console holds the item open.
    ts::WorkItem item;
    std::string reason;
    ASSERT_TRUE(ts::ReadWorkItem(ts::WorkItemPath("edited"), item, reason)) << reason;
    item.lastRun = item.saved + 10;
    item.exitCode = 3;
    ASSERT_TRUE(ts::WriteWorkItem(ts::WorkItemPath("edited"), item));

    task->SetComment("changed");
    ASSERT_EQ(task->Save(nullptr, TRUE), S_OK);
    task->Release();
    ASSERT_TRUE(ts::ReadWorkItem(ts::WorkItemPath("edited"), item, reason)) << reason;
    EXPECT_EQ(item.comment, "changed");
    EXPECT_EQ(item.exitCode, 3u);
    EXPECT_NE(item.lastRun, 0);
}

}  // namespace
