// kvsc: the operator tool for the service manager, in the manner of sc.exe.
//   kvsc query NAME            kvsc start NAME [ARGS...]
//   kvsc stop NAME [--wait]    kvsc delete NAME
//   kvsc interrogate NAME      kvsc qc NAME           kvsc qdescription NAME
//   kvsc description NAME TEXT
//   kvsc create NAME binPath= PATH [type= own|share] [start= auto|demand|disabled]
//        [error= ignore|normal|severe|critical] [DisplayName= TEXT] [depend= A/B]
//        [obj= ACCOUNT] [password= TEXT]
// Output is sc.exe's; a failure prints "[SC] <call> FAILED <code>:" and the
// error's text, and ends with status 1. As with sc.exe, stop returns once the
// control is sent; --wait (anywhere on the line) waits up to 30 seconds for
// the stopped state.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/cli/HelpSwitch.h"
#include "platform/root/MachineRoot.h"
#include "platform/service/Service.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "platform/service/internal/ServiceErrors.h"
#include "platform/win/LastError.h"

namespace {

const char* StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED: return "STOPPED";
        case SERVICE_START_PENDING: return "START_PENDING";
        case SERVICE_STOP_PENDING: return "STOP_PENDING";
        case SERVICE_RUNNING: return "RUNNING";
        case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
        case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
        case SERVICE_PAUSED: return "PAUSED";
        default: return "UNKNOWN";
    }
}

std::string TypeName(DWORD type) {
    std::string name;
    if (type & SERVICE_WIN32_OWN_PROCESS) name = "WIN32_OWN_PROCESS";
    else if (type & SERVICE_WIN32_SHARE_PROCESS) name = "WIN32_SHARE_PROCESS";
    else if (type & SERVICE_KERNEL_DRIVER) name = "KERNEL_DRIVER";
    else if (type & SERVICE_FILE_SYSTEM_DRIVER) name = "FILE_SYSTEM_DRIVER";
    if (type & SERVICE_INTERACTIVE_PROCESS) name += " (interactive)";
    return name;
}

const char* StartTypeName(DWORD start) {
    switch (start) {
        case SERVICE_BOOT_START: return "BOOT_START";
        case SERVICE_SYSTEM_START: return "SYSTEM_START";
        case SERVICE_AUTO_START: return "AUTO_START";
        case SERVICE_DEMAND_START: return "DEMAND_START";
        case SERVICE_DISABLED: return "DISABLED";
        default: return "UNKNOWN";
    }
}

const char* ErrorControlName(DWORD control) {
    switch (control) {
        case SERVICE_ERROR_IGNORE: return "IGNORE";
        case SERVICE_ERROR_NORMAL: return "NORMAL";
        case SERVICE_ERROR_SEVERE: return "SEVERE";
        case SERVICE_ERROR_CRITICAL: return "CRITICAL";
        default: return "UNKNOWN";
    }
}

int Failed(const char* call) {
    DWORD code = GetLastError();
    std::printf("[SC] %s FAILED %u:\n\n%s\n\n", call, code, kv::platform::service::ErrorText(code));
    return 1;
}

void PrintStatus(const char* name, const SERVICE_STATUS& s) {
    std::printf("\nSERVICE_NAME: %s\n", name);
    std::printf("        TYPE               : %-3x %s\n", s.dwServiceType, TypeName(s.dwServiceType).c_str());
    std::printf("        STATE              : %-3u %s\n", s.dwCurrentState, StateName(s.dwCurrentState));
    std::printf("                                (%s, %s, %s)\n",
                s.dwControlsAccepted & SERVICE_ACCEPT_STOP ? "STOPPABLE" : "NOT_STOPPABLE",
                s.dwControlsAccepted & SERVICE_ACCEPT_PAUSE_CONTINUE ? "PAUSABLE" : "NOT_PAUSABLE",
                s.dwControlsAccepted & SERVICE_ACCEPT_SHUTDOWN ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN");
    std::printf("        WIN32_EXIT_CODE    : %-3u (0x%x)\n", s.dwWin32ExitCode, s.dwWin32ExitCode);
    std::printf("        SERVICE_EXIT_CODE  : %-3u (0x%x)\n", s.dwServiceSpecificExitCode,
                s.dwServiceSpecificExitCode);
    std::printf("        CHECKPOINT         : 0x%x\n", s.dwCheckPoint);
    std::printf("        WAIT_HINT          : 0x%x\n", s.dwWaitHint);
}

// The recorded process id, read from the database's status.
DWORD RecordedPid(const char* name) {
    std::string folder = kv::platform::service::FindServiceFolder(name);
    kv::platform::service::ServiceState state;
    if (folder.empty() || !kv::platform::service::ReadState(folder, state)) return 0;
    return static_cast<DWORD>(state.processId);
}

void PrintUsage(FILE* to) {
    std::fprintf(to,
                 "usage: kvsc query|start|stop|delete|interrogate|qc|qdescription NAME\n"
                 "       kvsc start NAME [ARGS...]\n"
                 "       kvsc stop NAME --wait\n"
                 "       kvsc description NAME TEXT\n"
                 "       kvsc create NAME binPath= PATH [type= own|share] [start= auto|demand|disabled]\n"
                 "            [error= ignore|normal|severe|critical] [DisplayName= TEXT] [depend= A/B]\n"
                 "            [obj= ACCOUNT] [password= TEXT]\n"
                 "The service database lies under the machine root $KESTRAVA_ROOT (default /var/lib/kestrava).\n");
}

int Usage() {
    PrintUsage(stderr);
    return 1;
}

struct Session {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    ~Session() {
        if (service != nullptr) CloseServiceHandle(service);
        if (manager != nullptr) CloseServiceHandle(manager);
    }
};

// Opens the manager and the service; prints the failure and returns false.
bool Open(Session& session, const char* name, DWORD access) {
    session.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (session.manager == nullptr) {
        Failed("OpenSCManager");
        return false;
    }
    session.service = OpenServiceA(session.manager, name, access);
    if (session.service == nullptr) {
        Failed("OpenService");
        return false;
    }
    return true;
}

int Query(const char* name, DWORD pid) {
    Session session;
    if (!Open(session, name, SERVICE_QUERY_STATUS)) return 1;
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(session.service, &status)) return Failed("QueryServiceStatus");
    PrintStatus(name, status);
    if (status.dwCurrentState == SERVICE_STOPPED) pid = 0;
    std::printf("        PID                : %u\n", pid);
    std::printf("        FLAGS              :\n");
    return 0;
}

