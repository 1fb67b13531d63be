// The agent service's run: started by the service manager with the fake
// engine beside it, driven through kvsc and STARTNOW as KvLaunch sets it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry/Registry.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "tests/agent_fixture/AgentHarness.h"

namespace {

using kvtest::AgentInstallation;
using kvtest::EngineFile;
using kvtest::ServiceBox;
using kvtest::WaitUntil;

class AgentService : public ::testing::Test {
protected:
    void SetUp() override {
        root.CreateSettingsKey();
        root.SetDword("STARTNOW", 0);
        root.EnableDebugLog(7);
    }
    // A service left running would outlive its root.
    void TearDown() override {
        kvtest::StopAgentService();
        // Sanitizer reports of the service's process land in its output.
        std::string folder = kv::platform::service::FindServiceFolder(kvtest::kAgentServiceName);
        std::string output = folder.empty() ? std::string() : kvtest::ReadTextFile(folder + "/service.log");
        EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
        EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
    }

    void Install(AgentInstallation& agent) { ASSERT_EQ(agent.Agent({"/service", "/nm"}).exitCode, 0); }
    void Start(AgentInstallation& agent) {
        auto run = agent.Kvsc({"start", kvtest::kAgentServiceName});
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    }
    bool Reaches(AgentInstallation& agent, DWORD state) {
        return WaitUntil([&] { return agent.State() == state; });
    }
    static size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.compare(0, prefix.size(), prefix) == 0;
        }));
    }
    static bool Holds(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Waits until the service's process has ended: nothing it does later can
    // change what the test reads.
    void WaitForProcessEnd(int pid) { ASSERT_TRUE(WaitUntil([&] { return !kvtest::ProcessAlive(pid); })); }

    kvtest::TestRoot root;
};

TEST_F(AgentService, RunsChecksOnRequestUntilStopped) {
    AgentInstallation agent(root);
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    int pid = agent.ServiceProcess();

    for (int check = 1; check <= 2; ++check) {
        root.SetDword("STARTNOW", 1);
        ASSERT_TRUE(WaitUntil([&] { return Count(agent.EngineCalls(), "CheckFiles") == static_cast<size_t>(check); }));
        ASSERT_TRUE(WaitUntil([&] { return root.GetDword("STARTNOW") == 0; }));
    }
    auto calls = agent.EngineCalls();
    EXPECT_EQ(calls[0], "InitCore");
    EXPECT_EQ(calls[1], "CheckFiles flag clear");  // the stop flag's address, not yet set
    EXPECT_EQ(agent.State(), static_cast<DWORD>(SERVICE_RUNNING));

    auto stop = agent.Kvsc({"stop", kvtest::kAgentServiceName});
    EXPECT_EQ(stop.exitCode, 0) << stop.out << stop.err;
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    WaitForProcessEnd(pid);
    EXPECT_EQ(agent.EngineCalls().back(), "UnInit");
    std::string log = agent.DebugLog();
    size_t created = log.find(" Service control event was created\r\n");
    EXPECT_NE(created, std::string::npos);
    EXPECT_NE(log.find(" Service stopped\r\n", created), std::string::npos);
    EXPECT_TRUE(agent.MessageBoxes().empty());
}

TEST_F(AgentService, StopDuringALongCheckEndsItAndStartsNoOther) {
    AgentInstallation agent(root);
    agent.AddEnvironment("KV_FAKE_CHECK=long");
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    int pid = agent.ServiceProcess();
    root.SetDword("STARTNOW", 1);
    ASSERT_TRUE(WaitUntil([&] { return Count(agent.EngineCalls(), "CheckFiles") == 1; }));
    root.SetDword("STARTNOW", 1);  // a further request while the check runs

    ASSERT_EQ(agent.Kvsc({"stop", kvtest::kAgentServiceName}).exitCode, 0);
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    WaitForProcessEnd(pid);
    auto calls = agent.EngineCalls();
    EXPECT_EQ(calls, (std::vector<std::string>{"InitCore", "CheckFiles flag clear", "CheckFiles saw the stop flag",
                                               "UnInit"}));
    EXPECT_EQ(root.GetDword("STARTNOW"), 1u);  // left for the next run of the service
    EXPECT_NE(agent.DebugLog().find(" Service stopped\r\n"), std::string::npos);
}

