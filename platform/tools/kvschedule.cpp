// kvschedule: the task scheduler service "Schedule". Started by the service
// manager (kvsc start Schedule, or at boot as an automatic service); runs
// the work items of $KESTRAVA_ROOT/tasks at their times and records each run.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/cli/HelpSwitch.h"
#include "platform/root/MachineRoot.h"
#include "platform/service/Service.h"
#include "platform/taskscheduler/internal/RunRequest.h"
#include "platform/taskscheduler/internal/SchedulerLoop.h"
#include "platform/taskscheduler/WorkItemFile.h"
#include "platform/win/LastError.h"

namespace {

namespace ts = kv::platform::taskscheduler;

SERVICE_STATUS_HANDLE g_status = nullptr;
int g_stopFd = -1;

void PrintUsage() {
    std::printf(
        "usage: kvschedule\n"
        "The task scheduler service \"Schedule\": runs as a service of the service manager\n"
        "(the installation registers it to start automatically); run by hand, it asks the\n"
        "manager to start the service, as kvsc start Schedule does.\n"
        "It runs the work items of $KESTRAVA_ROOT/tasks at the times of their triggers,\n"
        "runs a work item at once on request (kvschtasks /run NAME), and records each\n"
        "run's time and exit code in the work item. Its log is the service's log,\n"
        "$KESTRAVA_ROOT/services/Schedule/service.log.\n"
        "Environment: KESTRAVA_ROOT the machine root; KESTRAVA_CLOCK_OFFSET seconds added\n"
        "to the clock (tests).\n");
}

void Report(DWORD state, DWORD exitCode = 0) {
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0u,
                             exitCode, 0, 0, 0};
    SetServiceStatus(g_status, &status);
}

void Handler(DWORD control) {
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN) return;
    Report(SERVICE_STOP_PENDING);
    uint64_t one = 1;
    ssize_t ignored = ::write(g_stopFd, &one, sizeof one);
    (void)ignored;
}

void ServiceMain(DWORD, LPSTR*) {
    g_status = RegisterServiceCtrlHandlerA(ts::kSchedulerServiceName, &Handler);
    if (g_status == nullptr) return;
    Report(SERVICE_START_PENDING);
    Report(SERVICE_RUNNING);
    bool ran = ts::RunSchedulerLoop(g_stopFd);
    Report(SERVICE_STOPPED, ran ? 0u : 1066u);  // ERROR_SERVICE_SPECIFIC_ERROR
}

// Run by hand or by a boot unit rather than by the manager: the service is
// asked for, so that it runs as the manager's, with its status and log.
int AskForTheService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager != nullptr ? OpenServiceA(manager, ts::kSchedulerServiceName, SERVICE_START) : nullptr;
    DWORD error = 0;
    if (service == nullptr || !StartServiceA(service, 0, nullptr)) error = GetLastError();
    if (service != nullptr) CloseServiceHandle(service);
    if (manager != nullptr) CloseServiceHandle(manager);
    if (error == 0 || error == ERROR_SERVICE_ALREADY_RUNNING) return 0;
    if (error == ERROR_SERVICE_DOES_NOT_EXIST)
        std::fprintf(stderr, "kvschedule: the service \"Schedule\" is not installed (the installation registers it)\n");
    else std::fprintf(stderr, "kvschedule: the service \"Schedule\" could not be started (error %u)\n", error);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        PrintUsage();
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "kvschedule: no arguments are taken (see kvschedule --help)\n");
        return 2;
    }
    if (!kv::platform::RequireMachineRoot("kvschedule")) return 1;
    g_stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (g_stopFd < 0) {
        std::perror("kvschedule");
        return 1;
    }
    static char name[] = "Schedule";
    SERVICE_TABLE_ENTRYA table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table)) return 0;
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        std::fprintf(stderr, "kvschedule: the service could not start (error %u)\n", GetLastError());
        return 1;
    }
    return AskForTheService();
}