int Start(const char* name, const std::vector<std::string>& args) {
    Session session;
    if (!Open(session, name, SERVICE_START | SERVICE_QUERY_STATUS)) return 1;
    std::vector<LPCSTR> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    if (!StartServiceA(session.service, static_cast<DWORD>(argv.size()), argv.empty() ? nullptr : argv.data()))
        return Failed("StartService");
    return Query(name, RecordedPid(name));
}

int Stop(const char* name, bool wait) {
    Session session;
    if (!Open(session, name, SERVICE_STOP | SERVICE_QUERY_STATUS)) return 1;
    SERVICE_STATUS status{};
    if (!ControlService(session.service, SERVICE_CONTROL_STOP, &status)) return Failed("ControlService");
    PrintStatus(name, status);
    if (!wait) return 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (QueryServiceStatus(session.service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::printf("\n[SC] %s did not stop within 30 seconds (state %u %s)\n", name, status.dwCurrentState,
                        StateName(status.dwCurrentState));
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("\n[SC] %s STOPPED (WIN32_EXIT_CODE %u)\n", name, status.dwWin32ExitCode);
    return 0;
}

int Interrogate(const char* name) {
    Session session;
    if (!Open(session, name, SERVICE_INTERROGATE)) return 1;
    SERVICE_STATUS status{};
    if (!ControlService(session.service, SERVICE_CONTROL_INTERROGATE, &status)) return Failed("ControlService");
    PrintStatus(name, status);
    return 0;
}

int Delete(const char* name) {
    Session session;
    if (!Open(session, name, DELETE)) return 1;
    if (!DeleteService(session.service)) return Failed("DeleteService");
    std::printf("[SC] DeleteService SUCCESS\n");
    return 0;
}

int QueryConfig(const char* name) {
    Session session;
    if (!Open(session, name, SERVICE_QUERY_CONFIG)) return 1;
    DWORD needed = 0;
    QueryServiceConfigA(session.service, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed + sizeof(QUERY_SERVICE_CONFIGA));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(session.service, config, static_cast<DWORD>(buffer.size()), &needed))
        return Failed("QueryServiceConfig");
    std::printf("[SC] QueryServiceConfig SUCCESS\n\nSERVICE_NAME: %s\n", name);
    std::printf("        TYPE               : %-3x %s\n", config->dwServiceType, TypeName(config->dwServiceType).c_str());
    std::printf("        START_TYPE         : %-3u %s\n", config->dwStartType, StartTypeName(config->dwStartType));
    std::printf("        ERROR_CONTROL      : %-3u %s\n", config->dwErrorControl, ErrorControlName(config->dwErrorControl));
    std::printf("        BINARY_PATH_NAME   : %s\n", config->lpBinaryPathName);
    std::printf("        LOAD_ORDER_GROUP   : %s\n", config->lpLoadOrderGroup);
    std::printf("        TAG                : %u\n", config->dwTagId);
    std::printf("        DISPLAY_NAME       : %s\n", config->lpDisplayName);
    std::printf("        DEPENDENCIES       :");
    for (const char* d = config->lpDependencies; *d; d += std::strlen(d) + 1) std::printf(" %s", d);
    std::printf("\n        SERVICE_START_NAME : %s\n", config->lpServiceStartName);
    return 0;
}

int QueryDescription(const char* name) {
    Session session;
    if (!Open(session, name, SERVICE_QUERY_CONFIG)) return 1;
    DWORD needed = 0;
    QueryServiceConfig2A(session.service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed + sizeof(SERVICE_DESCRIPTIONA));
    if (!QueryServiceConfig2A(session.service, SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed))
        return Failed("QueryServiceConfig2");
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data());
    std::printf("[SC] QueryServiceConfig2 SUCCESS\n\nSERVICE_NAME: %s\nDESCRIPTION:  %s\n", name,
                description->lpDescription != nullptr ? description->lpDescription : "");
    return 0;
}

