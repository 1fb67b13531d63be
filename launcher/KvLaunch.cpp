// KvLaunch: requests a check of one scan job by queueing it in SPROFILES and
// setting STARTNOW; the agent service does the rest at its next poll.
#include <cstdio>
#include <string>

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "launcher/ScanQueue.h"
#include "platform/cli/HelpSwitch.h"
#include "platform/root/MachineRoot.h"

namespace {

const DWORD kQueueBufferBytes = 1024;

void StoreQueue(const std::string& queue) {
    SaveValueToRegistry("SPROFILES", REG_SZ, queue.c_str(), static_cast<DWORD>(queue.size() + 1));
}

const char kUsage[] =
    "Usage: KvLaunch <scan job>\n"
    "Queues a check of the scan job (its number, as the console shows it) and\n"
    "asks the agent service to run the checks queued.\n"
    "  --help, /?  show this text\n"
    "Exit code: 0 when the check was requested, 1 otherwise.\n";

}  // namespace

int main(int argc, char** argv) {
    // Help reads and writes nothing: not the settings, not the log.
    if (argc == 2 && kv::platform::HelpRequested(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // A request on a machine that was never installed would go nowhere.
    if (!kv::platform::RequireMachineRoot("KvLaunch")) return 1;
    LoadProductStrings();
    GetDebugSettingsFromRegistry();
    // A console program has no framework to initialise here; the failure exit
    // of that step cannot occur.
    if (argc != 2) {
        WriteDebugLog(1, "Invalid nuber of parameters in the KvLaunch module");
        return 1;
    }
    // Whatever is queued is run by the engine as a scan job: text that names
    // none is refused here, where whoever passed it can still be told.
    if (!IsScanJobArgument(argv[1])) {
        WriteDebugLogF(1, "KvLaunch was given \"%s\", which is no scan job number", argv[1]);
        std::fprintf(stderr, "KvLaunch: \"%s\" is no scan job number (1 to 2147483647).\n%s", argv[1], kUsage);
        return 1;
    }
    try {
        SetResourceHandle(GetResourceModule());
        char queue[kQueueBufferBytes] = {};
        DWORD stored = 0;
        SettingRead read = ReadSetting("SPROFILES", REG_SZ, queue, sizeof queue, true, &stored);
        queue[sizeof queue - 1] = '\0';
        std::string newQueue;
        // A queue too long to read whole is left for the engine to repair:
        // written over, the requests in it would be lost.
        QueueAppend outcome = read == SettingRead::TooLong ? QueueAppend::Full
                                                           : AppendToQueue(queue, argv[1], newQueue);
        if (outcome == QueueAppend::Appended) StoreQueue(newQueue);
        DWORD startNow = 1;
        SaveValueToRegistry("STARTNOW", REG_DWORD, &startNow, sizeof startNow);
        if (outcome == QueueAppend::Full) {
            // The queue is left whole rather than cut; the caller learns that
            // this job was not queued, while the jobs already queued still run.
            WriteDebugLogF(1, "The scan-job queue is full; scan job %s was not queued", argv[1]);
            return 1;
        }
    } catch (...) {
        WriteDebugLog(1, "Could not update the current profile into the registry");
    }
    return 0;
}
