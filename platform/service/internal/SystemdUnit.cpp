#include "platform/service/internal/SystemdUnit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/library/Library.h"
#include "platform/posix/internal/FileWrite.h"
#include "platform/root/MachineRoot.h"
#include "platform/service/internal/ServiceProcess.h"

namespace kv::platform::service {
namespace {

const DWORD kAutoStart = 2;

// A word of a unit's command line: quoted when it needs it.
std::string UnitWord(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"'\\$%;") == std::string::npos) return word;
    std::string out = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '$') out += '$';  // "$$" is a literal dollar
        if (c == '%') out += '%';  // "%%" is a literal percent
        out += c;
    }
    return out + "\"";
}

void RunSystemctl(const char* verb) {
    pid_t child = ::fork();
    if (child == 0) {
        int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execl("/bin/systemctl", "systemctl", verb, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string KvscBesideProgram() {
    std::string program = ProgramPath();
    std::string kvsc = program.substr(0, program.rfind('/') + 1) + "kvsc";
    return ::access(kvsc.c_str(), X_OK) == 0 ? kvsc : std::string();
}

}  // namespace

bool HostRunBySystemd() {
    struct stat info;
    if (::stat("/run/systemd/system", &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    std::ifstream comm("/proc/1/comm");
    std::string name;
    std::getline(comm, name);
    return name == "systemd";
}

bool UnitsWanted() {
    const char* setting = std::getenv("KESTRAVA_SCM_SYSTEMD");
    bool wanted = setting != nullptr && *setting != '\0' ? std::strcmp(setting, "0") != 0
                                                         : MachineRoot() == "/var/lib/kestrava";
    return wanted && HostRunBySystemd();
}

std::string UnitFolder() {
    const char* folder = std::getenv("KESTRAVA_SCM_UNIT_DIR");
    return folder != nullptr && *folder != '\0' ? folder : "/etc/systemd/system";
}

std::string UnitName(const std::string& serviceName) {
    std::string stem;
    for (char c : serviceName) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') stem += static_cast<char>(c - 'A' + 'a');
        else if (plain) stem += c;
        else if (!stem.empty() && stem.back() != '-') stem += '-';
    }
    while (!stem.empty() && stem.back() == '-') stem.pop_back();
    return "kestrava-" + stem + ".service";
}

std::string UnitText(const ServiceConfig& config, const std::string& root, const std::string& kvsc) {
    CommandLine line;
    ParseBinaryPath(config.binaryPath, line);
    std::ostringstream text;
    text << "# Made by the service manager of " << root << " for the service \"" << config.name
         << "\"; removed with the service.\n";
    text << "[Unit]\n";
    text << "Description=" << (config.displayName.empty() ? config.name : config.displayName) << "\n";
    text << "After=network.target\n\n";
    text << "[Service]\n";
    // The command starts the service through the manager and ends; the
    // service process it leaves behind is the unit's main process.
    text << "Type=forking\n";
    text << "Environment=" << UnitWord("KESTRAVA_ROOT=" + root) << "\n";
    text << "ExecStart=" << UnitWord(line.program);
    for (const std::string& a : line.arguments) text << " " << UnitWord(a);
    text << "\n";
    if (!kvsc.empty())
        text << "ExecStop=" << UnitWord(kvsc) << " stop --wait " << UnitWord(config.name) << "\n";
    // Without the tool, systemd's own SIGTERM is the stop control.
    text << "KillSignal=SIGTERM\n";
    text << "TimeoutStopSec=60\n\n";
    text << "[Install]\n";
    text << "WantedBy=multi-user.target\n";
    return text.str();
}

bool WriteUnit(const std::string& folder, const ServiceConfig& config, const std::string& root,
               const std::string& kvsc) {
    std::string unit = UnitName(config.name);
    std::string path = folder + "/" + unit;
    if (!posix::ReplaceFile(path, UnitText(config, root, kvsc), 0644)) return false;
    std::string wants = folder + "/multi-user.target.wants";
    ::mkdir(wants.c_str(), 0755);
    std::string link = wants + "/" + unit;
    ::unlink(link.c_str());
    return ::symlink(("../" + unit).c_str(), link.c_str()) == 0;
}

void RemoveUnit(const std::string& folder, const std::string& serviceName) {
    std::string unit = UnitName(serviceName);
    ::unlink((folder + "/multi-user.target.wants/" + unit).c_str());
    ::unlink((folder + "/" + unit).c_str());
}

void InstallUnitFor(const ServiceConfig& config) {
    if (config.startType != kAutoStart || !UnitsWanted()) return;
    if (WriteUnit(UnitFolder(), config, MachineRoot(), KvscBesideProgram())) RunSystemctl("daemon-reload");
}

void RemoveUnitFor(const ServiceConfig& config) {
    if (!UnitsWanted()) return;
    std::string path = UnitFolder() + "/" + UnitName(config.name);
    if (::access(path.c_str(), F_OK) != 0) return;
    RemoveUnit(UnitFolder(), config.name);
    RunSystemctl("daemon-reload");
}

}  // namespace kv::platform::service
