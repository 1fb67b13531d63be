// KvLaunch: requests a check of one scan job by queueing it in SPROFILES and
// setting STARTNOW; the agent service does the rest at its next poll.
#include <cstring>
#include <string>

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "launcher/ScanQueue.h"

namespace {

const DWORD kQueueBufferBytes = 1024;

void StoreQueue(const std::string& queue) {
    SaveValueToRegistry("SPROFILES", REG_SZ, queue.c_str(), static_cast<DWORD>(queue.size() + 1));
}

}  // namespace

int main(int argc, char** argv) {
    LoadProductStrings();
    GetDebugSettingsFromRegistry();
    // A console program has no framework to initialise here; the failure exit
    // of that step cannot occur.
    if (argc != 2) {
        WriteDebugLog(1, "Invalid nuber of parameters in the KvLaunch module");
        return 1;
    }
    try {
        SetResourceHandle(GetResourceModule());
        char queue[kQueueBufferBytes] = {};
        ReadValueFromRegistry("SPROFILES", queue, sizeof queue);
        queue[sizeof queue - 1] = '\0';
        std::string newQueue;
        QueueAppend outcome = AppendToQueue(queue, argv[1], newQueue);
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
