#include "platform/eventlog/EventLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <strings.h>
#include <unordered_map>

#include "platform/eventlog/EventRecord.h"
#include "platform/eventlog/MessageFile.h"
#include "platform/posix/internal/FileWrite.h"
#include "platform/root/MachineRoot.h"
#include "platform/system/SystemInfo.h"
#include "platform/win/LastError.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform {
namespace {

struct EventSource {
    std::string name;
    std::string computer;
    std::unique_ptr<EventMessageSource> messages;
};

// Open sources by handle. A report holds its own reference, so a source
// deregistered by another thread meanwhile stays valid until it is done.
std::mutex g_sourcesLock;
std::unordered_map<HANDLE, std::shared_ptr<EventSource>> g_sources;

std::shared_ptr<EventSource> FindSource(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_sourcesLock);
    auto it = g_sources.find(handle);
    return it == g_sources.end() ? nullptr : it->second;
}

std::string ComputerName() {
    char name[64] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name) : std::string();
}

std::string UtcNow() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm utc{};
    ::gmtime_r(&now.tv_sec, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_usec / 1000));
    return text;
}

// A full disk is a full log here, and a missing file is its missing folder.
DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT: return ERROR_LOG_FILE_FULL;
        case ENOENT: return ERROR_PATH_NOT_FOUND;
        default: return WindowsErrorFromErrno(error, ERROR_WRITE_FAULT);
    }
}

// Appends one line. Readers and other writers never see it torn: the line
// goes out in one write() on an O_APPEND descriptor, and the lock keeps a
// rare short write and its remainder together. The records name files in
// private folders, so they are the owner's alone, and a link planted in the
// log's place is never written through.
DWORD AppendLine(const std::string& line) {
    std::string file = EventLogFile();
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == ENOENT) {
        // The first record of a machine makes the log's folder.
        std::string folder = MachineRoot() + "/eventlog";
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
        fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0) return ErrorFromErrno(errno);
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    DWORD result = posix::WriteAll(fd, line.data(), line.size()) ? ERROR_SUCCESS : ErrorFromErrno(errno);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return result;
}

int SyslogLevel(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE: return LOG_ERR;
        case EVENTLOG_WARNING_TYPE:
        case EVENTLOG_AUDIT_FAILURE: return LOG_WARNING;
        case EVENTLOG_AUDIT_SUCCESS: return LOG_NOTICE;
        default: return LOG_INFO;
    }
}

// One message to the system log socket (KESTRAVA_SYSLOG_SOCKET, default
// /dev/log) in the traditional format, identity = the source. Written
// directly rather than through openlog/syslog, whose identity is
// process-wide and would mix up sources reported from several threads. A
// host without a log socket simply gets nothing.
void SendToSyslog(const std::string& identity, WORD type, const std::string& text) {
    const char* path = std::getenv("KESTRAVA_SYSLOG_SOCKET");
    if (path == nullptr || *path == '\0') path = "/dev/log";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) return;
    std::strcpy(address.sun_path, path);
    time_t now = std::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char head[96];
    std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d ", LOG_USER | SyslogLevel(type),
                  kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string message = head + identity + "[" + std::to_string(::getpid()) + "]: " + text;
    // One unbound datagram socket serves every record of the process.
    static std::mutex lock;
    static int fd = -1;
    std::lock_guard<std::mutex> guard(lock);
    if (fd < 0) fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                            reinterpret_cast<sockaddr*>(&address), sizeof address);
    (void)sent;
}

bool IsLocalComputer(const char* server) {
    if (server == nullptr || *server == '\0') return true;
    std::string name = server;
    if (name.rfind("\\\\", 0) == 0) name = name.substr(2);
    return name == "." || strcasecmp(name.c_str(), "localhost") == 0 ||
           strcasecmp(name.c_str(), ComputerName().c_str()) == 0;
}

}  // namespace
}  // namespace kv::platform

using namespace kv::platform;

HANDLE RegisterEventSourceA(LPCSTR serverName, LPCSTR sourceName) {
    if (sourceName == nullptr || *sourceName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsLocalComputer(serverName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    auto source = std::make_shared<EventSource>();
    source->name = sourceName;
    source->computer = ComputerName();
    source->messages = std::make_unique<EventMessageSource>(source->name);
    HANDLE handle = source.get();
    std::lock_guard<std::mutex> lock(g_sourcesLock);
    g_sources.emplace(handle, std::move(source));
    return handle;
}

BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID, WORD numStrings,
                  DWORD dataSize, LPCSTR* strings, LPVOID rawData) {
    std::shared_ptr<EventSource> source = FindSource(eventLog);
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((numStrings > 0 && strings == nullptr) || (dataSize > 0 && rawData == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EventRecord record;
    record.time = UtcNow();
    record.computer = source->computer;
    record.source = source->name;
    record.type = type;
    record.category = category;
    record.eventId = eventId;
    for (WORD i = 0; i < numStrings; ++i) {
        if (strings[i] == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        record.strings.emplace_back(strings[i]);
    }
    if (dataSize > 0) record.data.assign(static_cast<const char*>(rawData), dataSize);
    DWORD result = AppendLine(EventRecordToJson(record) + "\n");
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return FALSE;
    }
    SendToSyslog(source->name, type, source->messages->Message(eventId, record.strings));
    return TRUE;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    std::shared_ptr<EventSource> source;
    {
        std::lock_guard<std::mutex> lock(g_sourcesLock);
        auto it = g_sources.find(eventLog);
        if (it == g_sources.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        source = std::move(it->second);
        g_sources.erase(it);
    }
    return TRUE;
}
