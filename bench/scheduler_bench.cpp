// The scheduler service at rest and at a run time: a real kvschedule
// started by the service manager in a machine root of its own. IdleCpu
// holds 50 work items whose next runs are hours away and samples the CPU
// time of the service's process over ten seconds; TimeToStart gives the
// service a clock one second before a work item's start time and times from
// that start time until the work item's program runs (its first
// instruction records the system clock).
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/taskscheduler/TaskScheduler.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunProgram;

double CpuNanoseconds(int pid) {
    double total = 0;
    std::string folder = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream in(folder + "/" + entry->d_name + "/schedstat");
        double onCpu = 0;
        if (in >> onCpu) total += onCpu;
    }
    ::closedir(dir);
    return total;
}

int ServicePid() {
    auto query = RunProgram(kvtest::BinPath("kvsc"), {"query", "Schedule"});
    size_t at = query.out.find("PID");
    if (at == std::string::npos) return 0;
    at = query.out.find(':', at);
    return at == std::string::npos ? 0 : std::atoi(query.out.c_str() + at + 1);
}

void WriteItem(const std::string& name, const std::string& application, time_t at, WORD interval) {
    ITaskScheduler* scheduler = nullptr;
    CreateTaskScheduler(&scheduler);
    ITask* task = nullptr;
    scheduler->Delete(name.c_str());
    scheduler->NewWorkItem(name.c_str(), &task);
    task->SetApplicationName(application.c_str());
    WORD index;
    ITaskTrigger* trigger = nullptr;
    task->CreateTrigger(&index, &trigger);
    TASK_TRIGGER t;
    std::memset(&t, 0, sizeof t);
    struct tm local;
    localtime_r(&at, &local);
    t.TriggerType = interval == 0 ? TASK_TIME_TRIGGER_ONCE : TASK_TIME_TRIGGER_DAILY;
    t.Type.Daily.DaysInterval = 1;
    t.MinutesInterval = interval;
    t.MinutesDuration = interval == 0 ? 0 : 1440;
    t.wBeginYear = static_cast<WORD>(local.tm_year + 1900);
    t.wBeginMonth = static_cast<WORD>(local.tm_mon + 1);
    t.wBeginDay = static_cast<WORD>(local.tm_mday);
    t.wStartHour = static_cast<WORD>(local.tm_hour);
    t.wStartMinute = static_cast<WORD>(local.tm_min);
    trigger->SetTrigger(&t);
    trigger->Release();
    task->Save(nullptr, TRUE);
    task->Release();
    scheduler->Release();
}

struct SchedulerRoot {
    SchedulerRoot() {
        fs::create_directory(root.Path() + "/tasks");
        RunProgram(kvtest::BinPath("kvsc"),
                   {"create", "Schedule", "binPath=", kvtest::BinPath("kvschedule"), "start=", "auto"});
    }
    ~SchedulerRoot() { RunProgram(kvtest::BinPath("kvsc"), {"stop", "Schedule", "--wait"}); }
    bool Start(time_t offset) {
        return RunProgram(kvtest::BinPath("kvsc"), {"start", "Schedule"},
                          {"KESTRAVA_CLOCK_OFFSET=" + std::to_string(offset)})
                   .exitCode == 0;
    }
    kvtest::TestRoot root;
};

void IdleCpu(benchmark::State& state) {
    SchedulerRoot scheduler;
    time_t later = std::time(nullptr) + 6 * 3600;
    for (int i = 0; i < 50; ++i) WriteItem("idle " + std::to_string(i), "/bin/true", later + i * 60, 120);
    if (!scheduler.Start(0)) {
        state.SkipWithError("the scheduler did not start");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int pid = ServicePid();
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        double before = CpuNanoseconds(pid);
        auto began = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        wall += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - began).count();
        cpu += CpuNanoseconds(pid) - before;
    }
    state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / wall;
}
BENCHMARK(IdleCpu)->Iterations(1)->Unit(benchmark::kSecond);

void TimeToStart(benchmark::State& state) {
    SchedulerRoot scheduler;
    std::string stamp = scheduler.root.DriveC() + "/started";
    std::string program = scheduler.root.DriveC() + "/stamp";
    {
        // The shell's own clock, without a further program to start.
        std::ofstream(program) << "#!/bin/bash\nnow=${EPOCHREALTIME/./}\necho \"$now\" > " << stamp
                               << ".tmp && mv " << stamp << ".tmp " << stamp << "\n";
    }
    ::chmod(program.c_str(), 0755);
    for (auto _ : state) {
        RunProgram(kvtest::BinPath("kvsc"), {"stop", "Schedule", "--wait"});
        fs::remove(stamp);
        // The scheduler's clock one second before a full minute.
        time_t now = std::time(nullptr);
        time_t minute = (now / 60 + 2) * 60;
        time_t offset = minute - now - 1;
        ::setenv("KESTRAVA_CLOCK_OFFSET", std::to_string(offset).c_str(), 1);
        WriteItem("stamp", program, minute, 0);
        if (!scheduler.Start(offset)) {
            state.SkipWithError("the scheduler did not start");
            break;
        }
        while (!fs::exists(stamp)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        long long startedMicroseconds = 0;
        std::ifstream(stamp) >> startedMicroseconds;
        double due = static_cast<double>(minute - offset) * 1e6;
        state.SetIterationTime((static_cast<double>(startedMicroseconds) - due) / 1e6);
    }
    ::unsetenv("KESTRAVA_CLOCK_OFFSET");
}
BENCHMARK(TimeToStart)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