int Describe(const char* name, const char* text) {
    Session session;
    if (!Open(session, name, SERVICE_CHANGE_CONFIG)) return 1;
    SERVICE_DESCRIPTIONA description{const_cast<LPSTR>(text)};
    if (!ChangeServiceConfig2A(session.service, SERVICE_CONFIG_DESCRIPTION, &description))
        return Failed("ChangeServiceConfig2");
    std::printf("[SC] ChangeServiceConfig2 SUCCESS\n");
    return 0;
}

int Create(const char* name, const std::vector<std::string>& options) {
    std::string binPath, display, account, password, depend;
    bool haveBinPath = false, havePassword = false;
    DWORD type = SERVICE_WIN32_OWN_PROCESS, start = SERVICE_DEMAND_START, error = SERVICE_ERROR_NORMAL;
    for (size_t i = 0; i < options.size(); ++i) {
        // sc.exe's form: "option=" and its value as the next word.
        std::string option = options[i];
        std::string value;
        size_t eq = option.find('=');
        if (eq == std::string::npos) return Usage();
        if (eq + 1 < option.size()) value = option.substr(eq + 1);
        else if (i + 1 < options.size()) value = options[++i];
        option = option.substr(0, eq);
        for (char& c : option) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (option == "binpath") {
            binPath = value;
            haveBinPath = true;
        } else if (option == "displayname") display = value;
        else if (option == "obj") account = value;
        else if (option == "password") {
            password = value;
            havePassword = true;
        } else if (option == "depend") depend = value;
        else if (option == "type") {
            if (value == "own") type = SERVICE_WIN32_OWN_PROCESS;
            else if (value == "share") type = SERVICE_WIN32_SHARE_PROCESS;
            else return Usage();
        } else if (option == "start") {
            if (value == "auto") start = SERVICE_AUTO_START;
            else if (value == "demand") start = SERVICE_DEMAND_START;
            else if (value == "disabled") start = SERVICE_DISABLED;
            else return Usage();
        } else if (option == "error") {
            if (value == "ignore") error = SERVICE_ERROR_IGNORE;
            else if (value == "normal") error = SERVICE_ERROR_NORMAL;
            else if (value == "severe") error = SERVICE_ERROR_SEVERE;
            else if (value == "critical") error = SERVICE_ERROR_CRITICAL;
            else return Usage();
        } else {
            return Usage();
        }
    }
    if (!haveBinPath) return Usage();
    std::string dependencies;
    for (char c : depend) dependencies += c == '/' ? '\0' : c;
    dependencies += '\0';
    dependencies += '\0';
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (manager == nullptr) return Failed("OpenSCManager");
    SC_HANDLE service = CreateServiceA(manager, name, display.empty() ? nullptr : display.c_str(), SERVICE_ALL_ACCESS,
                                       type, start, error, binPath.c_str(), nullptr, nullptr, dependencies.c_str(),
                                       account.empty() ? nullptr : account.c_str(),
                                       havePassword ? password.c_str() : nullptr);
    if (service == nullptr) {
        int rc = Failed("CreateService");
        CloseServiceHandle(manager);
        return rc;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    std::printf("[SC] CreateService SUCCESS\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        PrintUsage(stdout);
        return 0;
    }
    std::vector<std::string> words;
    bool wait = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wait") == 0) wait = true;
        else words.push_back(argv[i]);
    }
    if (words.size() < 2) return Usage();
    std::string verb = words[0];
    for (char& c : verb) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const char* name = words[1].c_str();
    std::vector<std::string> rest(words.begin() + 2, words.end());
    if (!kv::platform::RequireMachineRoot("kvsc")) return 1;
    if (verb == "query" && rest.empty()) return Query(name, RecordedPid(name));
    if (verb == "start") return Start(name, rest);
    if (verb == "stop" && rest.empty()) return Stop(name, wait);
    if (verb == "delete" && rest.empty()) return Delete(name);
    if (verb == "interrogate" && rest.empty()) return Interrogate(name);
    if (verb == "qc" && rest.empty()) return QueryConfig(name);
    if (verb == "qdescription" && rest.empty()) return QueryDescription(name);
    if (verb == "description" && rest.size() == 1) return Describe(name, rest[0].c_str());
    if (verb == "create") return Create(name, rest);
    return Usage();
}
