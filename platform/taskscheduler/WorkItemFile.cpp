#include "platform/taskscheduler/WorkItemFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/posix/internal/FileWrite.h"
#include "platform/root/MachineRoot.h"

namespace kv::platform::taskscheduler {
namespace {

const char* const kExtension = ".job";
const size_t kMaxFileSize = 64 * 1024;

std::string Escape(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

bool Unescape(const std::string& value, std::string& out) {
    out.clear();
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i >= value.size()) return false;
        if (value[i] == '\\') out += '\\';
        else if (value[i] == 'n') out += '\n';
        else if (value[i] == 'r') out += '\r';
        else return false;
    }
    return true;
}

const char* TypeName(TASK_TRIGGER_TYPE type) {
    switch (type) {
        case TASK_TIME_TRIGGER_ONCE: return "Once";
        case TASK_TIME_TRIGGER_DAILY: return "Daily";
        case TASK_TIME_TRIGGER_WEEKLY: return "Weekly";
        case TASK_TIME_TRIGGER_MONTHLYDATE: return "MonthlyDate";
        case TASK_TIME_TRIGGER_MONTHLYDOW: return "MonthlyDOW";
        default: return nullptr;
    }
}

bool TypeOfName(const std::string& name, TASK_TRIGGER_TYPE& type) {
    for (int t = TASK_TIME_TRIGGER_ONCE; t <= TASK_TIME_TRIGGER_MONTHLYDOW; ++t)
        if (name == TypeName(static_cast<TASK_TRIGGER_TYPE>(t))) {
            type = static_cast<TASK_TRIGGER_TYPE>(t);
            return true;
        }
    return false;
}

std::string Hex(DWORD value, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*x", width, value);
    return buffer;
}

std::string DateText(WORD year, WORD month, WORD day) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", year, month, day);
    return buffer;
}

// Digits only, within a limit: no sign, no blanks, no overflow.
bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > limit) return false;
    }
    return true;
}

bool ParseHex(const std::string& text, DWORD& value) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<DWORD>(digit);
    }
    return true;
}

template <typename T>
bool ParseField(const std::string& text, unsigned long long limit, T& field) {
    unsigned long long value;
    if (!ParseNumber(text, limit, value)) return false;
    field = static_cast<T>(value);
    return true;
}

bool ParseDate(const std::string& text, WORD& year, WORD& month, WORD& day) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    return ParseField(text.substr(0, 4), 9999, year) && ParseField(text.substr(5, 2), 12, month) &&
           ParseField(text.substr(8, 2), 31, day);
}

