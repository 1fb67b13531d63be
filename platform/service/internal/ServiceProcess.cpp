#include "platform/service/internal/ServiceProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/fs/PathMap.h"
#include "platform/posix/internal/FileWrite.h"
#include "platform/win/internal/ErrnoMap.h"

extern char** environ;

namespace kv::platform::service {
namespace {

using posix::WriteAll;

bool IsFile(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EndsWithExe(const std::string& path) {
    return path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".exe") == 0;
}

// The POSIX program for a program name of the binary path; empty when there
// is no such file.
std::string ResolveProgram(const std::string& name) {
    std::string posix = ToPosixPath(name);
    if (IsFile(posix)) return posix;
    if (EndsWithExe(posix)) {
        std::string bare = posix.substr(0, posix.size() - 4);
        if (IsFile(bare)) return bare;
    }
    return std::string();
}

// Arguments after the program, as the C runtime splits a command line:
// blanks separate, double quotes group, backslashes escape only quotes.
std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        std::string arg;
        bool quoted = false;
        for (; i < text.size(); ++i) {
            char c = text[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t n = 0;
                while (i + n < text.size() && text[i + n] == '\\') ++n;
                if (i + n < text.size() && text[i + n] == '"') {
                    arg.append(n / 2, '\\');
                    i += n;
                    if (n % 2 == 1) arg += '"';
                    else quoted = !quoted;
                } else {
                    arg.append(n, '\\');
                    i += n - 1;
                }
                continue;
            }
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            arg += c;
        }
        args.push_back(arg);
    }
    return args;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// What CreateProcess reports for the failure exec(2) had.
DWORD WindowsErrorOfExec(int error) { return WindowsErrorFromErrno(error, ERROR_GEN_FAILURE); }

// Only async-signal-safe calls from here on: the caller may have threads.
[[noreturn]] void RunGrandchild(int goFd, int errorFd, int logFd, const char* program,
                                char* const* argv, char* const* envp) {
    sigset_t none;
    sigemptyset(&none);
    struct sigaction standard;
    std::memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &standard, nullptr);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    int devNull = ::open("/dev/null", O_RDONLY);
    // Out of the way of 0..2 before they are replaced.
    int go = ::fcntl(goFd, F_DUPFD, 10);
    int err = ::fcntl(errorFd, F_DUPFD, 10);
    int log = logFd >= 0 ? ::fcntl(logFd, F_DUPFD, 10) : -1;
    ::dup2(devNull, 0);
    ::dup2(log >= 0 ? log : devNull, 1);
    ::dup2(log >= 0 ? log : devNull, 2);
    ::dup2(go, 3);
    ::dup2(err, 4);
    ::fcntl(4, F_SETFD, FD_CLOEXEC);
    ::syscall(SYS_close_range, 5u, ~0u, 0u);