class FailingCheck : public AgentService, public ::testing::WithParamInterface<const char*> {};

TEST_P(FailingCheck, ShowsTheFailureAndStopsTheService) {
    AgentInstallation agent(root);
    agent.AddEnvironment(std::string("KV_FAKE_CHECK=") + GetParam());
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    int pid = agent.ServiceProcess();
    root.SetDword("STARTNOW", 1);
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    WaitForProcessEnd(pid);
    EXPECT_EQ(root.GetDword("STARTNOW"), 0u);
    auto boxes = agent.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], ServiceBox(10025));
    EXPECT_EQ(agent.EngineCalls().back(), "UnInit");
    EXPECT_EQ(agent.ServiceProcess(), 0);  // not started again
}

INSTANTIATE_TEST_SUITE_P(Results, FailingCheck, ::testing::Values("1", "E_FAIL"));

TEST_F(AgentService, MissingEngineStopsTheService) {
    AgentInstallation agent(root, EngineFile::Missing);
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    // Stopped before its first poll, the service does not ask to be started
    // again: its program ends, with one box for one attempt.
    ASSERT_TRUE(WaitUntil([&] { return !agent.ProgramRunning(); }));
    EXPECT_EQ(agent.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_NE(agent.DebugLog().find(" LoadLibrary failed with code 126\r\n"), std::string::npos);
    EXPECT_EQ(agent.MessageBoxes(), std::vector<std::string>{ServiceBox(10024)});
}

TEST_F(AgentService, EngineWithoutItsEntriesStopsTheService) {
    AgentInstallation agent(root, EngineFile::WithoutEntries);
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    EXPECT_NE(agent.DebugLog().find(" Get InitCore failed with code 127\r\n"), std::string::npos);
    EXPECT_EQ(agent.MessageBoxes(), std::vector<std::string>{ServiceBox(10024)});
}

TEST_F(AgentService, FailedInitCoreIsLoggedAndTheServiceGoesOn) {
    AgentInstallation agent(root);
    agent.AddEnvironment("KV_FAKE_INITCORE=E_FAIL");
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    root.SetDword("STARTNOW", 1);
    ASSERT_TRUE(WaitUntil([&] { return Count(agent.EngineCalls(), "CheckFiles") == 1; }));
    EXPECT_NE(agent.DebugLog().find(" InitCore failed with code 0x80004005\r\n"), std::string::npos);
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

const char* const kReadFailure = " Could not read information from registry\r\n";

// The service sleeps while nothing changes, yet every change of its settings
// still gets a pass of its own, without any check being asked for: a value
// that has gone is reported (once, however many passes still miss it), and a
// new log folder is used from the pass that read it. A stop then still ends
// the idle service.
TEST_F(AgentService, SettingsChangedWhileIdleTakeEffectWithoutARequest) {
    AgentInstallation agent(root);
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    int pid = agent.ServiceProcess();
    const std::string movedLog = root.DriveC() + "/Logs2/KvAgentDbg.txt";
    auto deleteStartNow = [] {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrava Corvid\\Tsl3\\Config", 0, KEY_WRITE, &key),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueA(key, "STARTNOW"), ERROR_SUCCESS);
        RegCloseKey(key);
    };

    deleteStartNow();
    ASSERT_TRUE(WaitUntil([&] { return Occurrences(agent.DebugLog(), kReadFailure) == 1; }));

    // The value is still missing in the pass that takes the new folder: not
    // reported again. Once read back and gone anew, it is reported again, in
    // the new folder.
    std::filesystem::create_directories(root.DriveC() + "/Logs2");
    root.SetString("LOGDIR", "C:\\Logs2");
    // The read that succeeds leaves no line to wait for: give it a moment,
    // and try again should the service have missed the value's short return.
    bool reportedAnew = false;
    for (int attempt = 0; attempt < 10 && !reportedAnew; ++attempt) {
        root.SetDword("STARTNOW", 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        deleteStartNow();
        reportedAnew = WaitUntil([&] { return Occurrences(kvtest::ReadTextFile(movedLog), kReadFailure) == 1; },
                                 std::chrono::seconds(2));
    }
    ASSERT_TRUE(reportedAnew);
    ASSERT_EQ(agent.Kvsc({"stop", kvtest::kAgentServiceName}).exitCode, 0);
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    WaitForProcessEnd(pid);

    // One line per change, not one per millisecond.
    EXPECT_EQ(Occurrences(agent.DebugLog(), kReadFailure), 1u);
    std::string moved = kvtest::ReadTextFile(movedLog);
    EXPECT_EQ(Occurrences(moved, kReadFailure), 1u);
    EXPECT_NE(moved.find(" Service stopped\r\n"), std::string::npos);
    EXPECT_EQ(agent.DebugLog().find(" Service stopped\r\n"), std::string::npos);
    EXPECT_EQ(agent.EngineCalls(), (std::vector<std::string>{"InitCore", "UnInit"}));
}

// Removed with the keys above it, as an uninstallation would, and then put
// back: the service waits for the key to come back and sees the request
// written into the new one.
TEST_F(AgentService, RequestIsSeenInASettingsKeyCreatedAgain) {
    AgentInstallation agent(root);
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    std::filesystem::remove_all(root.Path() + "/registry/HKLM/SOFTWARE/Kestrava Corvid");
    // The pass that found the key gone logged its failed reads.
    ASSERT_TRUE(WaitUntil([&] { return agent.DebugLog().find(kReadFailure) != std::string::npos; }));
    size_t failures = Occurrences(agent.DebugLog(), kReadFailure);

    root.CreateSettingsKey();
    root.EnableDebugLog(7);
    root.SetDword("STARTNOW", 1);
    ASSERT_TRUE(WaitUntil([&] { return Count(agent.EngineCalls(), "CheckFiles") == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return root.GetDword("STARTNOW") == 0; }));
    // While the key was missing, nothing woke the service again and again.
    EXPECT_LE(Occurrences(agent.DebugLog(), kReadFailure), failures + 8);
}

TEST_F(AgentService, CommandLineStartAndStop) {
    AgentInstallation agent(root);
    Install(agent);
    // Typed at a prompt: the engine is loaded and freed once, then the
    // installed service is started through the manager.
    EXPECT_EQ(agent.Agent({"-startservice"}).exitCode, 0);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    ASSERT_TRUE(WaitUntil([&] { return Count(agent.EngineCalls(), "InitCore") == 1; }));
    EXPECT_EQ(agent.EngineCalls().front(), "UnInit");
    int pid = agent.ServiceProcess();

    EXPECT_EQ(agent.Agent({"-stopservice"}).exitCode, 0);
    ASSERT_TRUE(Reaches(agent, SERVICE_STOPPED));
    WaitForProcessEnd(pid);
    // A stop of a stopped service is refused and said so.
    EXPECT_EQ(agent.Agent({"-stopservice"}).exitCode, 0);
    EXPECT_EQ(agent.MessageBoxes(), std::vector<std::string>{ServiceBox(10014)});
}

TEST_F(AgentService, ReinstallOfARunningServiceReplacesIt) {
    AgentInstallation agent(root);
    Install(agent);
    Start(agent);
    ASSERT_TRUE(Reaches(agent, SERVICE_RUNNING));
    int pid = agent.ServiceProcess();
    root.SetString("LastErrorMessage", "earlier");
    EXPECT_EQ(agent.Agent({"/service", "/nm"}).exitCode, 0);
    WaitForProcessEnd(pid);
    EXPECT_EQ(agent.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(root.GetString("LastErrorMessage"), "Success");
    EXPECT_TRUE(agent.MessageBoxes().empty());
}

}  // namespace