bool ParseTimeOfDay(const std::string& text, WORD& hour, WORD& minute) {
    if (text.size() != 5 || text[2] != ':') return false;
    return ParseField(text.substr(0, 2), 23, hour) && ParseField(text.substr(3, 2), 59, minute);
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool ValidDate(WORD year, WORD month, WORD day) {
    return year >= 1601 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

std::string FormatTrigger(const TASK_TRIGGER& t) {
    std::string line = TypeName(t.TriggerType);
    line += " Begin=" + DateText(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    char start[32];
    std::snprintf(start, sizeof start, "%02u:%02u", t.wStartHour, t.wStartMinute);
    line += std::string(" Start=") + start;
    line += " End=" + ((t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) ? DateText(t.wEndYear, t.wEndMonth, t.wEndDay)
                                                                     : std::string("-"));
    line += " Duration=" + std::to_string(t.MinutesDuration) + " Interval=" + std::to_string(t.MinutesInterval);
    line += " Flags=" + Hex(t.rgFlags, 1);
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_DAILY: line += " Every=" + std::to_string(t.Type.Daily.DaysInterval); break;
        case TASK_TIME_TRIGGER_WEEKLY:
            line += " Every=" + std::to_string(t.Type.Weekly.WeeksInterval) +
                    " Days=" + Hex(t.Type.Weekly.rgfDaysOfTheWeek, 2);
            break;
        case TASK_TIME_TRIGGER_MONTHLYDATE:
            line += " Days=" + Hex(t.Type.MonthlyDate.rgfDays, 8) + " Months=" + Hex(t.Type.MonthlyDate.rgfMonths, 3);
            break;
        case TASK_TIME_TRIGGER_MONTHLYDOW:
            line += " Week=" + std::to_string(t.Type.MonthlyDOW.wWhichWeek) +
                    " Days=" + Hex(t.Type.MonthlyDOW.rgfDaysOfTheWeek, 2) +
                    " Months=" + Hex(t.Type.MonthlyDOW.rgfMonths, 3);
            break;
        default: break;
    }
    return line;
}

bool ParseTrigger(const std::string& line, TASK_TRIGGER& t, std::string& reason) {
    std::memset(&t, 0, sizeof t);
    t.cbTriggerSize = sizeof t;
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (!TypeOfName(word, t.TriggerType)) {
        reason = "unknown trigger type \"" + word + "\"";
        return false;
    }
    std::set<std::string> seen;
    bool ok = true;
    while (ok && words >> word) {
        size_t equals = word.find('=');
        if (equals == std::string::npos) {
            reason = "trigger field without a value: \"" + word + "\"";
            return false;
        }
        std::string key = word.substr(0, equals), value = word.substr(equals + 1);
        if (!seen.insert(key).second) {
            reason = "trigger field " + key + " twice";
            return false;
        }
        if (key == "Begin") ok = ParseDate(value, t.wBeginYear, t.wBeginMonth, t.wBeginDay);
        else if (key == "Start") ok = ParseTimeOfDay(value, t.wStartHour, t.wStartMinute);
        else if (key == "End") ok = value == "-" || ParseDate(value, t.wEndYear, t.wEndMonth, t.wEndDay);
        else if (key == "Duration") ok = ParseField(value, 0xFFFFFFFFull, t.MinutesDuration);
        else if (key == "Interval") ok = ParseField(value, 0xFFFFFFFFull, t.MinutesInterval);
        else if (key == "Flags") ok = ParseHex(value, t.rgFlags);
        else if (key == "Every" && t.TriggerType == TASK_TIME_TRIGGER_DAILY)
            ok = ParseField(value, 0xFFFF, t.Type.Daily.DaysInterval);
        else if (key == "Every" && t.TriggerType == TASK_TIME_TRIGGER_WEEKLY)
            ok = ParseField(value, 0xFFFF, t.Type.Weekly.WeeksInterval);
        else if (key == "Days" && t.TriggerType == TASK_TIME_TRIGGER_WEEKLY) {
            DWORD v;
            ok = ParseHex(value, v) && v <= 0xFFFF;
            t.Type.Weekly.rgfDaysOfTheWeek = static_cast<WORD>(v);
        } else if (key == "Days" && t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDATE)
            ok = ParseHex(value, t.Type.MonthlyDate.rgfDays);
        else if (key == "Months" && t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDATE) {
            DWORD v;
            ok = ParseHex(value, v) && v <= 0xFFFF;
            t.Type.MonthlyDate.rgfMonths = static_cast<WORD>(v);
        } else if (key == "Week" && t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDOW)
            ok = ParseField(value, 5, t.Type.MonthlyDOW.wWhichWeek);
        else if (key == "Days" && t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDOW) {
            DWORD v;
            ok = ParseHex(value, v) && v <= 0xFFFF;
            t.Type.MonthlyDOW.rgfDaysOfTheWeek = static_cast<WORD>(v);
        } else if (key == "Months" && t.TriggerType == TASK_TIME_TRIGGER_MONTHLYDOW) {
            DWORD v;
            ok = ParseHex(value, v) && v <= 0xFFFF;
            t.Type.MonthlyDOW.rgfMonths = static_cast<WORD>(v);
        } else {
            reason = "unknown trigger field " + key;
            return false;
        }
        if (!ok) reason = "bad trigger field " + word;
    }
    if (!ok) return false;
    for (const char* required : {"Begin", "Start"})
        if (!seen.count(required)) {
            reason = std::string("trigger without ") + required;
            return false;
        }
    if (!ValidTrigger(t)) {
        reason = "trigger out of range: " + line;
        return false;
    }
    return true;
}

}  // namespace

bool ValidTrigger(const TASK_TRIGGER& t) {
    if (TypeName(t.TriggerType) == nullptr) return false;
    if (!ValidDate(t.wBeginYear, t.wBeginMonth, t.wBeginDay) || t.wStartHour > 23 || t.wStartMinute > 59) return false;
    if ((t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) && !ValidDate(t.wEndYear, t.wEndMonth, t.wEndDay)) return false;
    // A repetition needs both, and repeats within its duration.
    if ((t.MinutesInterval == 0) != (t.MinutesDuration == 0)) return false;
    if (t.MinutesInterval != 0 && t.MinutesInterval >= t.MinutesDuration) return false;
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_DAILY: return t.Type.Daily.DaysInterval >= 1;
        case TASK_TIME_TRIGGER_WEEKLY:
            return t.Type.Weekly.WeeksInterval >= 1 && (t.Type.Weekly.rgfDaysOfTheWeek & 0x7F) != 0 &&
                   (t.Type.Weekly.rgfDaysOfTheWeek & ~0x7F) == 0;
        case TASK_TIME_TRIGGER_MONTHLYDATE:
            return (t.Type.MonthlyDate.rgfDays & 0x7FFFFFFF) != 0 && (t.Type.MonthlyDate.rgfDays >> 31) == 0 &&
                   (t.Type.MonthlyDate.rgfMonths & TASK_ALL_MONTHS) != 0 &&
                   (t.Type.MonthlyDate.rgfMonths & ~TASK_ALL_MONTHS) == 0;
        case TASK_TIME_TRIGGER_MONTHLYDOW:
            return t.Type.MonthlyDOW.wWhichWeek >= 1 && t.Type.MonthlyDOW.wWhichWeek <= 5 &&
                   (t.Type.MonthlyDOW.rgfDaysOfTheWeek & 0x7F) != 0 &&
                   (t.Type.MonthlyDOW.rgfMonths & TASK_ALL_MONTHS) != 0;
        default: return true;
    }
}