    char go_byte = 0;
    ssize_t n;
    do {
        n = ::read(3, &go_byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1) ::_exit(127);
    ::close(3);
    if (::chdir("/") != 0) {
        // Nothing depends on the folder a service starts in.
    }
    ::execve(program, argv, envp);
    int error = errno;
    WriteAll(4, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

bool ParseBinaryPath(const std::string& binaryPath, CommandLine& line) {
    line = CommandLine();
    size_t start = binaryPath.find_first_not_of(" \t");
    if (start == std::string::npos) return false;
    std::string text = binaryPath.substr(start);
    std::string program, rest;
    if (text[0] == '"') {
        size_t close = text.find('"', 1);
        program = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        rest = close == std::string::npos ? std::string() : text.substr(close + 1);
        line.program = ResolveProgram(program);
        if (line.program.empty()) line.program = ToPosixPath(program);
    } else {
        // Unquoted: the shortest blank-separated prefix that names a file,
        // else the first word.
        size_t cut = 0;
        for (;;) {
            size_t blank = text.find(' ', cut);
            std::string candidate = text.substr(0, blank);
            std::string resolved = ResolveProgram(candidate);
            if (!resolved.empty()) {
                line.program = resolved;
                rest = blank == std::string::npos ? std::string() : text.substr(blank);
                break;
            }
            if (blank == std::string::npos) break;
            cut = blank + 1;
        }
        if (line.program.empty()) {
            size_t blank = text.find_first_of(" \t");
            program = text.substr(0, blank);
            rest = blank == std::string::npos ? std::string() : text.substr(blank);
            line.program = ToPosixPath(program);
        }
    }
    line.arguments = SplitArguments(rest);
    return !line.program.empty();
}

unsigned long long ProcessStartTime(pid_t pid) {
    if (pid <= 0) return 0;
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buffer[1024];
    ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) return 0;
    buffer[n] = '\0';
    // The command name may hold blanks and ")": the fields follow the last ")".
    char* p = std::strrchr(buffer, ')');
    if (p == nullptr) return 0;
    p += 2;
    char state = *p;
    if (state == 'Z' || state == 'X' || state == 'x') return 0;
    // Field 3 is the state; the start time is field 22.
    for (int field = 3; field < 22 && *p; ++field) {
        p = std::strchr(p, ' ');
        if (p == nullptr) return 0;
        ++p;
    }
    return std::strtoull(p, nullptr, 10);
}

DWORD LaunchDetached(const LaunchRequest& request, LaunchGate gate, void* context, pid_t& pid) {
    pid = 0;
    if (::access(request.line.program.c_str(), F_OK) != 0) return 2;  // ERROR_FILE_NOT_FOUND
    if (::access(request.line.program.c_str(), X_OK) != 0) return 5;  // ERROR_ACCESS_DENIED

    // Everything the children need is made before fork.
    std::vector<std::string> args{request.line.program};
    args.insert(args.end(), request.line.arguments.begin(), request.line.arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : request.extraEnvironment)
            if (extra.compare(0, name.size(), name) == 0) replaced = true;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), request.extraEnvironment.begin(), request.extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int logFd = -1;
    if (!request.logPath.empty())
        logFd = ::open(request.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int pidPipe[2], goPipe[2], errorPipe[2];
    if (::pipe2(pidPipe, O_CLOEXEC) != 0) return 8;
    // A socket, so that the go byte to a process already gone raises no SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, goPipe) != 0) {
        ::close(pidPipe[0]);
        ::close(pidPipe[1]);
        return 8;
    }
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        for (int fd : {pidPipe[0], pidPipe[1], goPipe[0], goPipe[1]}) ::close(fd);
        return 8;
    }

    pid_t child = ::fork();
    if (child == 0) {
        // The middle process: a session of its own, then the service process,
        // whose parent it leaves by ending at once.
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0)
            RunGrandchild(goPipe[0], errorPipe[1], logFd, args[0].c_str(), argv.data(), envp.data());
        WriteAll(pidPipe[1], &grandchild, sizeof grandchild);
        ::_exit(grandchild > 0 ? 0 : 1);
    }
    ::close(pidPipe[1]);
    ::close(goPipe[0]);
    ::close(errorPipe[1]);
    if (logFd >= 0) ::close(logFd);
    DWORD result = 0;
    pid_t grandchild = 0;
    if (child < 0 || !ReadAll(pidPipe[0], &grandchild, sizeof grandchild) || grandchild <= 0) result = 8;
    ::close(pidPipe[0]);
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (result == 0) {
        unsigned long long startTime = ProcessStartTime(grandchild);
        if (gate != nullptr && !gate(grandchild, startTime, context)) {
            result = 1053;  // the start was refused; closing the pipe ends the process
        } else {
            char go = 1;
            while (::send(goPipe[1], &go, 1, MSG_NOSIGNAL) < 0 && errno == EINTR) {
            }
        }
    }
    ::close(goPipe[1]);
    if (result == 0) {
        int error = 0;
        if (ReadAll(errorPipe[0], &error, sizeof error)) result = WindowsErrorOfExec(error);
        else pid = grandchild;
    }
    ::close(errorPipe[0]);
    return result;
}

}  // namespace kv::platform::service
