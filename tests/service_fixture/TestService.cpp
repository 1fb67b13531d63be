// A small service for the service manager's tests. It runs the dispatcher,
// registers a control handler, reports its states, and appends one line per
// event to $KESTRAVA_ROOT/testservice.log, where the tests read them:
//   dispatcher-failed <code>    the dispatcher could not be reached
//   main <argv...> term-blocked=<0|1>
//   handler <control> dispatcher-thread=<0|1> main-thread=<0|1>
//   stopped                     service main reported stopped
//   dispatcher-returned
// Options (after the program, from the binary path):
//   --return-early   service main returns without reporting stopped
//   --ignore-stop    the handler notes the control and does nothing else
//   --register-late  service main registers its handler only once the file
//                    $KESTRAVA_ROOT/testservice.go exists
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/service/Service.h"
#include "platform/win/LastError.h"

namespace {

char g_name[] = "TestService";
std::atomic<pid_t> g_dispatcherThread{0};
std::atomic<pid_t> g_mainThread{0};
std::atomic<bool> g_stop{false};
bool g_returnEarly = false;
bool g_ignoreStop = false;
bool g_registerLate = false;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

pid_t ThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

std::string RootFile(const char* name) {
    const char* root = std::getenv("KESTRAVA_ROOT");
    return std::string(root != nullptr ? root : "/tmp") + "/" + name;
}

void Note(const std::string& line) {
    std::string path = RootFile("testservice.log");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string text = line + "\n";
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

void Report(DWORD state, DWORD accepted) {
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, accepted, 0, 0, 0, 0};
    SetServiceStatus(g_statusHandle, &status);
}

void Handler(DWORD control) {
    pid_t self = ThreadId();
    Note("handler " + std::to_string(control) + " dispatcher-thread=" +
         (self == g_dispatcherThread.load() ? "1" : "0") + " main-thread=" + (self == g_mainThread.load() ? "1" : "0"));
    if (control != SERVICE_CONTROL_STOP || g_ignoreStop) return;
    Report(SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP);
    g_stop = true;
}

void ServiceMain(DWORD argc, LPSTR* argv) {
    g_mainThread = ThreadId();
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    std::string line = "main";
    for (DWORD i = 0; i < argc; ++i) line += std::string(" ") + argv[i];
    Note(line + " term-blocked=" + (sigismember(&mask, SIGTERM) ? "1" : "0"));
    if (g_registerLate) {
        Note("waiting");
        while (::access(RootFile("testservice.go").c_str(), F_OK) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    g_statusHandle = RegisterServiceCtrlHandlerA(g_name, &Handler);
    if (g_statusHandle == nullptr) {
        Note("register-failed " + std::to_string(GetLastError()));
        return;
    }
    Report(SERVICE_START_PENDING, SERVICE_ACCEPT_STOP);
    Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
    if (g_returnEarly) return;
    while (!g_stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Note("stopped");
    Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--return-early") == 0) g_returnEarly = true;
        if (std::strcmp(argv[i], "--ignore-stop") == 0) g_ignoreStop = true;
        if (std::strcmp(argv[i], "--register-late") == 0) g_registerLate = true;
    }
    g_dispatcherThread = ThreadId();
    SERVICE_TABLE_ENTRYA table[] = {{g_name, &ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        DWORD error = GetLastError();
        Note("dispatcher-failed " + std::to_string(error));
        return 2;
    }
    Note("dispatcher-returned");
    return 0;
}