std::string TasksFolder() { return MachineRoot() + "/tasks"; }

bool EnsureTasksFolder() {
    std::string folder = TasksFolder();
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (!MachineRootExists()) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string WorkItemPath(const std::string& name) { return TasksFolder() + "/" + name + kExtension; }

bool ValidWorkItemName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name[0] == '.') return false;
    for (unsigned char c : name)
        if (c < 32 || c == 127 || c == '/') return false;
    return true;
}

std::string FormatWorkItem(const WorkItem& item) {
    std::string text = "WorkItem=1\n";
    text += "ApplicationName=" + Escape(item.applicationName) + "\n";
    text += "Parameters=" + Escape(item.parameters) + "\n";
    text += "WorkingDirectory=" + Escape(item.workingDirectory) + "\n";
    text += "Comment=" + Escape(item.comment) + "\n";
    text += "Flags=" + Hex(item.flags, 8) + "\n";
    text += "Account=" + Escape(item.account) + "\n";
    text += "Saved=" + std::to_string(static_cast<long long>(item.saved)) + "\n";
    text += "LastRun=" + std::to_string(static_cast<long long>(item.lastRun)) + "\n";
    text += "ExitCode=" + std::to_string(item.exitCode) + "\n";
    for (const TASK_TRIGGER& t : item.triggers) text += "Trigger=" + FormatTrigger(t) + "\n";
    return text;
}

