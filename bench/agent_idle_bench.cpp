// The agent service at rest and at a request: a real KvAgent, started by the
// service manager with the fake engine beside it, in a machine root of its
// own. IdleCpu samples the CPU time of the service's process (all threads)
// over ten seconds at rest; BareWaitFloor measures what a loop of 1 ms waits
// alone would cost on this machine, the price of polling instead of waiting
// for a change; RequestLatency sets STARTNOW to 1, as KvLaunch does, and
// times until the service has cleared it.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/sync/Event.h"
#include "tests/agent_fixture/AgentHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

// Nanoseconds on a CPU, summed over the process's threads.
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

// Clock ticks of user and system time from /proc/<pid>/stat.
double StatSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) utime = std::stod(field);
        if (index == 15) {
            stime = std::stod(field);
            break;
        }
    }
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct RunningAgent {
    explicit RunningAgent(bool debugLog) {
        root.CreateSettingsKey();
        root.SetDword("STARTNOW", 0);
        root.SetString("SPROFILES", "");
        if (debugLog) root.EnableDebugLog(1);  // four values per pass; level 1 writes nothing at rest
        else root.SetDword("DEBUG", 0);
        agent = std::make_unique<kvtest::AgentInstallation>(root);
        ok = agent->Agent({"/service", "/nm"}).exitCode == 0 &&
             agent->Kvsc({"start", kvtest::kAgentServiceName}).exitCode == 0 &&
             kvtest::WaitUntil([&] { return agent->State() == SERVICE_RUNNING; });
        pid = agent->ServiceProcess();
        // Past start-up: only the poll loop runs from here on.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ~RunningAgent() {
        agent->Kvsc({"stop", kvtest::kAgentServiceName, "--wait"});
        kvtest::WaitUntil([&] { return !kvtest::ProcessAlive(pid); });
    }
    kvtest::TestRoot root;
    std::unique_ptr<kvtest::AgentInstallation> agent;
    bool ok = false;
    int pid = 0;
};

void IdleCpu(benchmark::State& state) {
    RunningAgent running(state.range(0) != 0);
    if (!running.ok) {
        state.SkipWithError("the agent service did not start");
        return;
    }
    double cpuPercent = 0, statPercent = 0;
    for (auto _ : state) {
        double cpu0 = CpuNanoseconds(running.pid), stat0 = StatSeconds(running.pid);
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        double cpu = (CpuNanoseconds(running.pid) - cpu0) / 1e9;
        cpuPercent = 100.0 * cpu / wall;
        statPercent = 100.0 * (StatSeconds(running.pid) - stat0) / wall;
        state.SetIterationTime(wall);
    }
    state.counters["cpu_percent"] = cpuPercent;
    state.counters["stat_cpu_percent"] = statPercent;
}
BENCHMARK(IdleCpu)->ArgName("debug_log")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// A thread doing nothing but 1 ms waits on an event that is never
// signalled: what a service that polls pays at the least.
void BareWaitFloor(benchmark::State& state) {
    double cpuPercent = 0;
    for (auto _ : state) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        double cpu = 0, wall = 0;
        std::thread waiter([&] {
            timespec t0 {}, t1 {};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
            auto start = Clock::now();
            while (Clock::now() - start < std::chrono::seconds(10)) WaitForSingleObject(event, 1);
            wall = std::chrono::duration<double>(Clock::now() - start).count();
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
            cpu = static_cast<double>(t1.tv_sec - t0.tv_sec) + static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e9;
        });
        waiter.join();
        CloseHandle(event);
        cpuPercent = 100.0 * cpu / wall;
        state.SetIterationTime(wall);
    }
    state.counters["cpu_percent"] = cpuPercent;
}
BENCHMARK(BareWaitFloor)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void RequestLatency(benchmark::State& state) {
    RunningAgent running(true);
    if (!running.ok) {
        state.SkipWithError("the agent service did not start");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        auto start = Clock::now();
        running.root.SetDword("STARTNOW", 1);
        while (running.root.GetDword("STARTNOW") != 0) {
            if (Clock::now() - start > std::chrono::seconds(5)) {
                state.SkipWithError("a request was not picked up within 5 s");
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        latencies.push_back(seconds);
        state.SetIterationTime(seconds);
        // A random phase against the poll period for the next request.
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + 137 * (latencies.size() % 7)));
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies[static_cast<size_t>(q * static_cast<double>(latencies.size() - 1))]; };
    state.counters["p50_ms"] = at(0.5) * 1e3;
    state.counters["p99_ms"] = at(0.99) * 1e3;
    state.counters["max_ms"] = latencies.back() * 1e3;
}
BENCHMARK(RequestLatency)->Iterations(500)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
