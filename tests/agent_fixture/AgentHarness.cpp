#include "tests/agent_fixture/AgentHarness.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/library/Library.h"
#include "platform/resource/StringResource.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "platform/service/internal/ServiceProcess.h"

namespace fs = std::filesystem;

namespace kvtest {

const char* const kAgentServiceName = "Kestrava Selvane Tessellon 3 agent service";

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void CopyInto(const std::string& from, const std::string& folder, const std::string& name) {
    fs::copy_file(from, folder + "/" + name, fs::copy_options::overwrite_existing);
}

}  // namespace

AgentInstallation::AgentInstallation(const TestRoot& root, EngineFile engine, bool languages,
                                     const std::string& folderName)
    : m_root(root), m_folder(root.DriveC() + "/" + folderName) {
    fs::create_directories(m_folder);
    // Copies, not links: the program finds its libraries beside its own file.
    CopyInto(BinPath("KvAgent"), m_folder, "KvAgent");
    CopyInto(BinPath("libTslText.so"), m_folder, "libTslText.so");
    if (languages) {
        CopyInto(BinPath("OrvRes409.so"), m_folder, "OrvRes409.so");
        CopyInto(BinPath("OrvRes407.so"), m_folder, "OrvRes407.so");
    }
    if (engine == EngineFile::Fake) CopyInto(std::string(KV_FAKE_ENGINE_DIR) + "/OrvEngine.so", m_folder, "OrvEngine.so");
    if (engine == EngineFile::WithoutEntries) CopyInto(BinPath("libTslText.so"), m_folder, "OrvEngine.so");
    m_env = {"KESTRAVA_MSGBOX_LOG=" + root.Path() + "/msgbox.log", "LC_ALL=en_US.UTF-8"};
}

std::string AgentInstallation::WindowsProgram() const { return m_root.OnDriveC(m_folder) + "\\KvAgent"; }

std::vector<std::string> AgentInstallation::Environment() const { return m_env; }

ProcessResult AgentInstallation::Agent(const std::vector<std::string>& args) const {
    return RunProgram(m_folder + "/KvAgent", args, Environment());
}

ProcessResult AgentInstallation::Kvsc(const std::vector<std::string>& args) const {
    return RunProgram(BinPath("kvsc"), args, Environment());
}

std::vector<std::string> AgentInstallation::MessageBoxes() const {
    return Lines(ReadTextFile(m_root.Path() + "/msgbox.log"));
}

std::vector<std::string> AgentInstallation::EngineCalls() const {
    return Lines(ReadTextFile(m_root.Path() + "/fake_engine_calls.txt"));
}

std::string AgentInstallation::DebugLog() const { return ReadTextFile(m_root.DriveC() + "/Logs/KvAgentDbg.txt"); }

bool AgentInstallation::ProgramRunning() const {
    std::error_code ignored;
    fs::path program = fs::canonical(m_folder + "/KvAgent", ignored);
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code failed;
        fs::path exe = fs::read_symlink(entry.path() / "exe", failed);
        if (!failed && exe == program && ProcessAlive(std::stoi(name))) return true;
    }
    return false;
}

bool AgentInstallation::Installed() const { return State() != 0; }

DWORD AgentInstallation::State() const { return AgentServiceState(); }

int AgentInstallation::ServiceProcess() const { return AgentServiceProcess(); }

DWORD AgentServiceState() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return 0;
    SC_HANDLE service = OpenServiceA(manager, kAgentServiceName, SERVICE_QUERY_STATUS);
    DWORD state = 0;
    SERVICE_STATUS status = {};
    if (service != nullptr && QueryServiceStatus(service, &status)) state = status.dwCurrentState;
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return state;
}

int AgentServiceProcess() {
    using namespace kv::platform::service;
    std::string folder = FindServiceFolder(kAgentServiceName);
    ServiceState state;
    if (folder.empty() || !ReadState(folder, state)) return 0;
    return static_cast<int>(state.processId);
}

bool AgentInstallation::ConfigOf(std::string& account, std::string& binaryPath, DWORD& startType,
                                 std::string& description) const {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, kAgentServiceName, SERVICE_QUERY_CONFIG);
    bool ok = false;
    if (service != nullptr) {
        alignas(8) BYTE buffer[8192];
        DWORD needed = 0;
        auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer);
        if (QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
            account = config->lpServiceStartName;
            binaryPath = config->lpBinaryPathName;
            startType = config->dwStartType;
            ok = true;
        }
        description.clear();
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, buffer, sizeof buffer, &needed)) {
            auto* text = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer);
            if (text->lpDescription != nullptr) description = text->lpDescription;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return ok;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool ProcessAlive(int pid) {
    if (pid <= 0) return false;
    return ::kill(pid, 0) == 0 && kv::platform::service::ProcessStartTime(pid) != 0;
}

void StopAgentService() {
    int pid = AgentServiceProcess();
    DWORD state = AgentServiceState();
    if (state != 0 && state != SERVICE_STOPPED) RunProgram(BinPath("kvsc"), {"stop", kAgentServiceName, "--wait"});
    WaitUntil([&] { return !ProcessAlive(pid); });
}

std::string LanguageText(UINT id) {
    HMODULE module = LoadLibraryA(BinPath("OrvRes409.so").c_str());
    char buffer[500] = {};
    if (module == nullptr || LoadStringA(module, id, buffer, sizeof buffer) == 0) return std::string();
    return buffer;
}

std::string ServiceBox(UINT id) {
    std::string text = LanguageText(id);
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return std::string(kAgentServiceName) + ": " + text;
}

}  // namespace kvtest
