// kvwait: waits until the agent service has finished the checks requested so
// far, and prints how each one went.
//   kvwait [--timeout S]
// A check is requested while STARTNOW is set, and running from its begin
// record until its end record (or until the process that began it is gone).
// The checks printed are those that ended while kvwait waited; when none
// did, the most recent one, so that "KvLaunch 1; kvwait" shows the check
// however quickly it ran.
// Exit status: 0 when every check printed ended normally (or none has run),
// 1 when one failed, was stopped or was cut off, 2 when the wait could not
// end (time-out, service not running, no installation).
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/cli/HelpSwitch.h"
#include "platform/outcome/CheckOutcome.h"
#include "platform/registry/Registry.h"
#include "platform/root/MachineRoot.h"
#include "platform/service/Service.h"

namespace {

using kv::platform::CheckOutcomeRecord;

const char* const kSettingsKey = "SOFTWARE\\Kestrava Corvid\\Tsl3\\Config";
const char* const kServiceName = "Kestrava Selvane Tessellon 3 agent service";
const double kDefaultTimeout = 600;
// The service clears STARTNOW and begins the check in the same breath; an
// idle state must hold this long before it counts, so that the moment
// between the two is not taken for the end of the work.
const auto kSettle = std::chrono::milliseconds(200);
const auto kPoll = std::chrono::milliseconds(20);

void PrintUsage(FILE* to) {
    std::fprintf(to,
                 "usage: kvwait [--timeout S]\n"
                 "Waits until the agent service has finished the checks requested so far (KvLaunch),\n"
                 "then prints each check's job, items, added, changed and removed counts and result.\n"
                 "  --timeout S  give up after S seconds (default %.0f)\n"
                 "Exit status: 0 every check ended normally, 1 a check failed or was stopped,\n"
                 "2 the wait could not end (time-out, service not running, no installation).\n",
                 kDefaultTimeout);
}

struct Check {
    CheckOutcomeRecord begin;
    bool ended = false;
    bool interrupted = false;
    CheckOutcomeRecord end;
};

// Pairs begin and end records. A begin that another begin follows, or whose
// process is gone, never ended: its process was killed during the check.
std::vector<Check> ChecksOf(const std::vector<CheckOutcomeRecord>& records) {
    std::vector<Check> checks;
    for (const CheckOutcomeRecord& record : records) {
        if (!record.end) {
            if (!checks.empty() && !checks.back().ended) checks.back().interrupted = true;
            checks.push_back({record, false, false, {}});
        } else if (!checks.empty() && !checks.back().ended && !checks.back().interrupted &&
                   checks.back().begin.processId == record.processId) {
            checks.back().ended = true;
            checks.back().end = record;
        }
    }
    if (!checks.empty() && !checks.back().ended && !kv::platform::ProcessAlive(checks.back().begin.processId))
        checks.back().interrupted = true;
    return checks;
}

bool Finished(const Check& check) { return check.ended || check.interrupted; }

bool EndedNormally(const Check& check) {
    return check.ended && check.end.result == 0 && !check.end.stopped;
}

std::string ResultText(const Check& check) {
    if (check.interrupted) return "cut off: the process running it ended during the check";
    if (check.end.stopped) return "stopped by a service stop";
    switch (check.end.result) {
        case 0: return "ended normally";
        case 1: return "the database could not be opened";
        case 0x80004005u: return "failed with an unexpected error (see the debug log)";
        default: return "failed";
    }
}

void Print(const Check& check) {
    if (check.interrupted) {
        std::printf("check begun %s: %s\n", check.begin.time.c_str(), ResultText(check).c_str());
        return;
    }
    const CheckOutcomeRecord& e = check.end;
    std::printf("job %ld: %llu items, %llu added, %llu changed, %llu removed, result 0x%08X (%s), ended %s\n",
                e.job, static_cast<unsigned long long>(e.items), static_cast<unsigned long long>(e.added),
                static_cast<unsigned long long>(e.changed), static_cast<unsigned long long>(e.removed), e.result,
                ResultText(check).c_str(), e.time.c_str());
}

// STARTNOW, or -1 when the settings key cannot be read.
long StartNow() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD type = 0, value = 0, size = sizeof value;
    LONG rc = RegQueryValueExA(key, "STARTNOW", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return 0;  // never requested
    return type == REG_DWORD && value != 0 ? 1 : 0;
}

// True while the service can still pick up a request.
bool ServiceUp() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return false;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    bool up = service != nullptr && QueryServiceStatus(service, &status) &&
              (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_START_PENDING);
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return up;
}

