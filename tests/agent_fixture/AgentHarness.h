// An installation of KvAgent inside a test's machine root: a program folder
// on drive C: holding a copy of the program, the language libraries, TslText
// and (unless told otherwise) the fake scan engine, and the means to run the
// program, drive its service with kvsc and read what it left behind.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/service/Service.h"
#include "tests/fixtures/TestRoot.h"

namespace kvtest {

extern const char* const kAgentServiceName;

enum class EngineFile {
    Fake,            // the fake engine as OrvEngine.so
    Missing,         // no OrvEngine.so at all
    WithoutEntries,  // a library named OrvEngine.so that exports none of the entries
};

class AgentInstallation {
public:
    AgentInstallation(const TestRoot& root, EngineFile engine = EngineFile::Fake, bool languages = true,
                      const std::string& folderName = "Tsl3");

    const std::string& Folder() const { return m_folder; }  // POSIX
    std::string WindowsProgram() const;                     // "C:\Tsl3\KvAgent"

    // Environment entries ("NAME=value") for every later run of the program
    // or of kvsc, and so for the service they start.
    void AddEnvironment(const std::string& entry) { m_env.push_back(entry); }

    ProcessResult Agent(const std::vector<std::string>& args) const;
    ProcessResult Kvsc(const std::vector<std::string>& args) const;

    // Lines of the message boxes shown so far, "caption: text".
    std::vector<std::string> MessageBoxes() const;
    // Calls the fake engine recorded, one line each.
    std::vector<std::string> EngineCalls() const;
    // The service's debug log (DEBUG on through TestRoot::EnableDebugLog).
    std::string DebugLog() const;

    // Some process runs this installation's copy of the program.
    bool ProgramRunning() const;

    bool Installed() const;
    // The service's current state; 0 when it is not installed.
    DWORD State() const;
    // The process the manager recorded for the service; 0 when none.
    int ServiceProcess() const;
    bool ConfigOf(std::string& account, std::string& binaryPath, DWORD& startType, std::string& description) const;

private:
    std::vector<std::string> Environment() const;
    const TestRoot& m_root;
    std::string m_folder;
    std::vector<std::string> m_env;
};

// Polls the condition every few milliseconds until it holds or the time is
// up; true when it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));

bool ProcessAlive(int pid);

// The agent service's current state in the current root (0 when it is not
// installed) and the process recorded for it (0 when none).
DWORD AgentServiceState();
int AgentServiceProcess();
// Stops the agent service if it runs and waits for its process to end.
void StopAgentService();

// A text of the English language library, as the program loads it.
std::string LanguageText(UINT id);
// The line a message box of the service with that text leaves in the record.
std::string ServiceBox(UINT id);

}  // namespace kvtest
