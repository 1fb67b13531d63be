#include "platform/service/internal/ServiceDatabase.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>

#include "platform/posix/internal/FileWrite.h"
#include "platform/root/MachineRoot.h"
#include "platform/service/internal/ServiceProcess.h"
#include "platform/service/internal/SystemdUnit.h"

namespace kv::platform::service {
namespace {

const DWORD kProcessAborted = 1067;  // ERROR_PROCESS_ABORTED
const DWORD kStopped = 1;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Values are one line each: "\" and line ends are escaped.
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

std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    text.clear();
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

using posix::ReplaceFile;

typedef std::vector<std::pair<std::string, std::string>> Lines;

Lines ParseLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        lines.emplace_back(line.substr(0, eq), Unescape(line.substr(eq + 1)));
    }
    return lines;
}

DWORD Number(const std::string& text) {
    return static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

std::string Hex(DWORD value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
}

void Put(std::string& text, const char* key, const std::string& value) {
    text += key;
    text += '=';
    text += Escape(value);
    text += '\n';
}

std::string ConfigText(const ServiceConfig& c) {
    std::string text;
    Put(text, "Name", c.name);
    Put(text, "Id", c.id);
    Put(text, "DisplayName", c.displayName);
    Put(text, "BinaryPathName", c.binaryPath);
    Put(text, "ServiceType", Hex(c.serviceType));
    Put(text, "StartType", std::to_string(c.startType));
    Put(text, "ErrorControl", std::to_string(c.errorControl));
    Put(text, "LoadOrderGroup", c.loadOrderGroup);
    for (const std::string& d : c.dependencies) Put(text, "Dependency", d);
    Put(text, "ServiceStartName", c.account);
    Put(text, "Description", c.description);
    Put(text, "DeletePending", c.deletePending ? "1" : "0");
    if (c.deniedAccess != 0) Put(text, "DeniedAccess", Hex(c.deniedAccess));
    return text;
}

std::string StateText(const ServiceState& s) {
    std::string text;
    Put(text, "ServiceType", Hex(s.serviceType));
    Put(text, "CurrentState", std::to_string(s.currentState));
    Put(text, "ControlsAccepted", Hex(s.controlsAccepted));
    Put(text, "Win32ExitCode", std::to_string(s.win32ExitCode));
    Put(text, "ServiceSpecificExitCode", std::to_string(s.serviceSpecificExitCode));
    Put(text, "CheckPoint", std::to_string(s.checkPoint));
    Put(text, "WaitHint", std::to_string(s.waitHint));
    Put(text, "ProcessId", std::to_string(s.processId));
    Put(text, "ProcessStartTime", std::to_string(s.processStartTime));
    Put(text, "Connected", s.connected ? "1" : "0");
    for (const std::string& a : s.arguments) Put(text, "Argument", a);
    return text;
}

}  // namespace

DatabaseLock::DatabaseLock() {
    if (!EnsureDatabase()) return;
    std::string path = DatabaseFolder() + "/.lock";
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) return;
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
}

DatabaseLock::~DatabaseLock() {
    if (m_fd < 0) return;
    // Unlocked explicitly: a child forked meanwhile may still hold a copy of
    // the descriptor.
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

std::string DatabaseFolder() { return MachineRoot() + "/services"; }

bool EnsureDatabase() {
    // The folder, never the machine root: only the installation makes one.
    ::mkdir(DatabaseFolder().c_str(), 0755);
    struct stat info;
    return ::stat(DatabaseFolder().c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> ListServiceFolders() {
    std::vector<std::string> folders;
    std::string base = DatabaseFolder();
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr) return folders;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;  // the lock and folders being made
        std::string folder = base + "/" + entry->d_name;
        struct stat info;
        if (::stat((folder + "/config").c_str(), &info) == 0) folders.push_back(folder);
    }
    ::closedir(dir);
    return folders;
}

std::string FindServiceFolder(const std::string& name) {
    if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos) return std::string();
    std::string exact = DatabaseFolder() + "/" + name;
    struct stat info;
    if (::stat((exact + "/config").c_str(), &info) == 0) return exact;
    for (const std::string& folder : ListServiceFolders()) {
        std::string base = folder.substr(folder.rfind('/') + 1);
        if (SameIgnoringCase(base, name)) return folder;
    }
    return std::string();
}

bool ReadConfig(const std::string& folder, ServiceConfig& config) {
    std::string text;
    if (!ReadWholeFile(folder + "/config", text)) return false;
    config = ServiceConfig();
    for (const auto& [key, value] : ParseLines(text)) {
        if (key == "Name") config.name = value;
        else if (key == "Id") config.id = value;
        else if (key == "DisplayName") config.displayName = value;
        else if (key == "BinaryPathName") config.binaryPath = value;
        else if (key == "ServiceType") config.serviceType = Number(value);
        else if (key == "StartType") config.startType = Number(value);
        else if (key == "ErrorControl") config.errorControl = Number(value);
        else if (key == "LoadOrderGroup") config.loadOrderGroup = value;
        else if (key == "Dependency") config.dependencies.push_back(value);
        else if (key == "ServiceStartName") config.account = value;
        else if (key == "Description") config.description = value;
        else if (key == "DeletePending") config.deletePending = value == "1";
        else if (key == "DeniedAccess") config.deniedAccess = Number(value);
    }
    return !config.name.empty();
}