bool ParseSeconds(const char* text, double& seconds) {
    errno = 0;
    char* end = nullptr;
    seconds = std::strtod(text, &end);
    return *text != '\0' && *end == '\0' && errno == 0 && seconds >= 0 && seconds < 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        PrintUsage(stdout);
        return 0;
    }
    double timeout = kDefaultTimeout;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            if (!ParseSeconds(argv[++i], timeout)) {
                std::fprintf(stderr, "kvwait: --timeout needs a number of seconds, not \"%s\"\n", argv[i]);
                return 2;
            }
        } else {
            PrintUsage(stderr);
            return 2;
        }
    }
    if (!kv::platform::RequireMachineRoot("kvwait")) return 2;
    if (StartNow() < 0) {
        std::fprintf(stderr,
                     "kvwait: the settings key under %s cannot be read: the root holds no installation, or "
                     "only its owner may read it\n",
                     kv::platform::MachineRoot().c_str());
        return 2;
    }
    // The record is its owner's alone; an unreadable one must not pass for
    // "no check has run".
    const std::string record = kv::platform::CheckOutcomeFile();
    if (::access(record.c_str(), R_OK) != 0 && errno != ENOENT) {
        std::fprintf(stderr, "kvwait: %s cannot be read: %s\n", record.c_str(), std::strerror(errno));
        return 2;
    }

    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(timeout));
    std::vector<Check> checks = ChecksOf(kv::platform::ReadCheckOutcomes());
    size_t alreadyFinished = checks.size();
    if (!checks.empty() && !Finished(checks.back())) --alreadyFinished;

    int status = 0;
    bool idleSeen = false;
    size_t idleRecords = 0;
    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        std::vector<CheckOutcomeRecord> records = kv::platform::ReadCheckOutcomes();
        checks = ChecksOf(records);
        bool running = !checks.empty() && !Finished(checks.back());
        bool requested = StartNow() == 1;
        auto now = std::chrono::steady_clock::now();
        if (!running && !requested) {
            if (!idleSeen || idleRecords != records.size()) {
                idleSeen = true;
                idleRecords = records.size();
                idleSince = now;
            } else if (now - idleSince >= kSettle) {
                break;
            }
        } else {
            idleSeen = false;
            if (!running && !ServiceUp()) {
                std::fprintf(stderr,
                             "kvwait: a check is requested but the agent service is not running; it runs when "
                             "the service starts (kvsc start \"%s\")\n",
                             kServiceName);
                status = 2;
                break;
            }
        }
        if (now >= deadline) {
            std::fprintf(stderr, "kvwait: %s after %g seconds\n",
                         running ? "a check was still running" : "a check was still requested", timeout);
            status = 2;
            break;
        }
        std::this_thread::sleep_for(kPoll);
    }

    size_t first = alreadyFinished;
    size_t finished = checks.size();
    if (finished > 0 && !Finished(checks.back())) --finished;
    if (first >= finished) {
        if (finished == 0) {
            if (status == 0) std::printf("No check has run.\n");
            return status;
        }
        first = finished - 1;  // nothing ended while waiting: the latest check
    }
    bool allNormal = true;
    for (size_t i = first; i < finished; ++i) {
        Print(checks[i]);
        if (!EndedNormally(checks[i])) allNormal = false;
    }
    if (status == 0 && !allNormal) status = 1;
    return status;
}