bool ParseWorkItem(const std::string& text, WorkItem& item, std::string& reason) {
    item = WorkItem();
    static const char* const kOrder[] = {"WorkItem", "ApplicationName", "Parameters", "WorkingDirectory", "Comment",
                                         "Flags",    "Account",         "Saved",      "LastRun",          "ExitCode"};
    size_t next = 0;
    size_t lineNumber = 0;
    std::istringstream lines(text);
    std::string line;
    if (!text.empty() && text.back() != '\n') {
        reason = "cut short";
        return false;
    }
    while (std::getline(lines, line)) {
        ++lineNumber;
        size_t equals = line.find('=');
        std::string key = line.substr(0, equals);
        std::string raw = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        std::string at = " at line " + std::to_string(lineNumber);
        if (equals == std::string::npos) {
            reason = "a line without \"=\"" + at;
            return false;
        }
        if (next < std::size(kOrder)) {
            if (key != kOrder[next]) {
                reason = "\"" + std::string(kOrder[next]) + "\" expected" + at;
                return false;
            }
            ++next;
        } else if (key != "Trigger") {
            reason = "unknown key \"" + key + "\"" + at;
            return false;
        }
        std::string value;
        if (!Unescape(raw, value)) {
            reason = "a lone \"\\\" (written \"\\\\\" in a value)" + at;
            return false;
        }
        unsigned long long number = 0;
        bool ok = true;
        if (key == "WorkItem") ok = raw == "1";
        else if (key == "ApplicationName") item.applicationName = value;
        else if (key == "Parameters") item.parameters = value;
        else if (key == "WorkingDirectory") item.workingDirectory = value;
        else if (key == "Comment") item.comment = value;
        else if (key == "Flags") ok = ParseHex(raw, item.flags);
        else if (key == "Account") item.account = value;
        else if (key == "Saved") ok = ParseNumber(raw, 1ull << 40, number), item.saved = static_cast<time_t>(number);
        else if (key == "LastRun") ok = ParseNumber(raw, 1ull << 40, number), item.lastRun = static_cast<time_t>(number);
        else if (key == "ExitCode") ok = ParseField(raw, 0xFFFFFFFFull, item.exitCode);
        else if (key == "Trigger") {
            if (item.triggers.size() >= 64) {
                reason = "too many triggers";
                return false;
            }
            TASK_TRIGGER t;
            std::string why;
            if (!ParseTrigger(raw, t, why)) {
                reason = why + at;
                return false;
            }
            item.triggers.push_back(t);
        }
        if (!ok) {
            reason = "bad value of " + key + at;
            return false;
        }
    }
    if (next < std::size(kOrder)) {
        reason = "\"" + std::string(kOrder[next]) + "\" missing";
        return false;
    }
    return true;
}

bool ReadWorkItem(const std::string& path, WorkItem& item, std::string& reason) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        reason = errno == ENOENT ? "missing" : std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > static_cast<off_t>(kMaxFileSize)) {
        ::close(fd);
        reason = "not a work item file (not a regular file, or larger than 64 KiB)";
        return false;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = std::string("cannot be read: ") + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0 || text.size() > kMaxFileSize) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (text.find('\0') != std::string::npos) {
        reason = "holds a NUL byte";
        return false;
    }
    return ParseWorkItem(text, item, reason);
}

bool WriteWorkItem(const std::string& path, const WorkItem& item) {
    if (!EnsureTasksFolder()) return false;
    return posix::ReplaceFile(path, FormatWorkItem(item), 0600);
}

TasksLock::TasksLock() {
    if (!EnsureTasksFolder()) return;
    m_fd = ::open((TasksFolder() + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0)
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
}

TasksLock::~TasksLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::vector<std::string> ListWorkItemFiles() {
    std::vector<std::string> names;
    DIR* dir = ::opendir(TasksFolder().c_str());
    if (dir == nullptr) return names;
    while (struct dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() <= 4 || name[0] == '.' || name.compare(name.size() - 4, 4, kExtension) != 0) continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void LogLine(const std::string& message) {
    std::string line = std::string(program_invocation_short_name) + ": " + message + "\n";
    ssize_t ignored = ::write(2, line.data(), line.size());
    (void)ignored;
    ::syslog(LOG_USER | LOG_WARNING, "%s", message.c_str());
}

void LogOnce(const std::string& path, const std::string& message) {
    static std::mutex lock;
    static std::map<std::string, std::string> logged;
    struct stat info {};
    ::stat(path.c_str(), &info);
    std::string version = std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
                          std::to_string(info.st_mtim.tv_nsec) + ":" + std::to_string(info.st_ino);
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = logged.find(path);
        if (found != logged.end() && found->second == version) return;
        if (logged.size() > 1000) logged.clear();
        logged[path] = version;
    }
    LogLine(message);
}

}  // namespace kv::platform::taskscheduler