bool ReadState(const std::string& folder, ServiceState& state) {
    std::string text;
    state = ServiceState();
    if (!ReadWholeFile(folder + "/status", text)) return false;
    for (const auto& [key, value] : ParseLines(text)) {
        if (key == "ServiceType") state.serviceType = Number(value);
        else if (key == "CurrentState") state.currentState = Number(value);
        else if (key == "ControlsAccepted") state.controlsAccepted = Number(value);
        else if (key == "Win32ExitCode") state.win32ExitCode = Number(value);
        else if (key == "ServiceSpecificExitCode") state.serviceSpecificExitCode = Number(value);
        else if (key == "CheckPoint") state.checkPoint = Number(value);
        else if (key == "WaitHint") state.waitHint = Number(value);
        else if (key == "ProcessId") state.processId = static_cast<pid_t>(std::strtol(value.c_str(), nullptr, 10));
        else if (key == "ProcessStartTime") state.processStartTime = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "Connected") state.connected = value == "1";
        else if (key == "Argument") state.arguments.push_back(value);
    }
    return true;
}

bool WriteConfig(const std::string& folder, const ServiceConfig& config) {
    return ReplaceFile(folder + "/config", ConfigText(config), 0644);
}

bool WriteState(const std::string& folder, const ServiceState& state) {
    return ReplaceFile(folder + "/status", StateText(state), 0644);
}

bool ReadPassword(const std::string& folder, std::string& password) {
    password.clear();
    return ReadWholeFile(folder + "/password", password);
}

bool WritePassword(const std::string& folder, const std::string& password) {
    if (password.empty()) {
        ::unlink((folder + "/password").c_str());
        return true;
    }
    return ReplaceFile(folder + "/password", password, 0600);
}

bool CreateServiceFolder(const ServiceConfig& config, const ServiceState& state,
                         const std::string& password) {
    std::string temp = DatabaseFolder() + "/.new." + std::to_string(::getpid()) + "." + config.id;
    if (::mkdir(temp.c_str(), 0755) != 0) return false;
    bool ok = WriteConfig(temp, config) && WriteState(temp, state) && WritePassword(temp, password);
    if (!ok || ::rename(temp.c_str(), (DatabaseFolder() + "/" + config.name).c_str()) != 0) {
        std::error_code ignored;
        std::filesystem::remove_all(temp, ignored);
        return false;
    }
    return true;
}

void RemoveServiceFolder(const std::string& folder) {
    // Renamed away first, so that the service is gone in one step for readers.
    std::string doomed = DatabaseFolder() + "/.gone." + std::to_string(::getpid()) + "." + NewServiceId();
    std::error_code ignored;
    if (::rename(folder.c_str(), doomed.c_str()) == 0) std::filesystem::remove_all(doomed, ignored);
    else std::filesystem::remove_all(folder, ignored);
}

bool RecordedProcessAlive(const ServiceState& state) {
    if (state.processId <= 0) return false;
    unsigned long long start = ProcessStartTime(state.processId);
    return start != 0 && start == state.processStartTime;
}

bool SettleService(const std::string& folder, ServiceConfig& config, ServiceState& state) {
    if (!ReadConfig(folder, config)) return false;
    ReadState(folder, state);
    if (state.currentState != kStopped && !RecordedProcessAlive(state)) {
        state.currentState = kStopped;
        state.controlsAccepted = 0;
        state.checkPoint = 0;
        state.waitHint = 0;
        state.win32ExitCode = kProcessAborted;
        state.serviceSpecificExitCode = 0;
        state.processId = 0;
        state.processStartTime = 0;
        state.connected = false;
        WriteState(folder, state);
    }
    if (config.deletePending && state.currentState == kStopped) {
        RemoveUnitFor(config);
        RemoveServiceFolder(folder);
        return false;
    }
    return true;
}

bool SetServiceDeniedAccess(const std::string& name, DWORD deniedAccess) {
    DatabaseLock lock;
    std::string folder = FindServiceFolder(name);
    ServiceConfig config;
    if (folder.empty() || !ReadConfig(folder, config)) return false;
    config.deniedAccess = deniedAccess;
    return WriteConfig(folder, config);
}

std::string NewServiceId() {
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%08x%08x%04x", device(),
                  static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
                  counter++ & 0xffff);
    return buffer;
}

}  // namespace kv::platform::service
