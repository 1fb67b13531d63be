#include "platform/taskscheduler/internal/WorkItemProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/fs/PathMap.h"
#include "platform/posix/internal/FileWrite.h"
#include "platform/service/internal/ServiceProcess.h"
#include "platform/win/internal/ErrnoMap.h"

extern char** environ;

namespace kv::platform::taskscheduler {
namespace {

struct Prepared {
    std::string program;
    std::vector<std::string> args;
    std::string folder;
};

DWORD Prepare(const std::string& application, const std::string& parameters, const std::string& workingDirectory,
              Prepared& prepared) {
    if (application.empty()) return 2;
    service::CommandLine line;
    if (!service::ParseBinaryPath("\"" + application + "\" " + parameters, line)) return 2;
    prepared.program = line.program;
    prepared.args = {line.program};
    prepared.args.insert(prepared.args.end(), line.arguments.begin(), line.arguments.end());
    prepared.folder = "/";
    if (!workingDirectory.empty()) {
        prepared.folder = ToPosixPath(workingDirectory);
        struct stat info;
        if (prepared.folder.empty() || ::stat(prepared.folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return 267;  // ERROR_DIRECTORY
    }
    struct stat info;
    if (::stat(prepared.program.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 2;
    if (::access(prepared.program.c_str(), X_OK) != 0) return 5;
    return 0;
}

// ERROR_GEN_FAILURE for what the map does not know.
DWORD ErrorOfExec(int error) { return WindowsErrorFromErrno(error == 0 ? EIO : error, 31); }

// Between fork and exec: async-signal-safe calls only.
[[noreturn]] void RunProgram(const Prepared& p, char* const* argv, int errorFd) {
    struct sigaction standard;
    std::memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setsid();
    int devNull = ::open("/dev/null", O_RDWR);
    int err = ::fcntl(errorFd, F_DUPFD_CLOEXEC, 10);
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    ::dup2(err, 3);
    ::fcntl(3, F_SETFD, FD_CLOEXEC);
    ::syscall(SYS_close_range, 4u, ~0u, 0u);
    int error = 0;
    if (::chdir(p.folder.c_str()) != 0) error = errno;
    else {
        ::execve(p.program.c_str(), argv, environ);
        error = errno;
    }
    posix::WriteAll(3, &error, sizeof error);
    ::_exit(127);
}

DWORD Start(const Prepared& prepared, bool letGo, StartedProcess& process) {
    std::vector<std::string> args = prepared.args;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) return 8;
    int pidPipe[2] = {-1, -1};
    if (letGo && ::pipe2(pidPipe, O_CLOEXEC) != 0) {
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        return 8;
    }
    pid_t child = ::fork();
    if (child == 0) {
        if (!letGo) RunProgram(prepared, argv.data(), errorPipe[1]);
        // The middle process ends at once, so the program's parent is init.
        pid_t grandchild = ::fork();
        if (grandchild == 0) RunProgram(prepared, argv.data(), errorPipe[1]);
        ::_exit(grandchild > 0 ? 0 : 1);
    }
    ::close(errorPipe[1]);
    if (pidPipe[0] >= 0) {
        ::close(pidPipe[0]);
        ::close(pidPipe[1]);
    }
    if (child < 0) {
        ::close(errorPipe[0]);
        return 8;
    }
    if (letGo) {
        int status;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    // The pipe closes at exec, or brings the reason the program did not run.
    int error = 0;
    ssize_t n;
    do {
        n = ::read(errorPipe[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
        if (!letGo) {
            int status;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }
        return ErrorOfExec(error);
    }
    if (!letGo) {
        process.pid = child;
        process.pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    }
    return 0;
}

}  // namespace

DWORD StartWorkItemProcess(const std::string& application, const std::string& parameters,
                           const std::string& workingDirectory, StartedProcess& process) {
    process = StartedProcess();
    Prepared prepared;
    DWORD error = Prepare(application, parameters, workingDirectory, prepared);
    return error != 0 ? error : Start(prepared, false, process);
}

DWORD StartDetachedProcess(const std::string& application, const std::string& parameters,
                           const std::string& workingDirectory) {
    Prepared prepared;
    DWORD error = Prepare(application, parameters, workingDirectory, prepared);
    StartedProcess unused;
    return error != 0 ? error : Start(prepared, true, unused);
}

DWORD ReapProcess(StartedProcess& process) {
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(process.pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    if (process.pidfd >= 0) ::close(process.pidfd);
    process.pidfd = -1;
    if (got != process.pid) return 1;
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<DWORD>(WTERMSIG(status));
    return 1;
}

}  // namespace kv::platform::taskscheduler
