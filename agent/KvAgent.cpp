// KvAgent: the agent service program. One executable with several roles,
// chosen by its command line: it installs or removes itself as a service,
// asks the service control manager to start or stop the installed service,
// and, when the manager starts it, runs as the service that hosts the scan
// engine.
#include <cstdio>

#include "agent/CommandLine.h"
#include "agent/MessageTexts.h"
#include "agent/ServiceControlRequests.h"
#include "agent/ServiceInstall.h"
#include "agent/ServiceModule.h"
#include "agent/ServiceRun.h"
#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "platform/cli/HelpSwitch.h"
#include "platform/root/MachineRoot.h"
#include "platform/service/Service.h"
#include "strings/CodeMap.h"

namespace {

const UINT kTextNeedsWindowsNT = 10006;

// "-startservice": the service itself when the manager started the
// process. Typed at a command line, the program loads and frees the engine
// once and then asks the manager to start the installed service.
int StartAsService(const InstallOptions& options) {
    char name[SERVICE_NAME_CHARS];
    std::snprintf(name, sizeof name, "%s", g_ServiceModule.ServiceName());
    SERVICE_TABLE_ENTRYA table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    bool dispatched = StartServiceCtrlDispatcherA(table) != FALSE;
    if (!dispatched) {
        g_ServiceModule.ClearServed();
        RunService();
    }
    // Only a process the manager did not start asks for the service: a
    // service that stopped on its own before its first poll (its engine is
    // missing, say) is not started again, over and over.
    if (g_nFirstPass.load() == 0 && !dispatched) RequestServiceStart(options);
    return static_cast<int>(g_ServiceModule.ExitCode());
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        std::fputs(AgentUsage(), stdout);
        return 0;
    }
    if (!kv::platform::RequireMachineRoot("KvAgent")) return 1;
    LoadProductStrings();
    // The log settings first, so that a missing language library, which
    // ends the program without a word, is at least in the log.
    GetDebugSettingsFromRegistry();
    HMODULE resources = GetResourceModule();
    if (resources == nullptr) {
        WriteDebugLog(1, "The resource module could not be loaded");
        return 0;
    }
    SetResourceHandle(resources);
    g_ServiceModule.MarkServed();
    if (g_bWindowsFamily == 0) {
        ShowText(kTextNeedsWindowsNT, MB_ICONEXCLAMATION);
        return 0;
    }
    g_ServiceModule.Init(ProductText(PSC_SERVICE_NAME));

    AgentCommandLine line = ParseCommandLine(CommandLineText(argc, argv));
    switch (line.command) {
        case AgentCommand::Unregister: return UnregisterService();
        case AgentCommand::StopService:
            RequestServiceStop(line.options);
            return static_cast<int>(g_ServiceModule.ExitCode());
        case AgentCommand::StartService: return StartAsService(line.options);
        case AgentCommand::Install: return InstallService(line.options);
        case AgentCommand::Notice: break;
    }
    return ShowNotice(line.options);
}
