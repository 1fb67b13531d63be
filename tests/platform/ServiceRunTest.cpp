// Services as real processes: start, the stop control through SIGTERM to the
// control handler, a process that dies, the dispatcher of a program run by
// hand, and kvsc.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/service/Service.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "platform/service/internal/ServiceProcess.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

namespace {

namespace fs = std::filesystem;
namespace svc = kv::platform::service;

const char* const kService = "Kv Run Test";

using kvtest::WaitFor;

class ServiceRun : public ::testing::Test {
protected:
    void SetUp() override {
        // The test program lies outside drive C:, so drive B: maps its folder.
        std::string program = KV_TEST_SERVICE;
        std::string folder = program.substr(0, program.rfind('/'));
        root.MapDrive('b', folder);
        windowsProgram = "B:\\" + program.substr(program.rfind('/') + 1) + ".exe";
        scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(scm, nullptr);
    }
    void TearDown() override {
        // A service still running at the end of a test is ended with it.
        for (const std::string& folder : svc::ListServiceFolders()) {
            svc::ServiceState state;
            if (svc::ReadState(folder, state) && svc::RecordedProcessAlive(state)) ::kill(state.processId, SIGKILL);
        }
        CloseServiceHandle(scm);
    }

    SC_HANDLE CreateTestService(const std::string& options = "", const char* name = kService) {
        std::string path = "\"" + windowsProgram + "\"" + options;
        return CreateServiceA(scm, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    DWORD State(SC_HANDLE service) {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
    }

    std::string Log() const { return kvtest::ReadTextFile(root.Path() + "/testservice.log"); }

    pid_t RecordedPid() const {
        svc::ServiceState state;
        svc::ReadState(svc::FindServiceFolder(kService), state);
        return state.processId;
    }

    kvtest::TestRoot root;
    std::string windowsProgram;
    SC_HANDLE scm = nullptr;
};

TEST_F(ServiceRun, StartRunsAndTheStopControlReachesTheHandlerOnTheDispatcherThread) {
    SC_HANDLE service = CreateTestService(" first \"second arg\"");
    ASSERT_NE(service, nullptr);
    LPCSTR args[] = {"alpha", "beta"};
    ASSERT_TRUE(StartServiceA(service, 2, args)) << GetLastError();
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_RUNNING; }));
    pid_t pid = RecordedPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), 0);
    // A session of its own (not its leader, so it never gains a terminal).
    EXPECT_NE(::getsid(pid), ::getsid(0));
    EXPECT_NE(::getsid(pid), pid);

    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_PAUSE, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL));

    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_STOPPED; }));
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    ASSERT_TRUE(WaitFor([&] { return Log().find("dispatcher-returned") != std::string::npos; }));

    std::string log = Log();
    EXPECT_NE(log.find("main TestService alpha beta term-blocked=1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("handler 1 dispatcher-thread=1 main-thread=0\n"), std::string::npos) << log;
    EXPECT_LT(log.find("handler 1"), log.find("stopped\n"));
    EXPECT_LT(log.find("stopped\n"), log.find("dispatcher-returned"));
    EXPECT_TRUE(WaitFor([&] { return ::kill(pid, 0) != 0 || svc::ProcessStartTime(pid) == 0; }));

    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    // Stopped, it starts again.
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_RUNNING; }));
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(WaitFor([&] { return State(service) == SERVICE_STOPPED; }));
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, ARunningServiceMarkedForDeletionGoesWhenItStops) {
    SC_HANDLE service = CreateTestService();
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_RUNNING; }));
    ASSERT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_EQ(CreateTestService(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    // Still there, and still running, until it stops.
    SC_HANDLE opened = OpenServiceA(scm, kService, SERVICE_QUERY_STATUS);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(State(opened), static_cast<DWORD>(SERVICE_RUNNING));
    CloseServiceHandle(opened);

    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitFor([&] { return svc::FindServiceFolder(kService).empty(); }));
    EXPECT_EQ(OpenServiceA(scm, kService, SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(State(service), static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, AStopSignalBeforeTheHandlerExistsIsDeliveredToIt) {
    SC_HANDLE service = CreateTestService(" --register-late");
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor([&] { return Log().find("waiting\n") != std::string::npos; }));
    // Not yet stoppable through the manager, but a SIGTERM (systemd's stop)
    // must not be lost.
    SERVICE_STATUS status{};
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    ASSERT_EQ(::kill(RecordedPid(), SIGTERM), 0);
    kvtest::WriteTextFile(root.Path() + "/testservice.go", "");
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_STOPPED; }));
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_NE(Log().find("handler 1 dispatcher-thread=1 main-thread=0\n"), std::string::npos) << Log();
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, AServiceThatDiesOrReturnsWithoutReportingReadsAsStopped) {
    SC_HANDLE service = CreateTestService();
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_RUNNING; }));
    ASSERT_EQ(::kill(RecordedPid(), SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] { return State(service) == SERVICE_STOPPED; }));
    SERVICE_STATUS status{};
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
    EXPECT_EQ(RecordedPid(), 0);
    CloseServiceHandle(service);

    SC_HANDLE early = CreateTestService(" --return-early", "Kv Early");
    ASSERT_NE(early, nullptr);
    ASSERT_TRUE(StartServiceA(early, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor([&] { return Log().find("dispatcher-returned") != std::string::npos; }));
    ASSERT_TRUE(QueryServiceStatus(early, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
    CloseServiceHandle(early);
}

TEST_F(ServiceRun, TheDispatcherIsReachedOnlyFromAProcessTheManagerStarted) {
    kvtest::ProcessResult byHand = kvtest::RunProgram(KV_TEST_SERVICE, {}, {"KESTRAVA_SCM_SERVICE="});
    EXPECT_EQ(byHand.exitCode, 2);
    // A marker copied into another process's environment is not enough.
    SC_HANDLE service = CreateTestService();
    ASSERT_NE(service, nullptr);
    kvtest::ProcessResult forged =
        kvtest::RunProgram(KV_TEST_SERVICE, {}, {std::string("KESTRAVA_SCM_SERVICE=") + kService});
    EXPECT_EQ(forged.exitCode, 2);
    EXPECT_EQ(Log(), "dispatcher-failed 1063\ndispatcher-failed 1063\n");
    EXPECT_EQ(State(service), static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(service);
}

TEST_F(ServiceRun, AStartThatCannotReachTheDispatcherFails) {
    SC_HANDLE missing = CreateServiceA(scm, "Kv Missing", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "\"C:\\no\\such.exe\" -x", nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(missing, nullptr);
    EXPECT_FALSE(StartServiceA(missing, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(State(missing), static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(missing);

    // A program that never calls the dispatcher is ended when the wait is over.
    ::setenv("KESTRAVA_SCM_START_TIMEOUT", "300", 1);
    SC_HANDLE sleeper = CreateServiceA(scm, "Kv Sleeper", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/bin/sleep 60", nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(sleeper, nullptr);
    EXPECT_FALSE(StartServiceA(sleeper, 0, nullptr));
    ::unsetenv("KESTRAVA_SCM_START_TIMEOUT");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_EQ(State(sleeper), static_cast<DWORD>(SERVICE_STOPPED));

    // A program that ends at once fails the start the same way.
    SC_HANDLE quitter = CreateServiceA(scm, "Kv Quitter", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "/bin/true", nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(quitter, nullptr);
    EXPECT_FALSE(StartServiceA(quitter, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_EQ(State(quitter), static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(quitter);
    CloseServiceHandle(sleeper);

    SC_HANDLE disabled = CreateServiceA(scm, "Kv Disabled", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                        SERVICE_DISABLED, SERVICE_ERROR_NORMAL, "/bin/true", nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
    ASSERT_NE(disabled, nullptr);
    EXPECT_FALSE(StartServiceA(disabled, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
    CloseServiceHandle(disabled);
}

TEST_F(ServiceRun, KvscQueriesStartsStopsAndDeletes) {
    std::string kvsc = kvtest::BinPath("kvsc");
    kvtest::ProcessResult created = kvtest::RunProgram(
        kvsc, {"create", kService, "binPath=", "\"" + windowsProgram + "\"", "obj=", "Kv\\Mixed_Case", "password=", "pw"});
    ASSERT_EQ(created.exitCode, 0) << created.out;
    EXPECT_EQ(created.out, "[SC] CreateService SUCCESS\n");
    kvtest::ProcessResult qc = kvtest::RunProgram(kvsc, {"qc", kService});
    EXPECT_NE(qc.out.find("SERVICE_START_NAME : Kv\\Mixed_Case\n"), std::string::npos) << qc.out;
    EXPECT_NE(qc.out.find("START_TYPE         : 3   DEMAND_START\n"), std::string::npos) << qc.out;

    kvtest::ProcessResult started = kvtest::RunProgram(kvsc, {"start", kService});
    ASSERT_EQ(started.exitCode, 0) << started.out;
    EXPECT_NE(started.out.find("SERVICE_NAME: Kv Run Test\n"), std::string::npos) << started.out;
    EXPECT_NE(started.out.find("TYPE               : 10  WIN32_OWN_PROCESS\n"), std::string::npos) << started.out;
    ASSERT_TRUE(WaitFor([&] {
        return kvtest::RunProgram(kvsc, {"query", kService}).out.find("STATE              : 4   RUNNING\n") !=
               std::string::npos;
    }));
    kvtest::ProcessResult query = kvtest::RunProgram(kvsc, {"query", kService});
    EXPECT_NE(query.out.find("(STOPPABLE, NOT_PAUSABLE, IGNORES_SHUTDOWN)"), std::string::npos) << query.out;
    EXPECT_NE(query.out.find("WIN32_EXIT_CODE    : 0   (0x0)\n"), std::string::npos) << query.out;
    EXPECT_NE(query.out.find("PID                : " + std::to_string(RecordedPid()) + "\n"), std::string::npos)
        << query.out;

    kvtest::ProcessResult stopped = kvtest::RunProgram(kvsc, {"stop", kService, "--wait"});
    EXPECT_EQ(stopped.exitCode, 0) << stopped.out;
    EXPECT_NE(stopped.out.find("STATE              : 3   STOP_PENDING\n"), std::string::npos) << stopped.out;
    query = kvtest::RunProgram(kvsc, {"query", kService});
    EXPECT_NE(query.out.find("STATE              : 1   STOPPED\n"), std::string::npos) << query.out;
    EXPECT_NE(query.out.find("PID                : 0\n"), std::string::npos) << query.out;

    kvtest::ProcessResult again = kvtest::RunProgram(kvsc, {"stop", kService});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "[SC] ControlService FAILED 1062:\n\nThe service has not been started.\n\n");
    EXPECT_EQ(kvtest::RunProgram(kvsc, {"delete", kService}).out, "[SC] DeleteService SUCCESS\n");
    kvtest::ProcessResult gone = kvtest::RunProgram(kvsc, {"query", kService});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.out,
              "[SC] OpenService FAILED 1060:\n\nThe specified service does not exist as an installed service.\n\n");
    EXPECT_EQ(kvtest::RunProgram(kvsc, {"frobnicate", kService}).exitCode, 1);
}

}  // namespace
