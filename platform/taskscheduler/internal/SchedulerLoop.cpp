#include "platform/taskscheduler/internal/SchedulerLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/taskscheduler/internal/PowerSupply.h"
#include "platform/taskscheduler/internal/RunRequest.h"
#include "platform/taskscheduler/RunTimes.h"
#include "platform/taskscheduler/WorkItemFile.h"
#include "platform/taskscheduler/internal/WorkItemProcess.h"

namespace kv::platform::taskscheduler {
namespace {

// While a run that must end on batteries goes, the power supply is read this
// often (the kernel tells no change of it through a file event).
const int kPowerCheckMilliseconds = 30000;
// With nothing due, the timer still wakes once a day: a clock change then
// is noticed even if the kernel's notice of it was missed.
const time_t kLongestSleep = 86400;

struct Run {
    StartedProcess process;
    std::string path;
    time_t saved = 0;  // which version of the work item started it
    bool killOnBatteries = false;
};

class Scheduler {
public:
    explicit Scheduler(int stopFd) : m_stopFd(stopFd) {}
    ~Scheduler() {
        if (m_inotify >= 0) ::close(m_inotify);
        if (m_timer >= 0) ::close(m_timer);
        for (auto& [name, run] : m_runs)
            if (run.process.pidfd >= 0) ::close(run.process.pidfd);
    }

    bool Open() {
        if (!EnsureTasksFolder()) {
            LogLine("the tasks folder " + TasksFolder() + " cannot be made");
            return false;
        }
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        m_timer = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_inotify < 0 || m_timer < 0) {
            LogLine(std::string("cannot watch the tasks folder: ") + std::strerror(errno));
            return false;
        }
        if (::inotify_add_watch(m_inotify, TasksFolder().c_str(),
                                IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE |
                                    IN_DELETE_SELF | IN_MOVE_SELF) < 0) {
            LogLine("cannot watch the tasks folder " + TasksFolder() + ": " + std::strerror(errno));
            return false;
        }
        SettleRunsOfAnEarlierService();
        return true;
    }

    void Loop() {
        for (;;) {
            time_t next = Pass();
            Arm(next);
            std::vector<struct pollfd> fds = {{m_stopFd, POLLIN, 0}, {m_inotify, POLLIN, 0}, {m_timer, POLLIN, 0}};
            std::vector<std::string> names;
            bool watchPower = false;
            for (auto& [name, run] : m_runs) {
                if (run.process.pidfd < 0) continue;
                fds.push_back({run.process.pidfd, POLLIN, 0});
                names.push_back(name);
                watchPower = watchPower || run.killOnBatteries;
            }
            int ready = ::poll(fds.data(), fds.size(), watchPower ? kPowerCheckMilliseconds : -1);
            if (ready < 0 && errno != EINTR) {
                LogLine(std::string("wait failed: ") + std::strerror(errno));
                return;
            }
            if (fds[0].revents) return;
            if (fds[1].revents) Drain(m_inotify);
            if (fds[2].revents) Drain(m_timer);  // ECANCELED after a clock change: the pass recomputes
            for (size_t i = 3; i < fds.size(); ++i)
                if (fds[i].revents) Finish(names[i - 3]);
            if (watchPower && OnBatteries()) StopRunsOnBatteries();
            if (m_watchLost) return;
        }
    }

private:
    void Drain(int fd) {
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            if (fd != m_inotify) continue;
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) m_watchLost = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (m_watchLost) LogLine("the tasks folder " + TasksFolder() + " went away; the scheduler stops");
    }

    void Arm(time_t next) {
        time_t now = SchedulerNow();
        time_t wake = next != 0 && next < now + kLongestSleep ? next : now + kLongestSleep;
        struct itimerspec due;
        std::memset(&due, 0, sizeof due);
        // The timer runs on the system clock; the run times on the scheduler's.
        due.it_value.tv_sec = wake - ClockOffset();
        if (due.it_value.tv_sec <= 0) due.it_value.tv_sec = 1;
        ::timerfd_settime(m_timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &due, nullptr);
    }

    // Starts what is due; returns the next run time of all work items (0: none).
    time_t Pass() {
        time_t now = SchedulerNow();
        time_t next = 0;
        for (const std::string& name : TakeRunRequests()) {
            std::string path = WorkItemPath(name);
            WorkItem item;
            std::string reason;
            if (ReadWorkItem(path, item, reason) && !Trusted(path)) continue;
            if (!ReadWorkItem(path, item, reason)) {
                LogLine("run of work item \"" + name + "\" requested, but it " +
                        (reason == "missing" ? std::string("does not exist") : "cannot be read: " + reason));
                continue;
            }
            if (m_runs.count(name)) LogLine("work item \"" + name + "\" runs already; the request is dropped");
            else Start(name, path, item, now);
        }
        for (const std::string& file : ListWorkItemFiles()) {
            std::string name = file.substr(0, file.size() - 4);
            std::string path = TasksFolder() + "/" + file;
            WorkItem item;
            std::string reason;
            if (!ReadWorkItem(path, item, reason)) {
                if (reason != "missing") LogOnce(path, "work item " + path + " skipped: " + reason);
                continue;
            }
            if (!Trusted(path)) continue;
            time_t reference = RunReference(item);
            auto skipped = m_skippedUpTo.find(name);
            if (skipped != m_skippedUpTo.end() && skipped->second > reference) reference = skipped->second;
            time_t due = NextItemRun(item, reference);
            if (due != 0 && due <= now) {
                if (m_runs.count(name)) {
                    m_skippedUpTo[name] = now;
                } else if ((item.flags & TASK_FLAG_DONT_START_IF_ON_BATTERIES) && OnBatteries()) {
                    LogLine("work item \"" + name + "\" not started: the machine runs on batteries");
                    m_skippedUpTo[name] = now;
                } else {
                    Start(name, path, item, now);
                }
            }
            time_t upcoming = NextItemRun(item, reference > now ? reference : now);
            if (upcoming != 0 && (next == 0 || upcoming < next)) next = upcoming;
        }
        return next;
    }

