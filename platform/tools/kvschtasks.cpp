// kvschtasks: the operator's view of the scheduled work items.
//   kvschtasks [/query]          every work item: application, triggers,
//                                status, next run, last run, last result
//   kvschtasks /run NAME         runs the work item at once (by the service)
//   kvschtasks /delete NAME      deletes the work item
// NAME may also follow "/tn", as the Windows tool has it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cli/HelpSwitch.h"
#include "platform/root/MachineRoot.h"
#include "platform/taskscheduler/RunTimes.h"
#include "platform/taskscheduler/TaskScheduler.h"

namespace {

namespace ts = kv::platform::taskscheduler;

void PrintUsage(FILE* to) {
    std::fprintf(to,
                 "usage: kvschtasks [/query]\n"
                 "       kvschtasks /run NAME\n"
                 "       kvschtasks /delete NAME\n"
                 "Lists the scheduled work items of $KESTRAVA_ROOT/tasks with their triggers, next\n"
                 "run, last run and last result; runs one at once (the scheduler service \"Schedule\"\n"
                 "starts it and records the run); deletes one. NAME may follow \"/tn\".\n"
                 "Exit status: 0 done, 1 no such work item or the request failed, 2 bad usage.\n");
}

std::string TimeText(const SYSTEMTIME& t) {
    if (t.wYear == 0) return "Never";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return buffer;
}

const char* StatusText(HRESULT status) {
    switch (status) {
        case SCHED_S_TASK_READY: return "Ready";
        case SCHED_S_TASK_RUNNING: return "Running";
        case SCHED_S_TASK_DISABLED: return "Disabled";
        case SCHED_S_TASK_HAS_NOT_RUN: return "Has not run";
        case SCHED_S_TASK_NO_MORE_RUNS: return "No more runs";
        case SCHED_S_TASK_NO_VALID_TRIGGERS: return "No triggers";
        default: return "Unknown";
    }
}

void PrintTask(const std::string& name, ITask* task) {
    std::string application, parameters, comment;
    task->GetApplicationName(application);
    task->GetParameters(parameters);
    task->GetComment(comment);
    std::printf("%s\n", name.c_str());
    std::printf("    Run:         %s%s%s\n", application.c_str(), parameters.empty() ? "" : " ", parameters.c_str());
    if (!comment.empty()) std::printf("    Comment:     %s\n", comment.c_str());
    WORD count = 0;
    task->GetTriggerCount(&count);
    if (count == 0) std::printf("    Trigger:     none\n");
    for (WORD i = 0; i < count; ++i) {
        std::string text;
        task->GetTriggerString(i, text);
        std::printf("    Trigger:     %s\n", text.c_str());
    }
    HRESULT status = 0;
    task->GetStatus(&status);
    std::printf("    Status:      %s\n", StatusText(status));
    SYSTEMTIME next, last;
    task->GetNextRunTime(&next);
    HRESULT ran = task->GetMostRecentRunTime(&last);
    std::printf("    Next run:    %s\n", TimeText(next).c_str());
    std::printf("    Last run:    %s\n", TimeText(last).c_str());
    DWORD code = 0;
    task->GetExitCode(&code);
    if (ran == S_OK && status == SCHED_S_TASK_RUNNING) std::printf("    Last result: running\n");
    else if (ran == S_OK) std::printf("    Last result: %u (0x%x)\n", code, code);
    else std::printf("    Last result: -\n");
}

int List(ITaskScheduler* scheduler) {
    IEnumWorkItems* items = nullptr;
    if (FAILED(scheduler->Enum(&items))) return 1;
    std::vector<std::string> names;
    ULONG fetched = 0;
    bool any = false;
    while (items->Next(16, names, &fetched), fetched > 0) {
        for (const std::string& file : names) {
            std::string name = file.substr(0, file.size() - 4);
            ITask* task = nullptr;
            if (FAILED(scheduler->Activate(name.c_str(), &task))) continue;
            if (any) std::printf("\n");
            PrintTask(name, task);
            task->Release();
            any = true;
        }
    }
    items->Release();
    if (!any) std::printf("No work items.\n");
    return 0;
}

int RunNow(ITaskScheduler* scheduler, const std::string& name) {
    ITask* task = nullptr;
    HRESULT hr = scheduler->Activate(name.c_str(), &task);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kvschtasks: no work item \"%s\" (0x%08x)\n", name.c_str(), static_cast<unsigned>(hr));
        return 1;
    }
    hr = task->Run();
    task->Release();
    if (hr == SCHED_E_SERVICE_NOT_RUNNING) {
        std::fprintf(stderr, "kvschtasks: the scheduler service \"Schedule\" is not running (kvsc start Schedule)\n");
        return 1;
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "kvschtasks: \"%s\" could not be run (0x%08x)\n", name.c_str(), static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("Run of \"%s\" requested.\n", name.c_str());
    return 0;
}

int Delete(ITaskScheduler* scheduler, const std::string& name) {
    HRESULT hr = scheduler->Delete(name.c_str());
    if (FAILED(hr)) {
        std::fprintf(stderr, "kvschtasks: \"%s\" could not be deleted: %s (0x%08x)\n", name.c_str(),
                     hr == KV_E_FILE_NOT_FOUND ? "no such work item" : "refused", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("Work item \"%s\" deleted.\n", name.c_str());
    return 0;
}

bool Is(const char* argument, const char* command) {
    return strcasecmp(argument, command) == 0 || (argument[0] == '-' && strcasecmp(argument + 1, command + 1) == 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        PrintUsage(stdout);
        return 0;
    }
    std::string command = argc > 1 ? argv[1] : "/query";
    std::vector<std::string> rest(argv + (argc > 1 ? 2 : 1), argv + argc);
    if (!rest.empty() && strcasecmp(rest[0].c_str(), "/tn") == 0) rest.erase(rest.begin());
    bool query = Is(command.c_str(), "/query");
    if ((query && !rest.empty()) || (!query && rest.size() != 1) ||
        (!query && !Is(command.c_str(), "/run") && !Is(command.c_str(), "/delete"))) {
        PrintUsage(stderr);
        return 2;
    }
    if (!kv::platform::RequireMachineRoot("kvschtasks")) return 1;
    ITaskScheduler* scheduler = nullptr;
    if (FAILED(CreateTaskScheduler(&scheduler))) return 1;
    int result = query                             ? List(scheduler)
                 : Is(command.c_str(), "/run")     ? RunNow(scheduler, rest[0])
                                                   : Delete(scheduler, rest[0]);
    scheduler->Release();
    return result;
}
