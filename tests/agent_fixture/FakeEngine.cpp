// A stand-in for the scan engine in the agent's tests: it exports the three
// entries the service resolves and records each call, one line, in
// $KESTRAVA_ROOT/fake_engine_calls.txt. KV_FAKE_CHECK chooses what
// CheckFiles does: "0" (default) returns S_OK, "1" returns S_FALSE, "E_FAIL"
// returns E_FAIL, "long" runs until the stop flag is set (at most a minute)
// and returns S_OK. KV_FAKE_INITCORE=E_FAIL makes InitCore fail.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win/WinTypes.h"

#define FAKE_ENGINE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Record(const std::string& line) {
    const char* root = std::getenv("KESTRAVA_ROOT");
    if (root == nullptr) return;
    std::string path = std::string(root) + "/fake_engine_calls.txt";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string record = line + "\n";
    ssize_t written = ::write(fd, record.data(), record.size());
    (void)written;
    ::close(fd);
}

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool StopSet(LONG* stopFlag) {
    return stopFlag != nullptr && std::atomic_ref<LONG>(*stopFlag).load(std::memory_order_acquire) != 0;
}

}  // namespace

FAKE_ENGINE_EXPORT HRESULT InitCore() {
    Record("InitCore");
    return Setting("KV_FAKE_INITCORE") == "E_FAIL" ? E_FAIL : S_OK;
}

FAKE_ENGINE_EXPORT HRESULT UnInit() {
    Record("UnInit");
    return S_OK;
}

FAKE_ENGINE_EXPORT HRESULT CheckFiles(LONG* stopFlag) {
    std::string mode = Setting("KV_FAKE_CHECK");
    Record(std::string("CheckFiles ") + (stopFlag != nullptr ? "flag" : "no-flag") +
           (StopSet(stopFlag) ? " set" : " clear"));
    if (mode == "1") return S_FALSE;
    if (mode == "E_FAIL") return E_FAIL;
    if (mode == "long") {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!StopSet(stopFlag)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                Record("CheckFiles gave up");
                return S_OK;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Record("CheckFiles saw the stop flag");
    }
    return S_OK;
}
