#include "platform/outcome/CheckOutcome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/root/MachineRoot.h"

namespace kv::platform {
namespace {

std::string UtcNow() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_usec / 1000));
    return text;
}

bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return false;
    value = parsed;
    return true;
}

}  // namespace

std::string CheckOutcomeFile() { return MachineRoot() + "/checks/Checks.log"; }

std::string FormatCheckOutcome(const CheckOutcomeRecord& r) {
    std::ostringstream line;
    line << (r.end ? "end" : "begin") << ' ' << r.time << " pid=" << r.processId;
    if (r.end) {
        char result[16];
        std::snprintf(result, sizeof result, "0x%08X", r.result);
        line << " job=" << r.job << " items=" << r.items << " added=" << r.added << " changed=" << r.changed
             << " removed=" << r.removed << " result=" << result << " stopped=" << (r.stopped ? 1 : 0);
    }
    return line.str();
}

bool ParseCheckOutcome(const std::string& line, CheckOutcomeRecord& record) {
    std::istringstream words(line);
    std::string kind, word;
    CheckOutcomeRecord r;
    if (!(words >> kind >> r.time)) return false;
    if (kind == "end") r.end = true;
    else if (kind != "begin") return false;
    bool havePid = false;
    while (words >> word) {
        size_t eq = word.find('=');
        if (eq == std::string::npos) return false;
        std::string name = word.substr(0, eq);
        uint64_t value = 0;
        if (!ParseNumber(word.substr(eq + 1), value)) return false;
        if (name == "pid") {
            r.processId = static_cast<long>(value);
            havePid = true;
        } else if (name == "job") {
            r.job = static_cast<long>(static_cast<int32_t>(value));
        } else if (name == "items") {
            r.items = value;
        } else if (name == "added") {
            r.added = value;
        } else if (name == "changed") {
            r.changed = value;
        } else if (name == "removed") {
            r.removed = value;
        } else if (name == "result") {
            r.result = static_cast<uint32_t>(value);
        } else if (name == "stopped") {
            r.stopped = value != 0;
        }
        // Names this reader does not know are left for newer readers.
    }
    if (!havePid) return false;
    record = r;
    return true;
}

bool AppendCheckOutcome(CheckOutcomeRecord record) {
    record.time = UtcNow();
    record.processId = static_cast<long>(::getpid());
    std::string line = FormatCheckOutcome(record) + "\n";
    std::string file = CheckOutcomeFile();
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && errno == ENOENT) {
        // Never the root itself: only the installation makes one.
        std::string folder = MachineRoot() + "/checks";
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
        fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    }
    if (fd < 0) return false;
    // A record is far below PIPE_BUF; a short write on a full disk leaves a
    // torn line that readers skip.
    ssize_t written;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    ::close(fd);
    return written == static_cast<ssize_t>(line.size());
}

std::vector<CheckOutcomeRecord> ReadCheckOutcomes() {
    std::vector<CheckOutcomeRecord> records;
    std::ifstream in(CheckOutcomeFile(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        // A line without its end is still being written, or torn.
        if (in.eof()) break;
        CheckOutcomeRecord record;
        if (ParseCheckOutcome(line, record)) records.push_back(record);
    }
    return records;
}

bool ProcessAlive(long processId) {
    if (processId <= 0) return false;
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

}  // namespace kv::platform