    // Runs an earlier service process started and could not see end (it was
    // stopped or killed meanwhile) would read as running for ever: they are
    // recorded as ended without a known exit code.
    void SettleRunsOfAnEarlierService() {
        TasksLock lock;
        for (const std::string& file : ListWorkItemFiles()) {
            std::string path = TasksFolder() + "/" + file;
            WorkItem item;
            std::string reason;
            if (!ReadWorkItem(path, item, reason) || item.lastRun == 0 || item.exitCode != kStillActive) continue;
            item.exitCode = kEndNotSeen;
            if (WriteWorkItem(path, item))
                LogLine("work item " + path + ": the end of its run at " + LocalTimeText(item.lastRun) +
                        " was not seen by the scheduler");
        }
    }

    // The service runs what a work item names with its own rights: only a
    // file of its own account that no one else may write is obeyed.
    bool Trusted(const std::string& path) {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0) return false;
        if (info.st_uid == ::geteuid() && (info.st_mode & 022) == 0) return true;
        LogOnce(path, "work item " + path + " skipped: it belongs to another account or others may write it");
        return false;
    }

    void Start(const std::string& name, const std::string& path, const WorkItem& seen, time_t now) {
        TasksLock lock;
        WorkItem item;
        std::string reason;
        // Changed or gone since it was read: the next pass sees what is there now.
        if (!ReadWorkItem(path, item, reason) || item.saved != seen.saved) return;
        Run run;
        DWORD error = StartWorkItemProcess(item.applicationName, item.parameters, item.workingDirectory, run.process);
        item.lastRun = now;
        // Also held here, so that a record that cannot be written (a full
        // disk) does not make the same run time due again at the next look.
        m_skippedUpTo[name] = now;
        if (error != 0) {
            LogLine("work item \"" + name + "\" could not start " + item.applicationName + ": error " +
                    std::to_string(error));
            item.exitCode = error;
        } else {
            item.exitCode = kStillActive;
            run.path = path;
            run.saved = item.saved;
            run.killOnBatteries = (item.flags & TASK_FLAG_KILL_IF_GOING_ON_BATTERIES) != 0;
            m_runs[name] = run;
            LogLine("work item \"" + name + "\" started: " + item.applicationName +
                    (item.parameters.empty() ? "" : " " + item.parameters) + " (process " +
                    std::to_string(run.process.pid) + ")");
        }
        if (!WriteWorkItem(path, item))
            LogLine("work item " + path + ": the run cannot be recorded: " + std::strerror(errno));
    }

    void Finish(const std::string& name) {
        auto found = m_runs.find(name);
        if (found == m_runs.end()) return;
        Run run = found->second;
        m_runs.erase(found);
        DWORD code = ReapProcess(run.process);
        LogLine("work item \"" + name + "\" ended with exit code " + std::to_string(code));
        TasksLock lock;
        WorkItem item;
        std::string reason;
        // A work item saved anew since this run started keeps its own record.
        if (!ReadWorkItem(run.path, item, reason) || item.saved != run.saved) return;
        item.exitCode = code;
        if (!WriteWorkItem(run.path, item))
            LogLine("work item " + run.path + ": the exit code cannot be recorded: " + std::strerror(errno));
    }

    void StopRunsOnBatteries() {
        for (auto& [name, run] : m_runs) {
            if (!run.killOnBatteries || run.process.pid <= 0) continue;
            LogLine("work item \"" + name + "\" stopped: the machine went on batteries");
            // The run is its own session: its whole process group goes.
            ::kill(-run.process.pid, SIGTERM);
            run.killOnBatteries = false;
        }
    }

    int m_stopFd;
    int m_inotify = -1;
    int m_timer = -1;
    bool m_watchLost = false;
    std::map<std::string, Run> m_runs;
    std::map<std::string, time_t> m_skippedUpTo;
};

}  // namespace

bool RunSchedulerLoop(int stopFd) {
    Scheduler scheduler(stopFd);
    if (!scheduler.Open()) return false;
    scheduler.Loop();
    return true;
}

}  // namespace kv::platform::taskscheduler
